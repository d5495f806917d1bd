#!/usr/bin/env bash
# Runs brixlanetool-cli under valgrind for one whole short loopback run and one whole short
# benchmark run on the simulated card; fails on any memory error or any definitely or
# indirectly lost block. Usage: cli_leak_check.sh CLI [sanitized]
# Exits 77 (skipped) without valgrind, or for a sanitized build, which cannot run under valgrind.
set -u
cli=$1
skip() { echo "skipped: $1"; exit 77; }
[ "${2:-}" != sanitized ] || skip "a sanitized build does not run under valgrind"
command -v valgrind >/dev/null 2>&1 || skip "valgrind is not installed"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# glibc's AVX2 wmemcmp reads whole 32-byte vectors, past the end of a short string within its
# page; the bytes beyond never decide the result, but valgrind 3.19 reports every such compare.
printf '{\n wmemcmp-avx2-reads-whole-vectors\n Memcheck:Addr32\n fun:__wmemcmp_avx2_movbe\n}\n' >"$work/glibc.supp"

# check NAME ARGS...: one run under valgrind that must pass cleanly (valgrind's status for an
# error is apart from the runner's 0-3); it takes 5 to 10 s, one still going after 120 s is hung.
failed=0
check() {
    local name=$1 start=$SECONDS
    shift
    timeout -k 5 120 valgrind --leak-check=full --errors-for-leak-kinds=definite,indirect \
        --error-exitcode=99 --suppressions="$work/glibc.supp" --log-file="$work/$name.valgrind" \
        "$cli" "$@" --json "$work/$name.json" --log "$work/$name.log" >/dev/null 2>"$work/$name.err" </dev/null
    local status=$?
    if [ "$status" -eq 0 ] && grep -q "ERROR SUMMARY: 0 errors" "$work/$name.valgrind"; then
        echo "ok   $name ($((SECONDS - start))s): $(grep -m1 "in use at exit:" "$work/$name.valgrind" | sed 's/^==[0-9]*== *//')"
        return
    fi
    failed=$((failed + 1))
    echo "FAIL $name: exit status $status (99: memory errors or leaks; 124 or 137: still running after 120s)"
    sed 's/^/     valgrind: /' "$work/$name.valgrind" | tail -40
    sed 's/^/     err: /' "$work/$name.err" | tail -5
}
# Small blocks: under valgrind every byte moved is checked.
check loopback --simulate loopback --minutes 0.02
check benchmark --simulate benchmark --minutes 0.02 --block-mb 1
echo "$((2 - failed)) of 2 runs clean"
[ "$failed" -eq 0 ]
