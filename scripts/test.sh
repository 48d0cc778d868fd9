#!/usr/bin/env bash
# Builds everything and runs every test: the unit tests, again under AddressSanitizer and UBSan,
# the threaded ones under ThreadSanitizer, a brief pass over each benchmark to show they run, and
# a short run of each fuzz target.
# FUZZ_SECONDS (default 60) sets how long each fuzz target runs; 0 skips fuzzing.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

bash scripts/build.sh

echo "== Unit tests"
ctest --test-dir build --output-on-failure --parallel "$jobs" --timeout 300 | tee build/ctest.log
summary=$(grep -E "tests passed, [0-9]+ tests failed out of [0-9]+" build/ctest.log | tail -n 1)
failed=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\1/' <<<"$summary")
total=$(sed -E 's/.* tests failed out of ([0-9]+).*/\1/' <<<"$summary")

echo "== Unit tests under AddressSanitizer and UBSan"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQV_SANITIZE=ON \
    -DQV_BUILD_BENCH=OFF >/dev/null
cmake --build build-asan --parallel
if ! ctest --test-dir build-asan --output-on-failure --parallel "$jobs" --timeout 600 \
    >build-asan/ctest.log 2>&1; then
    cat build-asan/ctest.log
    exit 1
fi
tail -n 3 build-asan/ctest.log

echo "== Threaded tests under ThreadSanitizer"
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQV_TSAN=ON \
    -DQV_BUILD_BENCH=OFF >/dev/null
cmake --build build-tsan --parallel --target qv_platform_tests qv_storage_tests qv_model_tests
# The worker utility, and the tests that open and save budgets on threads; any report fails.
tsan_tests() {
    if ! TSAN_OPTIONS="halt_on_error=1 exitcode=66" "build-tsan/tests/$1" --gtest_filter="$2" \
        >"build-tsan/$1.log" 2>&1; then
        cat "build-tsan/$1.log"
        exit 1
    fi
    tail -n 1 "build-tsan/$1.log"
}
tsan_tests qv_platform_tests 'WorkersTest.*'
tsan_tests qv_storage_tests '*'
tsan_tests qv_model_tests 'BudgetFile*:BudgetOpen*:BudgetReadAgain*:BudgetForms*:StreamedSave*:Protection*'

echo "== Benchmarks (smoke run)"
for b in build/bench/qv_bench_*; do
    "$b" --benchmark_min_time=0.01 >/dev/null
    echo "$(basename "$b"): ran"
done

fuzz_seconds=${FUZZ_SECONDS:-60}
if [ "$fuzz_seconds" -gt 0 ]; then
    echo "== Fuzzing, ${fuzz_seconds}s per target"
    CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_CXX_COMPILER=clang++ -DQV_BUILD_FUZZ=ON -DQV_SANITIZE=ON \
        -DQV_BUILD_TESTS=OFF -DQV_BUILD_BENCH=OFF >/dev/null
    cmake --build build-fuzz --parallel --target qv_fuzz_asn1 qv_fuzz_compound qv_fuzz_crypto
    for target in asn1 compound crypto; do
        work=$(mktemp -d)
        if [ -d "fuzz/corpus/$target" ]; then
            cp -r "fuzz/corpus/$target/." "$work/"
        fi
        # A single allocation beyond 1 MiB for inputs of at most 64 KiB counts as a failure.
        build-fuzz/fuzz/qv_fuzz_$target "$work" -max_total_time="$fuzz_seconds" \
            -max_len=65536 -malloc_limit_mb=1 -rss_limit_mb=2048 -print_final_stats=1 \
            -jobs=1 -workers=1 -artifact_prefix="build-fuzz/" 2>&1 | tail -n 12
        rm -rf "$work"
    done
fi
echo "$((total - failed)) passed, $failed failed"
