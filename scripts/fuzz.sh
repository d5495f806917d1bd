#!/usr/bin/env bash
# Builds every libFuzzer target tests/fuzz/*_fuzz.cpp with clang (outside the g++ CMake build)
# and runs each for a bounded time from its committed seed corpus.
#
#   scripts/fuzz.sh                 every target, FUZZ_SECONDS (default 30) each
#   scripts/fuzz.sh logger_add      only the named targets
#
# A target lists the core sources it needs on a "// fuzz-sources:" line; without one it gets
# the whole portable core. New inputs the fuzzer finds go to build-fuzz/, never into the
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

failed=0
for target in "${targets[@]}"; do
    source_file=tests/fuzz/${target}_fuzz.cpp
    [ -f "$source_file" ] || die "no $source_file"
    sources=$(sed -n 's|^// fuzz-sources:||p' "$source_file" | head -n 1)
    if [ -z "$sources" ]; then
        sources=$(ls src/card/*.cpp src/sim/*.cpp src/engine/*.cpp src/log/*.cpp \
            src/display/*.cpp 2>/dev/null | grep -v '_win\.cpp$' || true)
    fi
    binary=$OUT/${target}_fuzz
    note "building $target"
    # shellcheck disable=SC2086  # the source list is meant to split
    "$CXX_FUZZ" -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined \
        -fno-sanitize-recover=all -I src "$source_file" $sources -o "$binary"

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
