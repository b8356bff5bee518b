#!/usr/bin/env bash
# Tests a package as a user gets it, with the given interpreter (default: the
# Python of .venv). A wheel's SHA-256 is checked first (scripts/wheel.sh
# checked its contents when it made it); a source distribution is built by
# pip on the way in, which runs the dependency step. The package is installed
# into a fresh virtual environment of that interpreter holding only it and
# the test tools (no compiler-side package), and the Python suite runs
# against the installed package from a directory outside the checkout,
# PYTHONPATH empty.
#
#   scripts/test_wheel.sh WHEEL_DIR|PACKAGE_FILE WORK_DIR [PYTHON]
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
abs() { case "$1" in /*) echo "$1" ;; *) echo "$ROOT/$1" ;; esac; }
PACKAGE="$(abs "${1:-dist}")"
WORK="$(abs "${2:-build/release/wheel-test}")"
PY="${3:-$ROOT/.venv/bin/python}"
if [ -d "$PACKAGE" ]; then
  whl=("$PACKAGE"/morvex-*.whl)
  [ "${#whl[@]}" -eq 1 ] && [ -f "${whl[0]}" ] || { echo "expected one morvex wheel in $PACKAGE" >&2; exit 1; }
  PACKAGE="${whl[0]}"
fi
[ -f "$PACKAGE" ] || { echo "no package $PACKAGE" >&2; exit 1; }
mkdir -p "$WORK"

if [[ "$PACKAGE" == *.whl ]]; then
  (cd "$(dirname "$PACKAGE")" && sha256sum --quiet -c "$(basename "$PACKAGE").sha256")
fi

echo "== Python tests against the installed $(basename "$PACKAGE"), $("$PY" -c 'import platform; print("CPython", platform.python_version())')"
VENV="$WORK/venv"
rm -rf "$VENV"
"$PY" -m venv "$VENV"
# The test tools at the versions the project's own environment asks for.
mapfile -t tools < <(grep -E '^(pytest|pytest-asyncio|hypothesis|cryptography)([<>=!~ ]|$)' "$ROOT/requirements-dev.txt")
"$VENV/bin/python" -m pip install -q --disable-pip-version-check "$PACKAGE[quantum]" "${tools[@]}" \
  >"$WORK/pip.log" 2>&1 || { cat "$WORK/pip.log" >&2; exit 1; }

# The suite, its data and its pytest settings, copied outside the checkout.
SUITE="$(mktemp -d)"
trap 'rm -rf "$SUITE"' EXIT
mkdir -p "$SUITE/tests"
cp -r "$ROOT/tests/python" "$ROOT/tests/data" "$SUITE/tests/"
awk '/^\[tool\.pytest\.ini_options\]/ {keep = 1; print; next} /^\[/ {keep = 0} keep' \
  "$ROOT/pyproject.toml" > "$SUITE/pyproject.toml"
cd "$SUITE"
export PYTHONPATH=""
for mod in nanobind scikit_build_core cmake ninja; do
  if "$VENV/bin/python" -c "import importlib.util, sys; sys.exit(importlib.util.find_spec('$mod') is None)"; then
    echo "the test environment has $mod" >&2; exit 1
  fi
done
# Every wheel links the post-quantum backend.
where="$("$VENV/bin/python" -c 'import morvex, morvex._native as n; assert n.oqs._BACKEND_LINKED; print(morvex.__file__)')"
case "$where" in
  "$VENV"/*) ;;
  *) echo "morvex was imported from $where, not from the test environment" >&2; exit 1 ;;
esac
# pytest answers 5 when no test ran: a failure too.
"$VENV/bin/python" -m pytest -q -p no:cacheprovider
