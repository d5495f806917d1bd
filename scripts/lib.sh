# Helpers shared by the scripts in this folder; sourced, never run. Every script works from
# any folder: paths below are absolute, from the repository root.

REPO_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd -P)
JOBS=${JOBS:-$(nproc 2>/dev/null || echo 2)}
WINE_RUN=$REPO_ROOT/cmake/wine-run.sh

note() { printf '==> %s\n' "$*"; }
warn() { printf 'warning: %s\n' "$*" >&2; }
die() {
    printf 'error: %s\n' "$*" >&2
    exit 1
}

# Milliseconds since the epoch, and a duration in seconds with one decimal.
now_ms() { date +%s%3N; }
seconds_since() {
    local ms=$(($(now_ms) - $1))
    printf '%d.%d' $((ms / 1000)) $((ms % 1000 / 100))
}

# children_cpu_ms: sets CHILDREN_CPU_MS to the CPU milliseconds (user + system) used so far
# by the children this shell has waited for: a stage's cost apart from whatever else the
# machine is doing. `times` must run in this shell, not in a command substitution's.
CHILDREN_CPU_MS=0
children_cpu_ms() {
    local file
    file=$(mktemp)
    times >"$file"
    CHILDREN_CPU_MS=$(awk 'NR == 2 {
        total = 0
        for (i = 1; i <= 2; ++i) {
            split($i, part, "m"); sub("s", "", part[2]); total += part[1] * 60 + part[2]
        }
        printf "%d\n", total * 1000 }' "$file")
    rm -f "$file"
}

# configure_and_build BUILD_DIR [CMAKE_ARGS...]: configure once, then build every target.
configure_and_build() {
    local dir=$1
    shift
    cmake -S "$REPO_ROOT" -B "$dir" "$@" || return 1
    cmake --build "$dir" --parallel "$JOBS"
}

# The Windows cross-build, with warnings as errors.
configure_and_build_windows() {
    configure_and_build "$REPO_ROOT/build-win" \
        --toolchain "$REPO_ROOT/cmake/mingw-w64.cmake" -DBRIXLANE_WERROR=ON "$@"
}

# prepare_wine_prefix BUILD_DIR ON_XVFB: readies the prefix of BUILD_DIR (booted by the first
# Wine program if need be) for the window. With no window manager (ON_XVFB true) Wine draws the
# frames itself and does not wait two seconds at every hide for a manager that never answers;
# on a real desktop the window manager does its job. The screen is 96 dpi (wine-run.sh's
# BRIXLANE_WINE_DPI changes it for one program). Wine's own Tahoma and Marlett go into the
# prefix where Wine does not find them by itself: the dialog font then has the metrics the
# layout was made for.
prepare_wine_prefix() {
    local key='HKCU\Software\Wine\X11 Driver'
    if [ "$2" = true ]; then
        BRIXLANE_WINEPREFIX=$1/wineprefix "$WINE_RUN" reg add "$key" /v Managed /d N /f
    else
        BRIXLANE_WINEPREFIX=$1/wineprefix "$WINE_RUN" reg delete "$key" /v Managed /f
    fi >/dev/null 2>&1 || true
    BRIXLANE_WINEPREFIX=$1/wineprefix "$WINE_RUN" reg add 'HKCU\Control Panel\Desktop' \
        /v LogPixels /t REG_DWORD /d 96 /f >/dev/null 2>&1 || true
    local fonts=$1/wineprefix/drive_c/windows/Fonts font
    for font in tahoma.ttf tahomabd.ttf marlett.ttf; do
        if [ -f "/usr/share/wine/fonts/$font" ] && [ -d "$fonts" ] && [ ! -f "$fonts/$font" ]; then
            cp "/usr/share/wine/fonts/$font" "$fonts/"
        fi
    done
}

