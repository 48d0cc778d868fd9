#!/usr/bin/env bash
# Random input over the main window, longer than the test suite runs it: each round runs the
# sanitizer build's random-input test with a random seed and many events. A failing round keeps
# its output and prints the command that replays it; the script fails if any round did.
#   ROUNDS  rounds to run (default 5)
#   EVENTS  events per round (default 20000)
#   SEED    run this one seed instead of random ones
set -euo pipefail
cd "$(dirname "$0")/.."

rounds=${ROUNDS:-5}
events=${EVENTS:-20000}

cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQV_SANITIZE=ON \
    -DQV_BUILD_BENCH=OFF >/dev/null
cmake --build build-asan --parallel --target qv_random_input_tests
test=build-asan/tests/ui/qv_random_input_tests

if [ -n "${SEED:-}" ]; then
    seeds=("$SEED")
else
    seeds=()
    for ((i = 0; i < rounds; i++)); do
        seeds+=($(((RANDOM << 15 | RANDOM) % 1000000000)))
    done
fi

logs=build-asan/monkey
mkdir -p "$logs"
failed=0
for seed in "${seeds[@]}"; do
    log="$logs/seed-$seed.log"
    start=$SECONDS
    if QT_QPA_PLATFORM=offscreen QV_MONKEY_SEED=$seed QV_MONKEY_EVENTS=$events "$test" \
        >"$log" 2>&1; then
        echo "seed $seed: passed ($((SECONDS - start)) s)"
        rm -f "$log"
    else
        failed=$((failed + 1))
        echo "seed $seed: FAILED ($((SECONDS - start)) s), output in $log"
        grep -m 3 -E "ERROR: (Address|Leak)Sanitizer|runtime error|Failure" "$log" || true
        echo "  replay: QT_QPA_PLATFORM=offscreen QV_MONKEY_SEED=$seed QV_MONKEY_EVENTS=$events" \
            "QV_MONKEY_LOG=1 $test"
    fi
done
echo "${#seeds[@]} rounds of $events events, $failed failed"
[ "$failed" -eq 0 ]
