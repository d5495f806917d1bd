#!/usr/bin/env bash
# Runs every test: the native build with warnings as errors, the unit tests under
# AddressSanitizer with UndefinedBehaviorSanitizer and under ThreadSanitizer, the Windows
# cross-build with its tests under Wine (and Xvfb for the GUI tests), and the fuzzers.
# Every stage runs even when an earlier one failed; the exit status is non-zero if any did.
#
#   scripts/test.sh              all stages
#   scripts/test.sh STAGE...     only these: native asan tsan windows fuzz
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
cd "$REPO_ROOT"

all_stages=(native asan tsan windows fuzz)
stages=("$@")
if [ ${#stages[@]} -eq 0 ]; then stages=("${all_stages[@]}"); fi
for stage in "${stages[@]}"; do
    [[ " ${all_stages[*]} " == *" $stage "* ]] || die "unknown stage '$stage' (${all_stages[*]})"
done

run_start=$(now_ms)
passed=0
failed=0
results=()

# record NAME STATUS START_MS: one timing line per stage, kept for the summary: wall time,
# and the CPU time of the stage's programs (on a busy machine, the fairer measure).
stage_cpu_start=0
record() {
    local line cpu_ms
    children_cpu_ms
    cpu_ms=$((CHILDREN_CPU_MS - stage_cpu_start))
    stage_cpu_start=$CHILDREN_CPU_MS
    line=$(printf '%-14s %-6s %7s s %8s s' "$1" "$2" "$(seconds_since "$3")" \
        "$((cpu_ms / 1000)).$((cpu_ms % 1000 / 100))")
    results+=("$line")
    printf -- '--- stage %s\n' "$line"
    if [ "$2" = PASS ]; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
}

cleanup() {
    [ -f "$REPO_ROOT/build-win/CMakeCache.txt" ] && "$WINE_RUN" --stop "$REPO_ROOT/build-win"
    stop_xvfb
    restore_mmap_rnd_bits
}
trap cleanup EXIT

start=$(now_ms)
bash "$REPO_ROOT/scripts/install-deps.sh"
printf -- '--- dependencies ready in %s s\n' "$(seconds_since "$start")"
children_cpu_ms
stage_cpu_start=$CHILDREN_CPU_MS

ctest_args=(--output-on-failure --no-tests=error)

# Every build but the native one compiles a few source files as one: each file then pays
# once, not once per file, for the headers they share (GoogleTest, the JSON library), which
# halves the compile time of those stages. The native build stays one file at a time, so a
# file that lacks an include of its own still fails there.
UNITY_BUILD=(-DCMAKE_UNITY_BUILD=ON)

stage_native() {
    configure_and_build "$REPO_ROOT/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBRIXLANE_WERROR=ON &&
        ctest --test-dir "$REPO_ROOT/build" "${ctest_args[@]}" --parallel "$JOBS"
}

# stage_sanitized BUILD_DIR SANITIZERS: builds the unit tests with the sanitizers and runs
# them, with every report fatal.
stage_sanitized() {
    local dir=$1 sanitizers=$2
    # -O1 with line tables only: reports keep file and line, and on two cores the build is
    # a good deal shorter than at -O2 with full debug information. Asserts stay on.
    configure_and_build "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBRIXLANE_WERROR=ON \
        -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1" -DBRIXLANE_SANITIZE="$sanitizers" \
        -DBRIXLANE_BENCH=OFF "${UNITY_BUILD[@]}" || return 1
    choose_sanitizer_wrapper "$dir/tests/unit_tests" --gtest_list_tests >/dev/null || return 1
    ASAN_OPTIONS=detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1 \
        UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
        "${SANITIZER_WRAPPER[@]}" ctest --test-dir "$dir" "${ctest_args[@]}" --parallel "$JOBS" \
        ${CTEST_EXCLUDE:+--exclude-regex "$CTEST_EXCLUDE"}
}

# The Windows stage is three timed steps: the cross-build, booting the Wine prefix, and the
# tests under Wine. Wine's programs run on a private Xvfb so that the GUI tests have a
# display and nothing shows on the user's.
stage_windows() {
    local dir=$REPO_ROOT/build-win start
    start=$(now_ms)
    if ! configure_and_build_windows "${UNITY_BUILD[@]}"; then
        record windows-build FAIL "$start"
        return 1
    fi
    record windows-build PASS "$start"
    start=$(now_ms)
    if check_static_windows_programs "$dir"; then
        record windows-static PASS "$start"
    else
        record windows-static FAIL "$start"
    fi

    start=$(now_ms)
    if ! start_xvfb "$dir/xvfb.log" || ! "$WINE_RUN" --boot "$dir" ||
        ! prepare_wine_prefix "$dir" true; then
        record wine-boot FAIL "$start"
        return 1
    fi
    record wine-boot PASS "$start"
    note "Wine programs show on Xvfb, DISPLAY=$DISPLAY"

    start=$(now_ms)
    if ctest --test-dir "$dir" "${ctest_args[@]}"; then
        record wine-tests PASS "$start"
    else
        record wine-tests FAIL "$start"
    fi
    "$WINE_RUN" --stop "$dir"
    stop_xvfb
    unset DISPLAY
}

# A Windows program of ours must start on a bare Windows: it may import only system DLLs,
# never the MinGW runtime (libstdc++, libgcc, libwinpthread).
check_static_windows_programs() {
    local exe dlls bad=0
    while IFS= read -r exe; do
        dlls=$(x86_64-w64-mingw32-objdump -p "$exe" | awk '/DLL Name:/ {print $3}')
        if grep -qiE 'libstdc|libgcc|libwinpthread|^lib' <<<"$dlls"; then
            warn "$exe needs a MinGW runtime DLL: $(tr '\n' ' ' <<<"$dlls")"
            bad=1
        fi
    done < <(find "$1" -name '*.exe' -not -path '*/CMakeFiles/*' -not -path '*/wineprefix/*')
    return "$bad"
}

for stage in "${stages[@]}"; do
    note "stage $stage"
    start=$(now_ms)
    case $stage in
        native)
            if stage_native; then record native PASS "$start"; else record native FAIL "$start"; fi
            ;;
        asan)
            if stage_sanitized "$REPO_ROOT/build-asan" address,undefined; then
                record asan+ubsan PASS "$start"
            else
                record asan+ubsan FAIL "$start"
            fi
            ;;
        tsan)
            # Every test that starts threads, less the fault matrices: their hundred-odd runs
            # copy gigabytes through instrumented memcpy, and the native and ASan stages run
            # them.
            if GTEST_FILTER='-EveryFault/*' CTEST_EXCLUDE=cli_fault_matrix \
                stage_sanitized "$REPO_ROOT/build-tsan" thread; then
                record tsan PASS "$start"
            else
                record tsan FAIL "$start"
            fi
            restore_mmap_rnd_bits
            ;;
        windows)
            stage_windows || true
            ;;
        fuzz)
            if bash "$REPO_ROOT/scripts/fuzz.sh"; then record fuzz PASS "$start"; else record fuzz FAIL "$start"; fi
            ;;
    esac
done

echo
echo "stage          result    wall time   CPU time"
printf '%s\n' "${results[@]}"
printf 'total %s s\n' "$(seconds_since "$run_start")"
echo "stages: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
