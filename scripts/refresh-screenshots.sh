#!/usr/bin/env bash
# Refreshes the README's pictures in docs/screenshots/ from the screenshots that the Windows
# test run leaves in build-win/screenshots/ (run `scripts/test.sh windows` first). Not part
# of the test command, which leaves a clean clone clean.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

from=$REPO_ROOT/build-win/screenshots
to=$REPO_ROOT/docs/screenshots
command -v convert >/dev/null || die "ImageMagick's convert is missing: run scripts/install-deps.sh"

# The GUI tests' name for each picture, and the README's.
pictures=(
    main_window_at_rest:main_window
    config_dialog:config_dialog
    about_box:about_box
    benchmark_running:benchmark_running
    benchmark_running_150_percent:benchmark_running_150_percent
    loopback_failed:loopback_failed
)
missing=0
for pair in "${pictures[@]}"; do
    [ -f "$from/${pair%%:*}.bmp" ] || { warn "no $from/${pair%%:*}.bmp"; missing=1; }
done
[ "$missing" -eq 0 ] || die "run scripts/test.sh windows first; nothing was changed"
mkdir -p "$to"
for pair in "${pictures[@]}"; do
    # -strip leaves out the time stamps, so an unchanged picture makes no change in git.
    convert "$from/${pair%%:*}.bmp" -strip "$to/${pair#*:}.png"
    note "docs/screenshots/${pair#*:}.png"
done
