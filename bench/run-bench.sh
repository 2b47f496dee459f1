#!/usr/bin/env bash
# Speed and memory of the relabelling alone, as ratios to the standard tools measured in the same
# run, each beside its target, with a summary table; then the whole run against its I/O floor
# (bench/floor-bench.sh, which can also be run by itself, with its own environment variables).
#
#   bench/run-bench.sh [LINES ...]        default: 2000000 10000000
#
# Environment:
#   MTS_BENCH_DATA   folder in which a scratch folder (mts-bench.XXXXXX) is made for the generated
#                    catalogues (default /tmp); the scratch folder is removed at the end, also on
#                    failure or interruption, unless MTS_BENCH_KEEP=1
#   MTS_BENCH_RUNS   runs of each measured command; the best one counts (default 5)
#
# The machine may be shared: every command is measured MTS_BENCH_RUNS times, interleaved with the
# commands it is compared with (A B A B), and the best time of each counts. Dirty pages are
# flushed before each measured command so that no command pays for the writes of the one before
# it. The load average is printed at the start and at the end.
set -Eeuo pipefail
export LC_ALL=C

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=$ROOT/build-bench
DATA_PARENT=${MTS_BENCH_DATA:-/tmp}
RUNS=${MTS_BENCH_RUNS:-5}
SIZES=("$@")
if [ ${#SIZES[@]} -eq 0 ]; then
    SIZES=(2000000 10000000)
fi
RELABEL_MAPS=(10 100000)  # map sizes for the relabelling: its cost per line must not depend on it
LINE_BYTES=76             # 74 columns and CR LF

# Targets. "max" figures must be at most the target, "min" figures at least.
TARGET_RELABEL_VS_CP=0.50
TARGET_LOOKUP=1.30

fail() {
    echo "run-bench.sh: $*" >&2
    exit 1
}
trap 'echo "run-bench.sh: stopped: \"$BASH_COMMAND\" failed (line $LINENO)" >&2' ERR

# ---------------------------------------------------------------------------------------------
# What the script needs, checked before anything is built or written.

if [ "${BASH_VERSINFO[0]}" -lt 5 ]; then
    fail "needs bash 5 or later (EPOCHREALTIME)"
fi
for size in "${SIZES[@]}"; do
    [[ $size =~ ^[1-9][0-9]*$ ]] || fail "line count '$size' is not a positive whole number"
done
[[ $RUNS =~ ^[1-9][0-9]*$ ]] || fail "MTS_BENCH_RUNS='$RUNS' is not a positive whole number"
for command in cmake cp dd sort awk cmp df stat sync mktemp; do
    command -v "$command" >/dev/null || fail "needs '$command' on the PATH"
done
if [ ! -x /usr/bin/time ]; then
    fail "needs GNU time at /usr/bin/time for peak memory (Debian/Ubuntu: apt-get install time)"
fi
probe=$(/usr/bin/time -f %M true 2>&1 >/dev/null | tail -1) || true
if ! [[ $probe =~ ^[0-9]+$ ]]; then
    fail "/usr/bin/time does not print peak memory with -f %M (GNU time is needed)"
fi

[ -d "$DATA_PARENT" ] || fail "MTS_BENCH_DATA folder $DATA_PARENT does not exist"
largest=0
for size in "${SIZES[@]}"; do
    if [ "$size" -gt "$largest" ]; then
        largest=$size
    fi
done
# At most six copies of the largest list exist at once (the pristine catalogue, a kept result,
# and a run's backup, unsorted list, sorted list and sort scratch); one more copy is the margin.
need_kb=$((largest * LINE_BYTES * 7 / 1024 + 65536))
free_kb=$(df -Pk "$DATA_PARENT" | awk 'NR == 2 { print $4 }')
if ! [[ $free_kb =~ ^[0-9]+$ ]] || [ "$free_kb" -lt "$need_kb" ]; then
    fail "$(awk -v f="${free_kb:-0}" -v n="$need_kb" -v l="$largest" -v d="$DATA_PARENT" \
        'BEGIN { printf "%s has %.1f GB free; %s lines need about %.1f GB. Give smaller sizes or set MTS_BENCH_DATA to a folder with more room.", d, f / 1048576, l, n / 1048576 }')"
fi
avail_kb=$(awk '/^MemAvailable:/ { print $2 }' /proc/meminfo 2>/dev/null || true)
if [[ ${avail_kb:-} =~ ^[0-9]+$ ]] && [ "$avail_kb" -lt $((largest * LINE_BYTES * 3 / 1024)) ]; then
    echo "run-bench.sh: warning: only $((avail_kb / 1024)) MiB of memory available; the runs at" \
        "$largest lines may swap and their times mean little" >&2
fi

load_average() { cut -d' ' -f1-3 /proc/loadavg 2>/dev/null || uptime | sed 's/.*load average: //'; }
LOAD_START=$(load_average)

echo "== Building (Release) in $BUILD"
cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DMTS_BUILD_BENCH=ON \
    -DMTS_BUILD_TESTS=OFF >/dev/null || fail "cmake could not configure $BUILD"
cmake --build "$BUILD" --parallel 2 --target gen-catalogue relabel-bench move-to-species \
    >/dev/null || fail "the build in $BUILD failed"
GEN=$BUILD/bench/gen-catalogue
RELABEL=$BUILD/bench/relabel-bench

# Everything generated goes into a scratch folder of this run's own, removed again at the end.
WORK=$(mktemp -d "$DATA_PARENT/mts-bench.XXXXXX") || fail "cannot make a folder in $DATA_PARENT"
cleanup() {
    if [ "${MTS_BENCH_KEEP:-0}" = 1 ]; then
        echo "Generated files kept in $WORK"
        return
    fi
    rm -rf "$WORK"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

echo "   $(nproc 2>/dev/null || echo '?') processors; load average (1, 5, 15 min): $LOAD_START"
echo "   every figure is the best of $RUNS interleaved runs"

# Sets ELAPSED to the wall seconds of a command (its output is its own business); a command that
# fails stops the benchmark. The time of an outside command such as cp includes starting it, about
# a millisecond, which relabel-bench does not count for the relabelling: the relabelling's ratio
# to cp is favoured by that much.
ELAPSED=
timed() {
    local what=$1
    shift
    local start=${EPOCHREALTIME/./}
    "$@" || fail "$what failed"
    local took=$((${EPOCHREALTIME/./} - start))
    printf -v ELAPSED '%d.%04d' $((took / 1000000)) $((took % 1000000 / 100))
}

min_of() { printf '%s\n' "$@" | sort -g | head -1; }
max_of() { printf '%s\n' "$@" | sort -g | tail -1; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
mb_per_s() { awk -v bytes="$1" -v s="$2" 'BEGIN { printf "%.0f", bytes / 1e6 / s }'; }
mib() { awk -v kb="$1" 'BEGIN { printf "%.1f", kb / 1024 }'; }
file_bytes() { stat -c %s "$1"; }
# "pass" or "MISS" for a printed value against a target; $3 is "max" or "min".
mark() {
    awk -v v="$1" -v t="$2" -v kind="$3" \
        'BEGIN { ok = kind == "max" ? v + 0 <= t + 0 : v + 0 >= t + 0; print ok ? "pass" : "MISS" }'
}

# Figures for the summary, by "figure,lines".
declare -A FIGURE

# ---------------------------------------------------------------------------------------------
echo
echo "== Relabelling alone (relabel-bench) against cp of the same file"
echo "   vs_cp = cp time / relabelling time, a ratio of speeds     (target: at least $TARGET_RELABEL_VS_CP)"
echo "   read/write floor = dd bs=64K of the same file: a copy through a user-space buffer"
echo "   relabel_cpu_s = processor time of the relabelling in its best run (the work without the"
echo "   waiting for a turn on a busy machine)"
echo "   cp, dd and the relabelling with each map take turns in every run"
printf '%-11s %-9s %9s %13s %9s %9s %12s %8s %9s %10s\n' lines map relabel_s relabel_cpu_s cp_s \
    dd_s relabel_MB/s vs_cp vs_floor peak_MiB
declare -A RELABEL_BEST RELABEL_CPU
for lines in "${SIZES[@]}"; do
    declare -A relabel_times=() relabel_cpu=() relabel_peaks=()
    for entries in "${RELABEL_MAPS[@]}"; do
        "$GEN" --lines "$lines" --individuals "$entries" --seed 1 --out "$WORK/relabel-$entries" \
            --list-name AllPicturesIndiv.txt || fail "gen-catalogue failed"
    done
    list=$WORK/relabel-${RELABEL_MAPS[0]}/AllPicturesIndiv.txt
    copy=$WORK/copy.txt
    cp_times=() dd_times=()
    for ((run = 0; run < RUNS; run++)); do
        rm -f "$copy"
        sync
        timed "cp" cp "$list" "$copy"
        cp_times+=("$ELAPSED")
        rm -f "$copy"
        sync
        timed "dd" dd if="$list" of="$copy" bs=64K status=none
        dd_times+=("$ELAPSED")
        rm -f "$copy"
        for entries in "${RELABEL_MAPS[@]}"; do
            dir=$WORK/relabel-$entries
            rm -f "$dir/AllPicturesUnsorted.txt"
            sync
            result=$(/usr/bin/time -f %M -o "$dir/peak_kb.txt" "$RELABEL" --dir "$dir" --runs 1 |
                tail -1) || fail "relabel-bench failed with the $entries-entry map"
            relabel_times[$entries]+=" $(sed -n 's/.*best_s=\([0-9.]*\).*/\1/p' <<<"$result")"
            relabel_cpu[$entries]+=" $(sed -n 's/.*processor_s=\([0-9.]*\).*/\1/p' <<<"$result")"
            relabel_peaks[$entries]+=" $(tail -1 "$dir/peak_kb.txt")"
            rm -f "$dir/AllPicturesUnsorted.txt"
        done
    done
    best_cp=$(min_of "${cp_times[@]}")
    best_dd=$(min_of "${dd_times[@]}")
    for entries in "${RELABEL_MAPS[@]}"; do
        # shellcheck disable=SC2086 # the lists are blank-separated numbers
        best_relabel=$(min_of ${relabel_times[$entries]})
        # shellcheck disable=SC2086
        best_cpu=$(min_of ${relabel_cpu[$entries]})
        # shellcheck disable=SC2086
        peak_kb=$(max_of ${relabel_peaks[$entries]})
        RELABEL_BEST[$lines-$entries]=$best_relabel
        RELABEL_CPU[$lines-$entries]=$best_cpu
        FIGURE[relabel_vs_cp_$entries,$lines]=$(ratio "$best_cp" "$best_relabel")
        printf '%-11s %-9s %9s %13s %9s %9s %12s %8s %9s %10s\n' "$lines" "$entries" \
            "$best_relabel" "$best_cpu" "$best_cp" "$best_dd" \
            "$(mb_per_s "$(file_bytes "$list")" "$best_relabel")" \
            "${FIGURE[relabel_vs_cp_$entries,$lines]}" "$(ratio "$best_dd" "$best_relabel")" \
            "$(mib "$peak_kb")"
    done
    FIGURE[lookup,$lines]=$(ratio "${RELABEL_BEST[$lines-${RELABEL_MAPS[1]}]}" \
        "${RELABEL_BEST[$lines-${RELABEL_MAPS[0]}]}")
    for entries in "${RELABEL_MAPS[@]}"; do
        rm -rf "${WORK:?}/relabel-$entries"
    done
done
echo "   lookup cost: relabelling time with ${RELABEL_MAPS[1]} entries / with ${RELABEL_MAPS[0]}" \
    "entries (target: at most $TARGET_LOOKUP)"
for lines in "${SIZES[@]}"; do
    echo "     $lines lines: wall ${FIGURE[lookup,$lines]}, processor" \
        "$(ratio "${RELABEL_CPU[$lines-${RELABEL_MAPS[1]}]}" \
            "${RELABEL_CPU[$lines-${RELABEL_MAPS[0]}]}")"
done

# ---------------------------------------------------------------------------------------------
LOAD_END=$(load_average)
echo
echo "== Summary: best of $RUNS interleaved runs; load average (1, 5, 15 min) at the start" \
    "$LOAD_START, at the end $LOAD_END"
summary_row() {
    local label=$1 key=$2 target=$3 kind=$4 lines value
    printf '%-44s %-8s' "$label" "$([ "$kind" = max ] && echo "<=" || echo ">=") $target"
    for lines in "${SIZES[@]}"; do
        value=${FIGURE[$key,$lines]}
        printf ' %7s %-4s' "$value" "$(mark "$value" "$target" "$kind")"
    done
    echo
}
printf '%-44s %-8s' figure target
for lines in "${SIZES[@]}"; do
    printf ' %12s' "$lines"
done
echo
for entries in "${RELABEL_MAPS[@]}"; do
    summary_row "relabel speed / cp speed, $entries-entry map" "relabel_vs_cp_$entries" \
        "$TARGET_RELABEL_VS_CP" min
done
summary_row "relabel time, ${RELABEL_MAPS[1]} / ${RELABEL_MAPS[0]} map entries" lookup \
    "$TARGET_LOOKUP" max

# The whole run, against the same writes done with cp, cat and sync, in memory and on disk.
echo
MTS_BENCH_BUILD=$BUILD bash "$ROOT/bench/floor-bench.sh" "${SIZES[@]}"
