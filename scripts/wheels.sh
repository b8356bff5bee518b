#!/usr/bin/env bash
# The wheels of every supported CPython, built with the interpreters found on
# this machine (on PATH as python3.X, or installed by pyenv): one wheel each
# for 3.9, 3.10 and 3.11, and the stable-ABI wheel (cp312-abi3), built by the
# oldest Python from 3.12 on, for 3.12 and every later version. A supported
# version with no interpreter here is reported and skipped.
#
# With --test, each wheel is installed into a fresh environment of every
# interpreter that takes it and the Python suite runs there
# (scripts/test_wheel.sh); the table of interpreter x wheel x result ends the
# output and is kept in <build>/wheels-matrix.txt. With --quick (`make test`),
# only the wheel of .venv's Python on that Python, and the stable-ABI wheel on
# the newest interpreter.
#
#   scripts/wheels.sh [--test] [--quick] BUILD OUT
set -uo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
TEST=0 QUICK=0
while [ $# -gt 0 ]; do
  case "$1" in
    --test) TEST=1 ;;
    --quick) QUICK=1 ;;
    *) break ;;
  esac
  shift
done
BUILD="${1:-build/release}"
OUT="${2:-dist}"
case "$BUILD" in /*) ;; *) BUILD="$ROOT/$BUILD" ;; esac
SUPPORTED="${MORVEX_PYTHONS:-3.9 3.10 3.11 3.12 3.13}"
VENV_PY="$ROOT/.venv/bin/python"

version_of() { "$1" -c 'import sys; print("%d.%d" % sys.version_info[:2])' 2>/dev/null; }
# find_python X.Y: .venv's Python, python3.X on PATH, or pyenv's newest 3.X.
find_python() {
  local v="$1" p
  local candidates=("$VENV_PY" "$(command -v "python$v" || true)")
  if command -v pyenv >/dev/null 2>&1; then
    candidates+=($(ls -d "$(pyenv root)/versions/$v".*/bin/python3 2>/dev/null | sort -V -r))
  fi
  for p in "${candidates[@]}"; do
    [ -n "$p" ] && [ -x "$p" ] && [ "$(version_of "$p")" = "$v" ] && { echo "$p"; return 0; }
  done
  return 1
}

declare -A PYTHON
found=()
for v in $SUPPORTED; do
  if p="$(find_python "$v")"; then
    PYTHON[$v]="$p"; found+=("$v")
  else
    echo "== Python $v: no interpreter found (python$v on PATH, pyenv): skipped"
  fi
done
abi3_builder="" newest=""
for v in "${found[@]}"; do
  if [ "${v#3.}" -ge 12 ]; then
    [ -z "$abi3_builder" ] && abi3_builder="$v"
    newest="$v"
  fi
done
venv_ver="$(version_of "$VENV_PY")"

# What to build (interpreter versions) and what to test (interpreter:wheel tag).
builds=() tests=()
if [ "$QUICK" = 1 ]; then
  [ "${venv_ver#3.}" -lt 12 ] && builds+=("$venv_ver") && tests+=("$venv_ver:cp${venv_ver/./}")
  [ -n "$abi3_builder" ] && builds+=("$abi3_builder") && tests+=("$newest:abi3")
else
  for v in "${found[@]}"; do
    if [ "${v#3.}" -lt 12 ]; then builds+=("$v"); tests+=("$v:cp${v/./}"); else tests+=("$v:abi3"); fi
  done
  [ -n "$abi3_builder" ] && builds+=("$abi3_builder")
fi
[ -n "$abi3_builder" ] || echo "== no Python 3.12 or later found: the stable-ABI wheel is skipped"

status=0
declare -A WHEEL
start=$SECONDS
for v in "${builds[@]}"; do
  if [ "${v#3.}" -ge 12 ]; then tag=abi3; else tag="cp${v/./}"; fi
  if bash "$ROOT/scripts/wheel.sh" "$BUILD" "$OUT" "${PYTHON[$v]}"; then
    case "$OUT" in /*) dir="$OUT" ;; *) dir="$ROOT/$OUT" ;; esac
    if [ "$tag" = abi3 ]; then pattern="cp312-abi3"; else pattern="$tag-$tag"; fi
    WHEEL[$tag]="$(ls "$dir"/morvex-*-"$pattern"-*.whl)"
  else
    echo "== the $tag wheel failed to build (Python $v)" >&2
    status=1
  fi
done
[ "$TEST" = 1 ] || exit $status

rows=()
for t in "${tests[@]}"; do
  v="${t%%:*}" tag="${t#*:}"
  whl="${WHEEL[$tag]:-}"
  t0=$SECONDS
  if [ -z "$whl" ]; then
    result="not built"; status=1
  elif bash "$ROOT/scripts/test_wheel.sh" "$whl" "$BUILD/wheel-test/$v" "${PYTHON[$v]}"; then
    result="passed"
  else
    result="FAILED"; status=1
  fi
  rows+=("$(printf '| %-16s | %-52s | %-9s | %4d s |' "CPython $("${PYTHON[$v]}" -c 'import platform; print(platform.python_version())')" \
    "$(basename "${whl:-$tag}")" "$result" $((SECONDS - t0)))")
done
{
  printf '| %-16s | %-52s | %-9s | %6s |\n' "Interpreter" "Wheel" "Result" "Time"
  printf '|%s|%s|%s|%s|\n' "------------------" "------------------------------------------------------" "-----------" "--------"
  printf '%s\n' "${rows[@]}"
  echo "wheels built and tested in $((SECONDS - start)) s"
} | tee "$BUILD/wheels-matrix.txt"
exit $status
