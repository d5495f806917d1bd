#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing Brixlanetool need,
# only those missing. With everything present it only asks dpkg and returns at once.
set -euo pipefail

packages=(
    # native build and unit tests
    build-essential cmake googletest libgtest-dev libgmock-dev libbenchmark-dev
    nlohmann-json3-dev
    # fuzzing (libFuzzer comes with clang's runtime libraries)
    clang libclang-rt-14-dev
    # Windows cross-build and running it under Wine. Wine goes in without its recommended
    # packages (GStreamer, Mesa, ...); what it needs of them for windows and text is named.
    g++-mingw-w64-x86-64-posix wine wine64 fonts-wine
    libxrender1 libxrandr2 libxi6 libxcursor1 libxcomposite1 libxinerama1 libxfixes3
    libxxf86vm1
    # a display for the GUI, and screenshots of it
    xvfb xauth x11-utils x11-apps imagemagick
    # tools the scripts use
    procps util-linux python3
    # the runner's JUnit file, read back as a CI server would
    python3-junitparser
    # the runner's leak check
    valgrind
)

# One dpkg query for all; a package dpkg has never heard of is simply not listed.
installed=$(dpkg-query -W -f='${Package} ${Status}\n' "${packages[@]}" 2>/dev/null |
    awk '$NF == "installed" && $(NF-1) == "ok" {sub(/:.*/, "", $1); print $1}' || true)
missing=()
for package in "${packages[@]}"; do
    if ! grep -qxF "$package" <<<"$installed"; then missing+=("$package"); fi
done
if [ ${#missing[@]} -eq 0 ]; then
    echo "install-deps: all ${#packages[@]} packages present"
    exit 0
fi

sudo=()
if [ "$(id -u)" != 0 ]; then
    command -v sudo >/dev/null || {
        echo "install-deps: missing ${missing[*]}; run as root or install sudo" >&2
        exit 1
    }
    sudo=(sudo)
fi

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
# Another apt on the machine (a colleague's install) holds the lock for a while: wait.
apt_options=(-y -q -o DPkg::Lock::Timeout=600)
"${sudo[@]}" apt-get "${apt_options[@]}" update
"${sudo[@]}" apt-get "${apt_options[@]}" install --no-install-recommends "${missing[@]}" </dev/null
