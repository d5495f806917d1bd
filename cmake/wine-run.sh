#!/usr/bin/env bash
# Runs a Windows program under Wine with a private prefix inside its build folder; CTest
# calls it as the cross-compiling emulator. Also:
#   wine-run.sh --boot [BUILD_DIR]   start the prefix's persistent server and boot the prefix
#   wine-run.sh --stop [BUILD_DIR]   end the prefix's server and every program it runs
# BRIXLANE_WINE_DPI=N runs the program on a screen of N dpi.
#
# The first Wine program of a prefix starts the wineserver, and the server keeps that
# program's standard error open for as long as it lives. CTest reads a test's output to end
# of file, so a persistent server started by a test would hang the run. We therefore always
# start the server ourselves, detached from our output, before the program runs; with it
# up, the prefix's background programs (services.exe, explorer.exe) stay up too and every
# later start is fast. The test scripts --boot once before the tests and --stop after.
set -euo pipefail

# Runs a command cut off from every descriptor we hold: our output, the boot lock, and
# whatever our caller left open. The server and the prefix's background programs outlive
# us, and anything they inherit stays open as long as they do.
detached() {
    (
        for fd in /proc/$BASHPID/fd/*; do
            fd=${fd##*/}
            if [ "$fd" -gt 2 ]; then eval "exec $fd>&-"; fi
        done
        exec "$@"
    ) </dev/null >>"$wine_log" 2>&1
}

# The prefix lives in the build folder that holds the program: the nearest folder upwards
# with a CMakeCache.txt. BRIXLANE_WINEPREFIX overrides it.
find_build_dir() {
    dir=$(cd "$1" 2>/dev/null && pwd -P) || return 1
    while [ "$dir" != "/" ]; do
        if [ -f "$dir/CMakeCache.txt" ]; then
            echo "$dir"
            return 0
        fi
        dir=$(dirname "$dir")
    done
    return 1
}

mode=run
case "${1:-}" in
    --boot | --stop)
        mode=${1#--}
        shift
        start=${1:-$PWD}
        ;;
    "")
        echo "usage: wine-run.sh PROGRAM.exe [ARGS...] | --boot [BUILD_DIR] | --stop [BUILD_DIR]" >&2
        exit 2
        ;;
    *) start=$(dirname "$1") ;;
esac

if [ -n "${BRIXLANE_WINEPREFIX:-}" ]; then
    WINEPREFIX=$BRIXLANE_WINEPREFIX
else
    build_dir=$(find_build_dir "$start" || find_build_dir "$PWD") || {
        echo "wine-run.sh: no build folder (CMakeCache.txt) above $start; set BRIXLANE_WINEPREFIX" >&2
        exit 2
    }
    WINEPREFIX=$build_dir/wineprefix
fi
export WINEPREFIX
# What the server and the boot print goes here (a file: nothing waits for its end).
wine_log=$WINEPREFIX.log
export WINEDEBUG=-all
# No Mono or Gecko installer prompts: the machine may have no internet.
export WINEDLLOVERRIDES="mscoree,mshtml="

if [ "$mode" = stop ]; then
    # Only this prefix's server; it takes its programs with it. Nothing to do if none runs.
    detached wineserver -k || true
    # Wait, within bounds, for it to be gone so the next boot starts clean.
    detached timeout 30 wineserver -w || true
    exit 0
fi

mkdir -p "$WINEPREFIX"
# Serialise the boot: parallel tests must not boot one prefix twice at once.
(
    if command -v flock >/dev/null 2>&1; then flock 9; fi
    # A persistent server, detached from our output; when one already runs for this prefix
    # this returns at once. The test scripts' server lives until their --stop; one started
    # for a program run by hand ends by itself a minute after its last program.
    if [ "$mode" = boot ]; then persist=; else persist=60; fi
    detached wineserver "-p$persist" || true
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        detached wine wineboot -i || {
            echo "wine-run.sh: booting $WINEPREFIX failed; see $wine_log" >&2
            exit 1
        }
    elif [ "$mode" = boot ]; then
        # Already made: just start its background programs now rather than in a test.
        detached wine wineboot
    fi
) 9>"$WINEPREFIX.lock"

if [ "$mode" = boot ]; then exit 0; fi
# BRIXLANE_WINE_DPI=N: the program sees a screen of N dpi, which a Wine program reads once,
# when it starts; the prefix is put back to 96 dpi afterwards.
if [ -n "${BRIXLANE_WINE_DPI:-}" ]; then
    log_pixels() {
        wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1
    }
    log_pixels "$BRIXLANE_WINE_DPI"
    trap 'log_pixels 96' EXIT
    status=0
    wine "$@" || status=$?
    exit "$status"
fi
exec wine "$@"
