#!/usr/bin/env bash
# Launch to window: the time from the exec of the program to its main window first exposed on an
# X display, with the large budget (48,000 flows) opened at start at normal protection through
# its stored password record, measured beside an empty Qt main window (qv_bench_emptywindow) and
# the program with a small budget, the candidates interleaved in one run.
#
#   bench/launch.sh [-b BUILD_DIR] [-c OTHER_BUILD_DIR] [-n RUNS] [-f FLOWS_PER_MONTH] [-l LEVEL]
#
#   -b BUILD_DIR        the build tree with app/quillvane and bench/ (default: ./build)
#   -c OTHER_BUILD_DIR  also the program of another build (an earlier version, say) on the large
#                       budget, as one more candidate of the same run
#   -n RUNS             measured runs of each candidate (default: 30), after two unmeasured
#   -f FLOWS_PER_MONTH  flows a month of the large budget, ten years of them (default: 400)
#   -l LEVEL            protection level of the large budget: 0, 1 or 2 (default: 1)
#
# Each program reports the wall-clock moment its main window is first exposed (QV_REPORT_MAPPED);
# the start is taken just before the exec. Every run starts from a fresh process and ends with
# SIGKILL once the window is there, so no closing save runs. Home, the XDG folders (settings,
# installation id, the stored password record) and the budget live in a temporary folder that is
# removed at the end; an Xvfb of its own provides the display.
set -uo pipefail

build=./build other="" runs=30 flows=400 level=1
while getopts "b:c:n:f:l:" opt; do
    case $opt in
        b) build=$OPTARG ;;
        c) other=$OPTARG ;;
        n) runs=$OPTARG ;;
        f) flows=$OPTARG ;;
        l) level=$OPTARG ;;
        *) sed -n '2,20p' "$0"; exit 2 ;;
    esac
done
build=$(cd "$build" && pwd) || exit 2
program=$build/app/quillvane
empty=$build/bench/qv_bench_emptywindow
prepare=$build/bench/qv_bench_launch_budget
if [ -n "$other" ]; then
    other=$(cd "$other" && pwd)/app/quillvane || exit 2
fi
for binary in "$program" "$empty" "$prepare" ${other:+"$other"}; do
    [ -x "$binary" ] || { echo "missing $binary (build quillvane qv_bench_emptywindow" \
        "qv_bench_launch_budget)" >&2; exit 2; }
done
source "$(dirname "$0")/scratch-display.sh" launch 150

# One home for each budget: its settings open that budget at start.
profile() { # NAME FLOWS_PER_MONTH LEVEL
    local home=$root/$1
    mkdir -p "$home/data" "$home/config" "$home/cache" "$home/runtime"
    chmod 700 "$home/runtime"
    HOME=$home XDG_DATA_HOME=$home/data XDG_CONFIG_HOME=$home/config \
        XDG_CACHE_HOME=$home/cache XDG_RUNTIME_DIR=$home/runtime \
        "$prepare" "$home/budget.qn" "$2" "$3" || { echo "cannot prepare $1" >&2; exit 1; }
}
profile large "$flows" "$level"
profile small 1 "$level"

# Runs one candidate once and prints its milliseconds from exec to the window exposed.
fifo=$root/mapped
mkfifo "$fifo"
launch() { # NAME
    local home=$root/large binary=$program
    case $1 in
        empty) binary=$empty ;;
        small) home=$root/small ;;
        other) binary=$other ;;
    esac
    local start line pid
    start=$EPOCHREALTIME
    HOME=$home XDG_DATA_HOME=$home/data XDG_CONFIG_HOME=$home/config \
        XDG_CACHE_HOME=$home/cache XDG_RUNTIME_DIR=$home/runtime QV_REPORT_MAPPED=1 \
        exec "$binary" >"$fifo" 2>/dev/null &
    pid=$!
    line=""
    while IFS= read -r -t 20 line; do
        [[ $line == QV_MAPPED* ]] && break
        line=""
    done <"$fifo"
    kill -KILL "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    [ -n "$line" ] || { echo "$1: no window within 20 s" >&2; return 1; }
    local mapped=${line#QV_MAPPED }
    # Microseconds to milliseconds, in integer arithmetic on the two wall-clock readings.
    local us=$(( (${mapped%.*} - ${start%.*}) * 1000000 + 10#${mapped#*.} - 10#${start#*.} ))
    printf '%d.%03d\n' $((us / 1000)) $((us % 1000))
}

candidates=(empty large small ${other:+other})
declare -A times
for ((i = -2; i < runs; i++)); do
    # The order turns each round, so no candidate always follows the same one.
    for ((j = 0; j < ${#candidates[@]}; j++)); do
        name=${candidates[(i + 2 + j) % ${#candidates[@]}]}
        ms=$(launch "$name") || exit 1
        ((i >= 0)) && times[$name]+="$ms "
    done
done

stats() { # TIMES... -> min median
    printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END {
        m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
        printf "%.1f %.1f\n", v[1], m }'
}
read -r emptyMin emptyMedian < <(stats ${times[empty]})
echo "exec to main window exposed, $runs runs each (min / median, ms)"
printf '%-44s %7.1f / %7.1f\n' "empty Qt main window" "$emptyMin" "$emptyMedian"
for name in large small ${other:+other}; do
    read -r min median < <(stats ${times[$name]})
    case $name in
        large) label="quillvane, $((flows * 120)) flows, level $level" ;;
        small) label="quillvane, 120 flows, level $level" ;;
        other) label="other build, $((flows * 120)) flows, level $level" ;;
    esac
    printf '%-44s %7.1f / %7.1f   %.2fx / %.2fx the empty window\n' "$label" "$min" "$median" \
        "$(awk -v a="$min" -v b="$emptyMin" 'BEGIN { print a / b }')" \
        "$(awk -v a="$median" -v b="$emptyMedian" 'BEGIN { print a / b }')"
done
