#!/usr/bin/env bash
# Builds brixlanetool.exe for Windows (cross, with MinGW-w64) and runs it under Wine on the
# simulated card. With a working $DISPLAY the window opens there and stays until it is closed;
# without one it runs under a private Xvfb, and this script closes it once it has started.
# Either way a screenshot of the main window is saved as
# build-win/screenshots/brixlanetool.png.
#
#   scripts/run-gui.sh                      one simulated Gen4 x4 card
#   scripts/run-gui.sh --simulate=cards=2   any arguments replace the default --simulate
#
# BRIXLANE_WIN_BUILD chooses another build folder; JOBS the number of compile jobs (2).
set -eu
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

root=$REPO_ROOT
build=${BRIXLANE_WIN_BUILD:-$root/build-win}
wine_run=$root/cmake/wine-run.sh
shots=$build/screenshots
startup_timeout=120

for tool in cmake wine x86_64-w64-mingw32-g++-posix; do
    command -v "$tool" >/dev/null 2>&1 || { echo "run-gui.sh: $tool is missing" >&2; exit 1; }
done

cmake -S "$root" -B "$build" --toolchain "$root/cmake/mingw-w64.cmake" >/dev/null
cmake --build "$build" -j"${JOBS:-2}" --target brixlanetool
exe=$build/src/app/brixlanetool.exe
mkdir -p "$shots"

if [ $# -eq 0 ]; then set -- --simulate; fi

app_pid=
work=$(mktemp -d)
cleanup() {
    # Only what this script started: the program, then the X server.
    if [ -n "$app_pid" ] && kill -0 "$app_pid" 2>/dev/null; then
        kill "$app_pid" 2>/dev/null || true
        wait "$app_pid" 2>/dev/null || true
    fi
    stop_xvfb
    rm -rf "$work"
}
trap cleanup EXIT INT TERM

if [ -n "${DISPLAY:-}" ] && xwininfo -root >/dev/null 2>&1; then
    on_xvfb=false
else
    start_xvfb "$work/xvfb.log" || die "run-gui.sh: no display, and Xvfb could not start"
    on_xvfb=true
fi

# wine-run.sh keeps the prefix in the build folder, boots it on first use and starts a
# wineserver that ends by itself a minute after the last program.
export BRIXLANE_WINEPREFIX="$build/wineprefix"
prepare_wine_prefix "$build" "$on_xvfb"

# The live log tells us when start-up is over: the scan's last line has been written.
log_unix=$work/live.log
log_windows="Z:$(echo "$log_unix" | tr / '\\')"
"$wine_run" "$exe" "$@" --log-file "$log_windows" >/dev/null 2>&1 &
app_pid=$!

i=0
until grep -q -e 'Max Read Request Size' -e 'No Korvenix PCIe test cards' "$log_unix" 2>/dev/null; do
    if ! kill -0 "$app_pid" 2>/dev/null; then
        wait "$app_pid" || status=$?
        echo "run-gui.sh: brixlanetool.exe ended during start-up (status ${status:-0})" >&2
        app_pid=
        exit 1
    fi
    i=$((i + 1))
    if [ $i -gt $((startup_timeout * 10)) ]; then
        echo "run-gui.sh: no start-up within ${startup_timeout}s" >&2
        exit 1
    fi
    sleep 0.1
done
sleep 1  # let the last repaint reach the screen before the picture is taken

shot=$shots/brixlanetool.png
geometry=$(xwininfo -name 'Korvenix(R) Brixlanetool' 2>/dev/null |
    awk '/Absolute upper-left X/ {x=$4} /Absolute upper-left Y/ {y=$4}
         /Width:/ {w=$2} /Height:/ {h=$2} END {if (w) printf "%dx%d+%d+%d", w, h, x, y}')
if command -v import >/dev/null 2>&1; then
    if [ -n "$geometry" ]; then
        import -window root -crop "$geometry" +repage "$shot"
    else
        import -window root "$shot"
    fi
    echo "screenshot: $shot"
fi
cat "$log_unix"

if $on_xvfb; then
    exit 0  # the trap ends the program and the X server
fi
echo "brixlanetool.exe is running on $DISPLAY; close its window to end." >&2
wait "$app_pid" || true
app_pid=
