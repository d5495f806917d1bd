#!/usr/bin/env bash
# Builds every libFuzzer target tests/fuzz/*_fuzz.cpp with clang (the CMake build with
# -DBRIXLANE_FUZZ=ON, in build-fuzz/) and runs each for a bounded time from its committed
# seed corpus.
#
#   scripts/fuzz.sh                 every target, FUZZ_SECONDS (default 30) each
#   scripts/fuzz.sh logger_add      only the named targets
#
# tests/fuzz/CMakeLists.txt names the library each target links. New inputs the fuzzer finds go to build-fuzz/, never into the
# committed corpus; a crash leaves its input in build-fuzz/ and fails the script.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
cd "$REPO_ROOT"

CXX_FUZZ=${CXX_FUZZ:-clang++}
FUZZ_SECONDS=${FUZZ_SECONDS:-30}
OUT=$REPO_ROOT/build-fuzz
mkdir -p "$OUT"
command -v "$CXX_FUZZ" >/dev/null || die "$CXX_FUZZ not found (install clang)"

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    for f in tests/fuzz/*_fuzz.cpp; do
        [ -e "$f" ] || continue
        name=$(basename "$f" .cpp)
        targets+=("${name%_fuzz}")
    done
fi
[ ${#targets[@]} -gt 0 ] || die "no fuzz targets in tests/fuzz"

note "building the fuzz targets"
CXX=$CXX_FUZZ cmake -S "$REPO_ROOT" -B "$OUT" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DBRIXLANE_FUZZ=ON -DBRIXLANE_BENCH=OFF -DCMAKE_UNITY_BUILD=ON >/dev/null
for target in "${targets[@]}"; do
    [ -f "tests/fuzz/${target}_fuzz.cpp" ] || die "no tests/fuzz/${target}_fuzz.cpp"
    cmake --build "$OUT" --parallel "$JOBS" --target "${target}_fuzz"
done

failed=0
for target in "${targets[@]}"; do
    binary=$OUT/tests/fuzz/${target}_fuzz
    work=$OUT/corpus/$target
    mkdir -p "$work"
    seeds=tests/fuzz/corpus/$target
    note "running $target for ${FUZZ_SECONDS} s"
    if ! (cd "$OUT" && "$binary" -max_total_time="$FUZZ_SECONDS" -print_final_stats=1 \
        "$work" "$REPO_ROOT/$seeds" 2>&1 | tail -n 20); then
        warn "$target failed"
        failed=1
    fi
done
exit $failed
