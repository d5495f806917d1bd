#!/usr/bin/env bash
# Builds Brixlanetool and runs it on simulated cards (a Linux machine has no real ones).
#
#   scripts/run.sh               the command-line runner: list the cards, show their details;
#                                then the Windows GUI under Wine, once it is part of the build
#   scripts/run.sh cli ARGS...   the command-line runner with these arguments
#   scripts/run.sh gui ARGS...   only the Windows GUI, with these arguments
#
# The GUI shows on $DISPLAY when there is one; without a display it runs on a private Xvfb
# and leaves a screenshot in build-win/screenshots/ (scripts/run-gui.sh).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

CLI_EXE=$REPO_ROOT/build/brixlanetool-cli

gui_is_built_here() {
    [ -f "$REPO_ROOT/src/app/CMakeLists.txt" ] && [ -f "$REPO_ROOT/scripts/run-gui.sh" ]
}

build_native() {
    # The same settings as the test command's native build, so neither rebuilds the other's.
    configure_and_build "$REPO_ROOT/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DBRIXLANE_WERROR=ON >/dev/null
}

# run_cli ARGS...: the command-line runner if there is one; otherwise the unit tests show
# the card code at work on the simulated driver.
run_cli() {
    if [ -x "$CLI_EXE" ]; then
        note "brixlanetool-cli $*"
        "$CLI_EXE" "$@"
    else
        note "no command-line runner yet; running the unit tests instead"
        "$REPO_ROOT/build/tests/unit_tests" --gtest_brief=1
    fi
}

# run_gui ARGS...: the Windows program under Wine on the simulated card, through the GUI's
# own runner (scripts/run-gui.sh: on $DISPLAY, or on a private Xvfb with a screenshot).
run_gui() {
    note "brixlanetool.exe under Wine"
    bash "$REPO_ROOT/scripts/run-gui.sh" "$@"
}

bash "$REPO_ROOT/scripts/install-deps.sh" >/dev/null
mode=${1:-default}
[ $# -eq 0 ] || shift
case $mode in
    default)
        build_native
        run_cli --simulate list
        if [ -x "$CLI_EXE" ]; then run_cli --simulate info; fi
        if gui_is_built_here; then run_gui; fi
        ;;
    cli)
        build_native
        run_cli "$@"
        ;;
    gui)
        gui_is_built_here || die "the Windows GUI (src/app) is not part of this tree yet"
        run_gui "$@"
        ;;
    *) die "usage: scripts/run.sh [cli ARGS... | gui ARGS...]" ;;
esac
