#!/usr/bin/env bash
# The figure brixlanetool-bench cannot take natively: gui_detailed_logging_ratio, passes per
# second of a loopback with detailed logging against one without, in the real window under
# Wine. Builds the Windows program and its GUI tests (build-win), runs the pass-rate test on
# a private Xvfb and prints its figure line:
#   gui_detailed_logging_ratio 0.950 (11800 against 12400 passes/s)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

dir=$REPO_ROOT/build-win
configure_and_build_windows >&2 || die "the Windows build failed"
trap '"$WINE_RUN" --stop "$dir"; stop_xvfb' EXIT
start_xvfb "$dir/xvfb.log" || die "no Xvfb"
"$WINE_RUN" --boot "$dir" || die "the Wine prefix did not boot"
prepare_wine_prefix "$dir" true
"$WINE_RUN" "$dir/tests/gui/gui_tests.exe" "$dir/src/app/brixlanetool.exe" \
    --gtest_also_run_disabled_tests --gtest_filter='*DISABLED_DetailedLoggingPassRate' |
    tr -d '\r' | grep '^gui_detailed_logging_ratio '
