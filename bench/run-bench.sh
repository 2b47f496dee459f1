#!/usr/bin/env bash
# Speed and memory of the relabelling and of whole runs, as ratios to the standard tools measured
# in the same run.
#
#   bench/run-bench.sh [LINES ...]        default: 1000000 10000000
#
# Environment:
#   MTS_BENCH_DATA   scratch folder for the generated catalogues (default /tmp/mts-bench); it is
#                    removed at the end unless MTS_BENCH_KEEP=1
#   MTS_BENCH_RUNS   runs of each measured command; the best one counts (default 3)
#
# The machine may be shared: every command is measured MTS_BENCH_RUNS times, interleaved with the
# commands it is compared with, and the best time of each counts. Dirty pages are flushed before
# each measured command so that no command pays for the writes of the one before it.
set -euo pipefail
export LC_ALL=C

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=$ROOT/build-bench
DATA=${MTS_BENCH_DATA:-/tmp/mts-bench}
RUNS=${MTS_BENCH_RUNS:-3}
SIZES=("$@")
if [ ${#SIZES[@]} -eq 0 ]; then
    SIZES=(1000000 10000000)
fi
RELABEL_MAPS=(10 100000)  # map sizes for the relabelling: its cost per line must not depend on it
RUN_MAP=5000              # map size for whole runs (the confirmation prints every entry)

if [ "${BASH_VERSINFO[0]}" -lt 5 ]; then
    echo "run-bench.sh needs bash 5 or later (EPOCHREALTIME)" >&2
    exit 1
fi
if [ ! -x /usr/bin/time ]; then
    echo "run-bench.sh needs GNU time at /usr/bin/time for peak memory" >&2
    exit 1
fi

echo "== Building (Release) in $BUILD"
cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DMTS_BUILD_BENCH=ON >/dev/null
cmake --build "$BUILD" --parallel 2 --target gen-catalogue relabel-bench move-to-species >/dev/null
GEN=$BUILD/bench/gen-catalogue
RELABEL=$BUILD/bench/relabel-bench
TOOL=$BUILD/src/driver/move-to-species
AWK_RELABEL=$ROOT/bench/relabel.awk

# Only what this script makes is removed again: the folder itself when it made it.
DATA_MADE=no
if [ ! -e "$DATA" ]; then
    mkdir -p "$DATA"
    DATA_MADE=yes
fi
cleanup() {
    if [ "${MTS_BENCH_KEEP:-0}" = 1 ]; then
        return
    fi
    rm -rf "$DATA"/relabel-* "$DATA"/run-*
    if [ "$DATA_MADE" = yes ]; then
        rmdir "$DATA" 2>/dev/null || true
    fi
}
trap cleanup EXIT

# Wall seconds of a command (its output is its own business).
seconds_of() {
    local start=$EPOCHREALTIME
    "$@"
    local end=$EPOCHREALTIME
    awk -v a="$start" -v b="$end" 'BEGIN { printf "%.4f", b - a }'
}

min_of() { printf '%s\n' "$@" | sort -g | head -1; }
max_of() { printf '%s\n' "$@" | sort -g | tail -1; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
mb_per_s() { awk -v bytes="$1" -v s="$2" 'BEGIN { printf "%.0f", bytes / 1e6 / s }'; }
mib() { awk -v kb="$1" 'BEGIN { printf "%.1f", kb / 1024 }'; }
file_bytes() { stat -c %s "$1"; }

# ---------------------------------------------------------------------------------------------
echo
echo "== Relabelling alone (relabel-bench) against cp of the same file"
echo "   speed ratio = cp time / relabelling time (target: at least 0.50)"
echo "   read/write floor = dd bs=64K of the same file: a copy through a user-space buffer"
echo "   relabel_cpu_s = processor time of the relabelling in its best run (the work without the"
echo "   waiting for a turn on a busy machine)"
printf '%-11s %-9s %9s %13s %9s %9s %12s %8s %9s %10s\n' lines map relabel_s relabel_cpu_s cp_s \
    dd_s relabel_MB/s vs_cp vs_floor peak_MiB
declare -A RELABEL_BEST
for lines in "${SIZES[@]}"; do
    for entries in "${RELABEL_MAPS[@]}"; do
        dir=$DATA/relabel-$lines-$entries
        "$GEN" --lines "$lines" --individuals "$entries" --seed 1 --out "$dir" \
            --list-name AllPicturesIndiv.txt
        list=$dir/AllPicturesIndiv.txt
        cp_times=() dd_times=() relabel_times=() relabel_cpu=()
        for ((run = 0; run < RUNS; run++)); do
            rm -f "$dir/copy.txt"
            sync
            cp_times+=("$(seconds_of cp "$list" "$dir/copy.txt")")
            rm -f "$dir/copy.txt"
            sync
            dd_times+=("$(seconds_of dd if="$list" of="$dir/copy.txt" bs=64K status=none)")
            rm -f "$dir/copy.txt" "$dir/AllPicturesUnsorted.txt"
            sync
            result=$("$RELABEL" --dir "$dir" --runs 1 | tail -1)
            relabel_times+=("$(sed -n 's/.*best_s=\([0-9.]*\).*/\1/p' <<<"$result")")
            relabel_cpu+=("$(sed -n 's/.*processor_s=\([0-9.]*\).*/\1/p' <<<"$result")")
        done
        rm -f "$dir/AllPicturesUnsorted.txt"
        sync
        peak_kb=$(/usr/bin/time -f %M "$RELABEL" --dir "$dir" --runs 1 2>&1 >/dev/null | tail -1)
        best_relabel=$(min_of "${relabel_times[@]}")
        best_cp=$(min_of "${cp_times[@]}")
        best_dd=$(min_of "${dd_times[@]}")
        RELABEL_BEST[$lines-$entries]=$best_relabel
        printf '%-11s %-9s %9s %13s %9s %9s %12s %8s %9s %10s\n' "$lines" "$entries" \
            "$best_relabel" "$(min_of "${relabel_cpu[@]}")" "$best_cp" "$best_dd" \
            "$(mb_per_s "$(file_bytes "$list")" "$best_relabel")" \
            "$(ratio "$best_cp" "$best_relabel")" "$(ratio "$best_dd" "$best_relabel")" \
            "$(mib "$peak_kb")"
        rm -rf "$dir"
    done
done
echo "   lookup cost with the largest map against the smallest (target: about 1.00):"
for lines in "${SIZES[@]}"; do
    echo "     $lines lines: time with ${RELABEL_MAPS[1]} entries / time with ${RELABEL_MAPS[0]}" \
        "entries = $(ratio "${RELABEL_BEST[$lines-${RELABEL_MAPS[1]}]}" \
            "${RELABEL_BEST[$lines-${RELABEL_MAPS[0]}]}")"
done

# ---------------------------------------------------------------------------------------------
# Puts a fresh copy of the catalogue into a work folder, with none of the run's other files.
prepare() {
    local work=$1 pristine=$2
    rm -rf "$work"
    mkdir -p "$work"
    cp "$pristine/AllPictures.txt" "$pristine/MarrowfenlatchMap.txt" "$work/"
    sync
}

run_tool() {
    local work=$1
    (cd "$work" && printf 'yes\n\n' |
        /usr/bin/time -f %M -o "$work/peak_kb.txt" "$TOOL" >"$work/console.txt")
}

run_cp_sort() {
    (cd "$1" && cp AllPictures.txt AllPicturesIndiv.txt &&
        sort --parallel=2 AllPicturesIndiv.txt >AllPictures.txt)
}

run_cp_awk_sort_rm() {
    (cd "$1" && cp AllPictures.txt AllPicturesIndiv.txt &&
        awk -f "$AWK_RELABEL" AllPicturesIndiv.txt >AllPicturesUnsorted.txt &&
        sort AllPicturesUnsorted.txt >AllPictures.txt && rm AllPicturesUnsorted.txt)
}

echo
echo "== Whole runs (backup, map of $RUN_MAP individuals, relabelling, sort, clean-up)"
echo "   vs_cp_sort = run time / (cp + LC_ALL=C sort --parallel=2)       (target: at most 0.40)"
echo "   vs_awk_job = run time / (cp + awk relabelling + LC_ALL=C sort + rm) (target: at most 0.20)"
echo "   peak/list  = peak memory of the run / size of the list           (target: at most 1.30)"
printf '%-11s %9s %10s %10s %11s %11s %10s %10s %10s\n' lines run_s cp_sort_s awk_job_s \
    vs_cp_sort vs_awk_job peak_MiB peak/list same_bytes
for lines in "${SIZES[@]}"; do
    dir=$DATA/run-$lines
    "$GEN" --lines "$lines" --individuals "$RUN_MAP" --seed 2 --out "$dir/pristine"
    list_bytes=$(file_bytes "$dir/pristine/AllPictures.txt")
    tool_times=() cp_sort_times=() awk_times=() peaks=()
    completed=yes
    for ((run = 0; run < RUNS; run++)); do
        prepare "$dir/tool" "$dir/pristine"
        tool_times+=("$(seconds_of run_tool "$dir/tool")")
        peaks+=("$(tail -1 "$dir/tool/peak_kb.txt")")
        if ! grep -q 'All individuals moved to species, AllPictures.txt created' \
            "$dir/tool/console.txt"; then
            completed=no
        fi
        prepare "$dir/cp_sort" "$dir/pristine"
        cp_sort_times+=("$(seconds_of run_cp_sort "$dir/cp_sort")")
        rm -rf "$dir/cp_sort"
        prepare "$dir/awk" "$dir/pristine"
        awk_times+=("$(seconds_of run_cp_awk_sort_rm "$dir/awk")")
    done
    same=no
    if cmp -s "$dir/tool/AllPictures.txt" "$dir/awk/AllPictures.txt"; then
        same=yes
    fi
    if [ "$completed" != yes ]; then
        echo "   $lines lines: the tool did not complete its run; last console lines:"
        tail -5 "$dir/tool/console.txt" | sed 's/^/     /'
    fi
    best_tool=$(min_of "${tool_times[@]}")
    best_cp_sort=$(min_of "${cp_sort_times[@]}")
    best_awk=$(min_of "${awk_times[@]}")
    peak_kb=$(max_of "${peaks[@]}")
    printf '%-11s %9s %10s %10s %11s %11s %10s %10s %10s\n' "$lines" "$best_tool" \
        "$best_cp_sort" "$best_awk" "$(ratio "$best_tool" "$best_cp_sort")" \
        "$(ratio "$best_tool" "$best_awk")" "$(mib "$peak_kb")" \
        "$(awk -v kb="$peak_kb" -v bytes="$list_bytes" 'BEGIN { printf "%.2f", kb * 1024 / bytes }')" \
        "$same"
    rm -rf "$dir"
done
