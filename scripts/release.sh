#!/usr/bin/env bash
# Cross-builds the Windows programs and packs the release a test PC takes:
# build-win/Brixlanetool-<version>-win64.zip (both programs and the README, no installer).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
bash "$REPO_ROOT/scripts/install-deps.sh" >/dev/null
configure_and_build_windows >/dev/null
(cd "$REPO_ROOT/build-win" && cpack --config CPackConfig.cmake >/dev/null)
note "$(ls "$REPO_ROOT"/build-win/Brixlanetool-*-win64.zip)"
