#!/usr/bin/env bash
# The whole run against its I/O floor, in a folder in memory and in one on disk:
#
#   bench/floor-bench.sh [LINES ...]        default: 2000000 10000000
#
# A run is the built tool with the answers `Yes` and Enter piped in, in a scratch folder holding a
# generated catalogue and a map of 5,000 individuals. The floor is the same writes done by the
# standard tools: the backup copy (cp, then sync of the copy, as the tool puts its backup on
# disk), the write of the unsorted list (cat), the write of the sorted list (cat, then sync) and
# the removal of the unsorted list (rm). Nothing the tool does could cost less than that.
#
# Every pair (a run, then the floor) is repeated MTS_BENCH_RUNS times in each folder, the folders
# taking turns (A B A B), and the medians count: the ratio is the median of the pairs' ratios,
# which keeps it meaningful while the speed of a shared machine drifts. Printed for each size and
# folder: the medians and the spread of the pairs' ratios, the median ratio of processor time
# (user and system, which a busy machine disturbs less than the wall time), the median time of
# each stage of the run (from the moment each console line arrives) beside the floor's, the peak
# memory of the run as a multiple of the list, and whether every run's AllPictures.txt has the
# bytes of the reference (awk relabelling and LC_ALL=C sort).
#
# Environment:
#   MTS_BENCH_MEMORY  folder in memory for the scratch folder (default /dev/shm)
#   MTS_BENCH_DISK    folder on disk for the scratch folder (default /var/tmp)
#   MTS_BENCH_RUNS    pairs in each folder (default 7)
#   MTS_BENCH_BUILD   build tree (default build-bench in the repository), built in Release
#   MTS_BENCH_KEEP=1  keep the scratch folders
set -Eeuo pipefail
export LC_ALL=C

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${MTS_BENCH_BUILD:-$ROOT/build-bench}
RUNS=${MTS_BENCH_RUNS:-7}
MEMORY_PARENT=${MTS_BENCH_MEMORY:-/dev/shm}
DISK_PARENT=${MTS_BENCH_DISK:-/var/tmp}
SIZES=("$@")
if [ ${#SIZES[@]} -eq 0 ]; then
    SIZES=(2000000 10000000)
fi
RUN_MAP=5000
LINE_BYTES=76
TARGET_RATIO=1.5
TARGET_PEAK=1.2
# The console lines that open the stages, in the order of a run.
MARKS=(" Save AllPictures.txt" "Individual" " Type Yes" " Map individuals" " Sort " " Delete "
    " All individuals moved")
STAGES=(backup+map map_shown answer relabel sort delete end)

fail() {
    echo "floor-bench.sh: $*" >&2
    exit 1
}
trap 'echo "floor-bench.sh: stopped: \"$BASH_COMMAND\" failed (line $LINENO)" >&2' ERR

[ "${BASH_VERSINFO[0]}" -ge 5 ] || fail "needs bash 5 or later (EPOCHREALTIME)"
for size in "${SIZES[@]}"; do
    [[ $size =~ ^[1-9][0-9]*$ ]] || fail "line count '$size' is not a positive whole number"
done
[[ $RUNS =~ ^[1-9][0-9]*$ ]] || fail "MTS_BENCH_RUNS='$RUNS' is not a positive whole number"
for command in cmake cp cat sync rm sort awk cmp df stat mktemp; do
    command -v "$command" >/dev/null || fail "needs '$command' on the PATH"
done
probe=$(/usr/bin/time -f %M true 2>&1 >/dev/null | tail -1) || true
[[ $probe =~ ^[0-9]+$ ]] ||
    fail "needs GNU time at /usr/bin/time for peak memory (Debian/Ubuntu: apt-get install time)"
for parent in "$MEMORY_PARENT" "$DISK_PARENT"; do
    [ -d "$parent" ] || fail "folder $parent does not exist"
done
[ "$(stat -f -c %T "$MEMORY_PARENT")" = tmpfs ] ||
    echo "floor-bench.sh: warning: $MEMORY_PARENT is not a tmpfs" >&2
[ "$(stat -f -c %T "$DISK_PARENT")" != tmpfs ] ||
    echo "floor-bench.sh: warning: $DISK_PARENT is a tmpfs, not a disk" >&2
largest=$(printf '%s\n' "${SIZES[@]}" | sort -n | tail -1)
# The pristine catalogue, the reference, and a run's backup, unsorted and sorted lists.
need_kb=$((largest * LINE_BYTES * 6 / 1024 + 65536))
for parent in "$MEMORY_PARENT" "$DISK_PARENT"; do
    free_kb=$(df -Pk "$parent" | awk 'NR == 2 { print $4 }')
    [ "${free_kb:-0}" -ge "$need_kb" ] ||
        fail "$parent has $((free_kb / 1024)) MiB free; $largest lines need $((need_kb / 1024)) MiB"
done

load_average() { cut -d' ' -f1-3 /proc/loadavg; }
LOAD_START=$(load_average)

echo "== Building (Release) in $BUILD"
cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DMTS_BUILD_BENCH=ON >/dev/null ||
    fail "cmake could not configure $BUILD"
cmake --build "$BUILD" --parallel 2 --target gen-catalogue stage-clock move-to-species \
    >/dev/null || fail "the build in $BUILD failed"
GEN=$BUILD/bench/gen-catalogue
CLOCK=$BUILD/bench/stage-clock
TOOL=$BUILD/src/driver/move-to-species

MEMORY=$(mktemp -d "$MEMORY_PARENT/mts-floor.XXXXXX") ||
    fail "cannot make a folder in $MEMORY_PARENT"
DISK=$(mktemp -d "$DISK_PARENT/mts-floor.XXXXXX") || fail "cannot make a folder in $DISK_PARENT"
cleanup() {
    if [ "${MTS_BENCH_KEEP:-0}" = 1 ]; then
        echo "Scratch folders kept: $MEMORY $DISK"
    else
        rm -rf "$MEMORY" "$DISK"
    fi
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

seconds() { printf '%d.%06d' $(($1 / 1000000)) $(($1 % 1000000)); }
now() { echo "${EPOCHREALTIME/./}"; }
median() {
    printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 }
        END { printf "%.3f", NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
spread() {
    printf '%s\n' "$@" | sort -g |
        awk 'NR == 1 { lo = $1 } { hi = $1 } END { printf "%.2f-%.2f", lo, hi }'
}
divide() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", a / b }'; }
mark() { awk -v v="$1" -v t="$2" 'BEGIN { print v + 0 <= t + 0 ? "pass" : "MISS" }'; }

# A folder with nothing but a fresh copy of the catalogue, its writes on disk before anything is
# timed.
prepare() {
    rm -rf "$1"
    mkdir -p "$1"
    cp "$2/AllPictures.txt" "$2/MarrowfenlatchMap.txt" "$1/"
    sync
}

# One run of the tool in folder $1: sets RUN_US, STAGE_US (one per stage) and PEAK_KB.
declare -a STAGE_US
run_tool() {
    local dir=$1 start end
    start=$(now)
    (cd "$dir" && printf 'Yes\n\n' | /usr/bin/time -f '%M %U %S' -o "$dir/usage.txt" "$TOOL" |
        "$CLOCK" "${MARKS[@]}" >"$dir/stamps.txt")
    end=$(now)
    RUN_US=$((end - start))
    local usage
    usage=$(tail -1 "$dir/usage.txt")
    PEAK_KB=${usage%% *}
    RUN_CPU=$(awk '{ printf "%.2f", $2 + $3 }' <<<"$usage")
    local -a at=()
    local index stamp
    while read -r index stamp; do
        if [ "$index" = end ]; then
            at[${#MARKS[@]}]=$stamp
        else
            at[index]=$stamp
        fi
    done <"$dir/stamps.txt"
    STAGE_US=()
    for ((s = 0; s < ${#STAGES[@]}; s++)); do
        if [ -n "${at[s]:-}" ] && [ -n "${at[s + 1]:-}" ]; then
            STAGE_US[s]=$((at[s + 1] - at[s]))
        else
            fail "the run in $dir did not print every stage (see $dir)"
        fi
    done
}

# The floor in folder $1: sets FLOOR_US, FLOOR_CPU and FLOOR_STAGE_US (backup, unsorted, sorted,
# removal).
declare -a FLOOR_STAGE_US
run_floor() {
    local dir=$1 t0 t1 t2 t3 t4 cpu
    cd "$dir"
    cpu=(/usr/bin/time -f '%U %S' -a -o floor_cpu.txt)
    t0=$(now)
    "${cpu[@]}" cp AllPictures.txt AllPicturesIndiv.txt && "${cpu[@]}" sync AllPicturesIndiv.txt
    t1=$(now)
    "${cpu[@]}" cat AllPicturesIndiv.txt >AllPicturesUnsorted.txt
    t2=$(now)
    "${cpu[@]}" cat AllPicturesUnsorted.txt >AllPictures.txt && "${cpu[@]}" sync AllPictures.txt
    t3=$(now)
    "${cpu[@]}" rm AllPicturesUnsorted.txt
    t4=$(now)
    FLOOR_CPU=$(awk '{ cpu += $1 + $2 } END { printf "%.2f", cpu }' floor_cpu.txt)
    cd - >/dev/null
    FLOOR_US=$((t4 - t0))
    FLOOR_STAGE_US=($((t1 - t0)) $((t2 - t1)) $((t3 - t2)) $((t4 - t3)))
}

echo "   $(nproc) processors; load average (1, 5, 15 min): $LOAD_START"
echo "   in memory: $MEMORY ($(stat -f -c %T "$MEMORY")); on disk: $DISK ($(stat -f -c %T "$DISK"))"
echo "   $RUNS pairs (run, floor) in each folder, the folders taking turns; medians"

declare -A SUMMARY
for lines in "${SIZES[@]}"; do
    echo
    echo "== $lines lines"
    "$GEN" --lines "$lines" --individuals "$RUN_MAP" --seed 2 --out "$MEMORY/pristine" >/dev/null ||
        fail "gen-catalogue failed"
    list_bytes=$(stat -c %s "$MEMORY/pristine/AllPictures.txt")
    # The awk relabelling reads the map from the folder it runs in.
    (cd "$MEMORY/pristine" && awk -f "$ROOT/bench/relabel.awk" AllPictures.txt | sort \
        >"$MEMORY/reference.txt")
    mkdir -p "$DISK/pristine"
    cp "$MEMORY/pristine/"* "$DISK/pristine/"
    declare -A runs=() floors=() ratios=() cpu_ratios=() peaks=() stages=() floor_stages=() same=()
    for place in memory disk; do
        same[$place]=yes
    done
    for ((pair = 0; pair < RUNS; pair++)); do
        for place in memory disk; do
            if [ $place = memory ]; then parent=$MEMORY; else parent=$DISK; fi
            prepare "$parent/run" "$parent/pristine"
            run_tool "$parent/run"
            cmp -s "$parent/run/AllPictures.txt" "$MEMORY/reference.txt" || same[$place]=no
            rm -rf "$parent/run"
            prepare "$parent/floor" "$parent/pristine"
            run_floor "$parent/floor"
            rm -rf "$parent/floor"
            runs[$place]+=" $(seconds $RUN_US)"
            floors[$place]+=" $(seconds $FLOOR_US)"
            ratios[$place]+=" $(divide $RUN_US $FLOOR_US)"
            cpu_ratios[$place]+=" $(divide "$RUN_CPU" "$FLOOR_CPU")"
            peaks[$place]+=" $(divide $((PEAK_KB * 1024)) "$list_bytes")"
            for ((s = 0; s < ${#STAGES[@]}; s++)); do
                stages[$place,$s]+=" $(seconds "${STAGE_US[s]}")"
            done
            for s in 0 1 2 3; do
                floor_stages[$place,$s]+=" $(seconds "${FLOOR_STAGE_US[s]}")"
            done
        done
    done
    rm -rf "$MEMORY/pristine" "$DISK/pristine" "$MEMORY/reference.txt"
    printf '   %-7s %8s %8s %7s %11s %9s %10s %10s\n' folder run_s floor_s ratio ratio_range \
        cpu_ratio peak/list same_bytes
    for place in memory disk; do
        # shellcheck disable=SC2086 # blank-separated numbers
        ratio=$(median ${ratios[$place]})
        # shellcheck disable=SC2086
        peak=$(median ${peaks[$place]})
        # shellcheck disable=SC2086
        printf '   %-7s %8s %8s %7s %11s %9s %10s %10s\n' $place "$(median ${runs[$place]})" \
            "$(median ${floors[$place]})" "$ratio" "$(spread ${ratios[$place]})" \
            "$(median ${cpu_ratios[$place]})" "$(printf '%.2f' "$peak")" "${same[$place]}"
        SUMMARY[cpu,$place,$lines]=$(median ${cpu_ratios[$place]})
        SUMMARY[ratio,$place,$lines]=$ratio
        SUMMARY[peak,$place,$lines]=$(printf '%.2f' "$peak")
        SUMMARY[same,$place,$lines]=${same[$place]}
    done
    echo "   stages of the run, median seconds (the floor's stages beside the run's that write)"
    printf '   %-7s' folder
    for stage in "${STAGES[@]}"; do printf ' %9s' "$stage"; done
    printf ' | %8s %9s %8s %7s\n' f:backup f:unsorted f:sorted f:rm
    for place in memory disk; do
        printf '   %-7s' $place
        for ((s = 0; s < ${#STAGES[@]}; s++)); do
            # shellcheck disable=SC2086
            printf ' %9s' "$(median ${stages[$place,$s]})"
        done
        printf ' |'
        for s in 0 1 2 3; do
            # shellcheck disable=SC2086
            printf ' %8s' "$(median ${floor_stages[$place,$s]})"
        done
        echo
    done
    unset runs floors ratios cpu_ratios peaks stages floor_stages same
done

echo
echo "== Summary: medians of $RUNS pairs; load average (1, 5, 15 min) at the start $LOAD_START," \
    "at the end $(load_average)"
printf '   %-36s %-7s' figure target
for lines in "${SIZES[@]}"; do printf ' %14s' "$lines"; done
echo
row() {
    local label=$1 key=$2 target=$3 lines value
    printf '   %-36s %-7s' "$label" "$target"
    for lines in "${SIZES[@]}"; do
        value=${SUMMARY[$key,$lines]}
        if [ "$target" = - ]; then
            printf ' %9s     ' "$value"
        elif [ "$target" = yes ]; then
            printf ' %9s %-4s' "$value" "$([ "$value" = yes ] && echo pass || echo MISS)"
        else
            printf ' %9s %-4s' "$value" "$(mark "$value" "${target#<=}")"
        fi
    done
    echo
}
row "run / floor, in memory" ratio,memory "<=$TARGET_RATIO"
row "run / floor, on disk" ratio,disk -
row "processor time, run / floor, in memory" cpu,memory -
row "peak memory / list, in memory" peak,memory "<=$TARGET_PEAK"
row "AllPictures.txt as the reference's" same,memory yes
row "  the same, on disk" same,disk yes
