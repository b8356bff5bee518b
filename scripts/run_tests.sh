#!/usr/bin/env bash
# Runs the C++ suite (ctest) and the Python suite (pytest) against a build
# tree; fails when either fails or runs nothing.
set -uo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${1:-build/release}"
cd "$ROOT"
case "$BUILD" in /*) ;; *) BUILD="$ROOT/$BUILD" ;; esac
status=0
echo "== C++ tests"
(cd "$BUILD" && ctest --output-on-failure --no-tests=error -j "$(nproc 2>/dev/null || echo 2)") || status=1
echo "== Python tests"
# pytest answers 5 when no test ran: a failure too.
PYTHONPATH="$BUILD/stage" "$ROOT/.venv/bin/python" -m pytest -q -p no:cacheprovider || status=1
if [ "$status" -ne 0 ]; then echo "== FAILED"; else echo "== all tests passed"; fi
exit $status
