#!/usr/bin/env bash
# Builds the benchmarks optimised (build-bench) and runs them; arguments go to
# brixlanetool-bench unchanged (for example --only NAME).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

bash "$REPO_ROOT/scripts/install-deps.sh" >/dev/null
cmake -S "$REPO_ROOT" -B "$REPO_ROOT/build-bench" -DCMAKE_BUILD_TYPE=Release -DBRIXLANE_BENCH=ON \
    >/dev/null
cmake --build "$REPO_ROOT/build-bench" --parallel "$JOBS" --target brixlanetool-bench
exec "$REPO_ROOT/build-bench/bench/brixlanetool-bench" "$@"