# --- Xvfb ----------------------------------------------------------------------------------
XVFB_PID=
# start_xvfb LOG_FILE: starts Xvfb on a display number it picks itself (-displayfd writes
# the number once the server accepts clients, so there is nothing to poll) and exports
# DISPLAY. Returns non-zero if it cannot. stop_xvfb ends it; callers put stop_xvfb in their
# EXIT trap.
start_xvfb() {
    local log=$1 fifo display_number=
    if ! command -v Xvfb >/dev/null; then
        warn "Xvfb is missing: run scripts/install-deps.sh"
        return 1
    fi
    fifo=$(mktemp -u "${TMPDIR:-/tmp}/brixlane-xvfb.XXXXXX")
    mkfifo "$fifo"
    # Room for the main window at 200 %, which the GUI tests show too.
    Xvfb -displayfd 3 -screen 0 2560x1600x24 -nolisten tcp 3>"$fifo" </dev/null >"$log" 2>&1 &
    XVFB_PID=$!
    # Xvfb closes the pipe without a number if it cannot start; 30 s is far beyond a
    # normal start.
    read -r -t 30 display_number <"$fifo" || true
    rm -f "$fifo"
    if [ -z "$display_number" ]; then
        stop_xvfb
        cat "$log" >&2 || true
        warn "Xvfb did not start"
        return 1
    fi
    export DISPLAY=:$display_number
}

stop_xvfb() {
    if [ -n "$XVFB_PID" ]; then
        kill "$XVFB_PID" 2>/dev/null || true
        wait "$XVFB_PID" 2>/dev/null || true
        XVFB_PID=
    fi
}

# --- sanitizers ------------------------------------------------------------------------------
# Some kernels hand out addresses that the sanitizers' fixed shadow layout cannot live with
# (vm.mmap_rnd_bits above 28 with GCC 12's TSan: "unexpected memory mapping"; ASan can die
# on a DEADLYSIGNAL loop the same way). We find out by running a program of the build once.
# If it fails, we try it with address randomisation off for it alone (setarch -R) and, if
# that helps, run the tests so; failing that, as root and only for a layout failure, with the
# randomisation lowered for the length of the run.
SANITIZER_WRAPPER=()
MMAP_RND_BITS_SAVED=

sanitizer_layout_failure() {
    grep -qE 'unexpected memory mapping|Shadow memory range interleaves|ASan cannot proceed|DEADLYSIGNAL|ReserveShadowMemoryRange|failed to allocate' <<<"$1"
}

# choose_sanitizer_wrapper PROGRAM [ARGS...]: sets SANITIZER_WRAPPER for running PROGRAM.
choose_sanitizer_wrapper() {
    local out first_out
    SANITIZER_WRAPPER=()
    if first_out=$("$@" 2>&1); then return 0; fi
    if out=$(setarch "$(uname -m)" -R "$@" 2>&1); then
        warn "the sanitized tests start only without address randomisation here; using setarch -R"
        SANITIZER_WRAPPER=(setarch "$(uname -m)" -R)
        return 0
    fi
    if sanitizer_layout_failure "$first_out" && [ "$(id -u)" = 0 ] &&
        [ -w /proc/sys/vm/mmap_rnd_bits ]; then
        MMAP_RND_BITS_SAVED=$(cat /proc/sys/vm/mmap_rnd_bits)
        echo 28 >/proc/sys/vm/mmap_rnd_bits
        warn "lowered vm.mmap_rnd_bits from $MMAP_RND_BITS_SAVED to 28 for this run"
        if "$@" >/dev/null 2>&1; then return 0; fi
        restore_mmap_rnd_bits
    fi
    # Not the layout, or nothing helped: let the tests run and tell what is wrong.
    printf '%s\n' "$first_out" | tail -20 >&2
    warn "a sanitized test program fails even to list its tests"
    return 0
}

restore_mmap_rnd_bits() {
    if [ -n "$MMAP_RND_BITS_SAVED" ]; then
        echo "$MMAP_RND_BITS_SAVED" >/proc/sys/vm/mmap_rnd_bits || true
        MMAP_RND_BITS_SAVED=
    fi
}
