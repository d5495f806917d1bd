#!/bin/sh
# Runs a Windows program under Wine with the build folder's private prefix. The test
# scripts boot the prefix and start a persistent wineserver before any test runs, so that
# Wine's background processes never hold a test's output open.
: "${WINEPREFIX:=${BRIXLANE_WINEPREFIX:-$PWD/wineprefix}}"
export WINEPREFIX
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
exec wine "$@"
