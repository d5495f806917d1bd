#!/usr/bin/env bash
# The release zip as a test PC gets it: made by cpack from the Windows build, unpacked into a
# folder of its own, and the runner started from there under Wine. Usage:
#   release_zip_test.sh BUILD_DIR VERSION WINE_RUN
set -u
build=$1 version=$2 wine_run=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
name=Brixlanetool-$version-win64
fail() { echo "FAIL $1"; echo "0 passed, 1 failed"; exit 1; }

(cd "$build" && cpack --config CPackConfig.cmake -B "$work/package") >"$work/cpack.log" 2>&1 ||
    { tail -5 "$work/cpack.log"; fail "cpack"; }
[ -f "$work/package/$name.zip" ] || fail "no $name.zip"
python3 -m zipfile -e "$work/package/$name.zip" "$work/unpacked" || fail "the zip does not unpack"
for file in brixlanetool.exe brixlanetool-cli.exe README.md; do
    [ -f "$work/unpacked/$name/$file" ] || fail "no $name/$file in the zip"
done
# The unpacked folder is no build folder: the runner uses the build's Wine prefix.
BRIXLANE_WINEPREFIX=$build/wineprefix timeout -s KILL 120 "$wine_run" \
    "$work/unpacked/$name/brixlanetool-cli.exe" --simulate info >"$work/out" 2>&1 ||
    { cat "$work/out"; fail "brixlanetool-cli.exe --simulate info from the zip"; }
[ "$(tr -d '\r' <"$work/out" | grep -c .)" -eq 7 ] || { cat "$work/out"; fail "not seven lines"; }
echo "ok   $name.zip holds both programs and the README, and its runner works"
echo "1 passed, 0 failed"
