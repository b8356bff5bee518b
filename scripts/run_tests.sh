#!/usr/bin/env bash
# Runs the C++ suite (ctest) and the Python suite (pytest) against a build
# tree; fails when either fails or runs nothing.
set -uo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${1:-build/release}"
cd "$ROOT"
status=0
echo "== C++ tests"
(cd "$BUILD" && ctest --output-on-failure -j "$(nproc 2>/dev/null || echo 2)") || status=1
echo "== Python tests"
PYTHONPATH="$ROOT/$BUILD/stage" "$ROOT/.venv/bin/python" -m pytest -q -p no:cacheprovider
rc=$?
# pytest's 5 means no test ran: a failure here.
[ "$rc" -ne 0 ] && status=1
exit $status
