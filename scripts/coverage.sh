#!/usr/bin/env bash
# Line and branch coverage of src/ from the C++ and the Python suite together,
# against a build instrumented with gcov (`make coverage` makes it). The counts
# of both suites add up in the same .gcda files: the test program and the
# Python module are linked from the same objects.
set -uo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${1:-build/coverage}"
VENV="${VENV:-$ROOT/.venv}"
cd "$ROOT"
case "$BUILD" in /*) ;; *) BUILD="$ROOT/$BUILD" ;; esac
find "$BUILD" -name '*.gcda' -delete
status=0
echo "== C++ tests"
(cd "$BUILD" && "$VENV/bin/ctest" --no-tests=error --output-on-failure -j "$(nproc 2>/dev/null || echo 2)" >/dev/null) || status=1
echo "== Python tests"
PYTHONPATH="$BUILD/stage" "$VENV/bin/python" -m pytest -q -p no:cacheprovider tests/python | tail -n 1
[ "${PIPESTATUS[0]}" -eq 0 ] || status=1
echo "== Coverage of src/"
# Branches that only exist for exception unwinding are not counted; notes of
# sources deleted since the build tree was made are skipped. Only this build
# tree's counters are read, whatever other instrumented trees lie beside it.
"$VENV/bin/gcovr" --root "$ROOT" --object-directory "$BUILD" --exclude-directories '.*CompilerId.*' --filter "$ROOT/src/" \
  --exclude-throw-branches --exclude-unreachable-branches \
  --gcov-ignore-parse-errors=negative_hits.warn_once_per_file --gcov-ignore-errors=source_not_found \
  --gcov-ignore-errors=no_working_dir_found \
  --print-summary --txt "$BUILD/coverage.txt" "$BUILD" 2>/dev/null | grep -E '^(lines|branches):' || status=1
echo "(per file: $BUILD/coverage.txt)"
[ "$status" -eq 0 ] || echo "== some tests FAILED: the figures count what ran"
exit $status
