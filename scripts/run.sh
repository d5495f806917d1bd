#!/usr/bin/env bash
# Builds Brixlanetool and runs it on simulated cards (a Linux machine has no real ones).
#
#   scripts/run.sh               the command-line runner: list the cards, show their details,
#                                a short loopback and a short benchmark (records, summary,
#                                verdict); then the Windows GUI under Wine
#   scripts/run.sh cli ARGS...   the command-line runner with these arguments
#   scripts/run.sh gui ARGS...   only the Windows GUI, with these arguments
#
# The GUI shows on $DISPLAY when there is one; without a display it runs on a private Xvfb
# and leaves a screenshot in build-win/screenshots/ (scripts/run-gui.sh).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

CLI_EXE=$REPO_ROOT/build/brixlanetool-cli

build_native() {
    # The same settings as the test command's native build, so neither rebuilds the other's.
    configure_and_build "$REPO_ROOT/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DBRIXLANE_WERROR=ON >/dev/null
}

run_cli() {
    note "brixlanetool-cli $*"
    "$CLI_EXE" "$@"
}

# run_test_abridged ARGS...: a test run through the runner, its records shown without the
# hundreds of progress lines in the middle, then the runner's verdict as its exit status.
run_test_abridged() {
    local records status=0
    records=$(mktemp)
    note "brixlanetool-cli $*"
    "$CLI_EXE" "$@" >"$records" || status=$?
    awk -v keep=14 '{ line[NR] = $0 }
        END {
            for (i = 1; i <= NR; i++) {
                if (i <= keep || i > NR - keep) print line[i]
                else if (i == keep + 1) printf "    ... %d more records ...\n", NR - 2 * keep
            }
        }' "$records"
    rm -f "$records"
    case $status in
        0) note "exit status 0: the card passed" ;;
        1) note "exit status 1: the card failed" ;;
        *) note "exit status $status: the run could not be made" ;;
    esac
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
        run_cli --simulate info
        run_test_abridged --simulate loopback --minutes 0.05
        run_test_abridged --simulate benchmark --minutes 0.05
        run_gui
        ;;
    cli)
        build_native
        run_cli "$@"
        ;;
    gui)
        run_gui "$@"
        ;;
    *) die "usage: scripts/run.sh [cli ARGS... | gui ARGS...]" ;;
esac
