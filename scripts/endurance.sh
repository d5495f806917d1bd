#!/usr/bin/env bash
# The endurance run: a long loopback and a long benchmark on a simulated card that injects
# faults at a steady rate, first optimised (figures: passes, injected against found errors,
# resident memory at start and end, the newest 10000 records kept), then a shorter run of
# each under AddressSanitizer and UndefinedBehaviorSanitizer, which must report nothing.
#
#   scripts/endurance.sh [SECONDS [SANITIZED_SECONDS]]     default 600 and 60
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

seconds=${1:-600}
sanitized_seconds=${2:-60}
only=(--only endurance_loopback_passes,endurance_benchmark_blocks)

bash "$REPO_ROOT/scripts/install-deps.sh" >/dev/null
note "optimised, $seconds s each"
# build_bench DIR CMAKE_OPTIONS...: configures DIR and builds only the benchmarks there.
build_bench() {
    local dir=$1
    shift
    cmake -S "$REPO_ROOT" -B "$dir" -DBRIXLANE_BENCH=ON "$@" >/dev/null
    cmake --build "$dir" --parallel "$JOBS" --target brixlanetool-bench >/dev/null
}
build_bench "$REPO_ROOT/build-bench" -DCMAKE_BUILD_TYPE=Release
BRIXLANE_ENDURANCE_SECONDS=$seconds "$REPO_ROOT/build-bench/bench/brixlanetool-bench" "${only[@]}"

note "AddressSanitizer and UndefinedBehaviorSanitizer, $sanitized_seconds s each"
build_bench "$REPO_ROOT/build-bench-asan" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DBRIXLANE_SANITIZE=address,undefined
ASAN_OPTIONS=detect_leaks=1:halt_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    BRIXLANE_ENDURANCE_SECONDS=$sanitized_seconds \
    "$REPO_ROOT/build-bench-asan/bench/brixlanetool-bench" "${only[@]}"
note "no sanitizer reports"
