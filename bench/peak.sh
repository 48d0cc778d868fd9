#!/usr/bin/env bash
# Memory across a whole run of the real program: its resident size once the main window shows a
# budget, the lifetime peak through the closing save that SIGTERM starts, their ratio, and the
# time from SIGTERM to the exit, at 12,000 to 768,000 flows, on a virtual display of its own.
#
#   bench/peak.sh [-b BUILD_DIR] [-n RUNS] [-l LEVEL] [-m MONTHS] [FLOWS_PER_MONTH...]
#
#   -b BUILD_DIR  the build tree with app/quillvane and bench/ (default: ./build)
#   -n RUNS       runs of each size (default: 3); min / median are printed
#   -l LEVEL      protection level of the budgets: 0, 1 or 2 (default: 1)
#   -m MONTHS     months of each budget, up to the current one (default: 120, ten years)
#   FLOWS_PER_MONTH  flows in each month (default: 100 400 1600 6400)
#
# The peak is the kernel's high-water mark (VmHWM), read every few milliseconds until the process
# is gone; the resident size at the window is read a second after the window is first exposed.
set -uo pipefail

build=./build runs=3 level=1 months=120
while getopts "b:n:l:m:" opt; do
    case $opt in
        b) build=$OPTARG ;;
        n) runs=$OPTARG ;;
        l) level=$OPTARG ;;
        m) months=$OPTARG ;;
        *) sed -n '2,15p' "$0"; exit 2 ;;
    esac
done
shift $((OPTIND - 1))
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(100 400 1600 6400)
build=$(cd "$build" && pwd) || exit 2
program=$build/app/quillvane
prepare=$build/bench/qv_bench_launch_budget
for binary in "$program" "$prepare"; do
    [ -x "$binary" ] || { echo "missing $binary (build quillvane qv_bench_launch_budget)" >&2; exit 2; }
done
source "$(dirname "$0")/scratch-display.sh" peak 200

# A size from /proc/PID/status in KiB, read with the shell's own builtins so the polling costs
# the measured program as little as can be.
kib() { # KEY PID
    local key value rest
    while read -r key value rest; do
        [ "$key" = "$1:" ] && { echo "$value"; return 0; }
    done 2>/dev/null <"/proc/$2/status"
    return 1
}

# One run over the budget of `home`: prints "rss_at_window_kib peak_kib exit_ms".
run() { # HOME
    local home=$1 out=$1/out pid rss peak last start end
    : >"$out"
    HOME=$home XDG_DATA_HOME=$home/data XDG_CONFIG_HOME=$home/config \
        XDG_CACHE_HOME=$home/cache XDG_RUNTIME_DIR=$home/runtime QV_REPORT_MAPPED=1 \
        "$program" >"$out" 2>/dev/null &
    pid=$!
    for _ in $(seq 600); do grep -q '^QV_MAPPED' "$out" && break; sleep 0.05; done
    grep -q '^QV_MAPPED' "$out" || { kill -KILL "$pid"; wait "$pid" 2>/dev/null; return 1; }
    sleep 1
    rss=$(kib VmRSS "$pid")
    # The peak so far, should the program be gone before the first reading after the signal.
    peak=$(kib VmHWM "$pid")
    start=$EPOCHREALTIME
    kill -TERM "$pid"
    while last=$(kib VmHWM "$pid") && [ -n "$last" ]; do
        peak=$last
        sleep 0.002
    done
    wait "$pid" 2>/dev/null
    end=$EPOCHREALTIME
    local us=$(( (${end%.*} - ${start%.*}) * 1000000 + 10#${end#*.} - 10#${start#*.} ))
    echo "$rss $peak $((us / 1000))"
}

stats() { # VALUES... -> min median
    printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END {
        m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
        printf "%s %s\n", v[1], m }'
}

printf '%-8s %-20s %-20s %-14s %s\n' flows "RSS at window, MiB" "peak, MiB" "peak / RSS" \
    "SIGTERM to exit, ms"
for flows in "${sizes[@]}"; do
    home=$root/$flows
    mkdir -p "$home/data" "$home/config" "$home/cache" "$home/runtime"
    chmod 700 "$home/runtime"
    HOME=$home XDG_DATA_HOME=$home/data XDG_CONFIG_HOME=$home/config \
        "$prepare" "$home/budget.qn" "$flows" "$level" "$months" ||
        { echo "cannot prepare $flows" >&2; exit 1; }
    rss=() peak=() ratio=() exit_ms=()
    for ((i = 0; i < runs; i++)); do
        read -r r p e < <(run "$home") || { echo "$flows: no window" >&2; exit 1; }
        rss+=("$r") peak+=("$p") exit_ms+=("$e")
        ratio+=("$(awk -v a="$p" -v b="$r" 'BEGIN { printf "%.3f", a / b }')")
    done
    read -r rmin rmed < <(stats "${rss[@]}")
    read -r pmin pmed < <(stats "${peak[@]}")
    read -r qmin qmed < <(stats "${ratio[@]}")
    read -r emin emed < <(stats "${exit_ms[@]}")
    printf '%-8s %-20s %-20s %-14s %s\n' "$((flows * months))" \
        "$(awk -v a="$rmin" -v b="$rmed" 'BEGIN { printf "%.1f / %.1f", a / 1024, b / 1024 }')" \
        "$(awk -v a="$pmin" -v b="$pmed" 'BEGIN { printf "%.1f / %.1f", a / 1024, b / 1024 }')" \
        "$qmin / $qmed" "$emin / $emed"
    rm -f "$home/budget.qn"
done
