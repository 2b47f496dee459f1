#!/usr/bin/env bash
# Short fuzz run: builds the libFuzzer targets under fuzz/ with AddressSanitizer and
# UndefinedBehaviorSanitizer and runs each one for a bounded time from the checked-in seed corpus.
# New inputs that libFuzzer finds go to a scratch corpus, not into the repository. A crash, a
# sanitizer report or a broken invariant fails the run and leaves the input in build-fuzz/.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD" # absolute names throughout: the file targets work in a folder of their own

seconds_each="${FUZZ_SECONDS:-15}"
targets=(fuzz_lines fuzz_layouts fuzz_species_map fuzz_relabel)

if ! command -v clang++ >/dev/null 2>&1; then
  echo "== installing clang"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq clang
fi

cmake -S fuzz -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-fuzz -j2

scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
for target in "${targets[@]}"; do
  mkdir -p "$scratch/$target"
  echo "== $target, ${seconds_each}s"
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
    "$root/build-fuzz/$target" -max_total_time="$seconds_each" -timeout=10 -rss_limit_mb=2048 \
    -max_len=8192 -print_final_stats=1 -artifact_prefix="$root/build-fuzz/$target-" \
    "$scratch/$target" "$root/fuzz/corpus/$target" 2>"$scratch/$target.log" || {
    tail -n 60 "$scratch/$target.log"
    echo "== $target FAILED"
    exit 1
  }
  grep -E '^stat::number_of_executed_units|^stat::peak_rss_mb|^#[0-9]+.*DONE' "$scratch/$target.log" || true
done
echo "== fuzzing passed"
