#!/usr/bin/env bash
# Runs the C++ suite (ctest) and the Python suite (pytest) against a build
# tree; fails when either fails or runs nothing.
set -uo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
NOPQ_ONLY=0
if [ "${1:-}" = "--nopq-only" ]; then NOPQ_ONLY=1; shift; fi
BUILD="${1:-build/release}"
# Optional: a build configured with -DMORVEX_WITH_PQ=OFF.
NOPQ="${2:-}"
[ "$NOPQ_ONLY" -eq 1 ] && NOPQ="$BUILD"
cd "$ROOT"
case "$BUILD" in /*) ;; *) BUILD="$ROOT/$BUILD" ;; esac
case "$NOPQ" in /*|"") ;; *) NOPQ="$ROOT/$NOPQ" ;; esac
status=0
if [ -n "$NOPQ" ]; then
  # The areas' suites, then the loader's own tests, without the backend.
  echo "== C++ tests without the post-quantum backend"
  "$NOPQ/tests/cpp/morvex_tests" --gtest_brief=1 --gtest_filter='-Quantum*' || status=1
  "$NOPQ/tests/cpp/morvex_tests" --gtest_brief=1 --gtest_filter='QuantumTables.*:QuantumLoader.*' || status=1
  echo "== Python tests without the post-quantum backend"
  PYTHONPATH="$NOPQ/stage" "$ROOT/.venv/bin/python" -m pytest -q -p no:cacheprovider \
    tests/python/test_binding.py tests/python/test_surface.py tests/python/test_vectors.py || status=1
  if [ "$NOPQ_ONLY" -eq 1 ]; then
    if [ "$status" -ne 0 ]; then echo "== FAILED"; else echo "== all tests passed"; fi
    exit $status
  fi
fi
echo "== C++ tests"
(cd "$BUILD" && ctest --output-on-failure --no-tests=error -j "$(nproc 2>/dev/null || echo 2)") || status=1
echo "== Python tests"
# pytest answers 5 when no test ran: a failure too.
PYTHONPATH="$BUILD/stage" "$ROOT/.venv/bin/python" -m pytest -q -p no:cacheprovider || status=1
if [ "$status" -ne 0 ]; then echo "== FAILED"; else echo "== all tests passed"; fi
exit $status
