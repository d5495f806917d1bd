#!/usr/bin/env bash
# The release zip as a test PC gets it: made by cpack from the Windows build, unpacked into a
# folder of its own, and the runner started from there under Wine. Usage:
#   release_zip_test.sh BUILD_DIR VERSION WINE_RUN
set -u
build=$1 name=Brixlanetool-$2-win64 wine_run=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { cat "$work/log" 2>/dev/null | tail -7; echo "FAIL $1"; echo "0 passed, 1 failed"; exit 1; }

(cd "$build" && cpack --config CPackConfig.cmake -B "$work/package") >"$work/log" 2>&1 || fail "cpack"
python3 -m zipfile -e "$work/package/$name.zip" "$work/unpacked" || fail "no $name.zip that unpacks"
for file in brixlanetool.exe brixlanetool-cli.exe README.md; do
    [ -f "$work/unpacked/$name/$file" ] || fail "no $name/$file in the zip"
done
# The unpacked folder is no build folder: the runner uses the build's Wine prefix.
BRIXLANE_WINEPREFIX=$build/wineprefix timeout -s KILL 120 "$wine_run" \
    "$work/unpacked/$name/brixlanetool-cli.exe" --simulate info >"$work/log" 2>&1 ||
    fail "brixlanetool-cli.exe --simulate info from the zip"
[ "$(tr -d '\r' <"$work/log" | grep -c .)" -eq 7 ] || fail "not seven lines"
echo "ok   $name.zip holds both programs and the README, and its runner works"
echo "1 passed, 0 failed"
