#!/usr/bin/env bash
# Builds the binary wheel of morvex: scikit-build-core over the same CMake
# project, OpenSSL, Botan and libmceliece linked statically with their symbols
# hidden, libstdc++ and libgcc linked in. The build tree <build>/wheel is kept,
# so a second run only rebuilds what changed (ccache helps a fresh tree).
# auditwheel then gives the wheel the lowest manylinux tag its symbols allow;
# the wheel lands in <out> (default dist/) with its SHA-256 beside it, the only
# morvex wheel there.
#
#   scripts/wheel.sh [BUILD [OUT]]
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
abs() { case "$1" in /*) echo "$1" ;; *) echo "$ROOT/$1" ;; esac; }
BUILD="$(abs "${1:-build/release}")"
OUT="$(abs "${2:-dist}")"
PY="$ROOT/.venv/bin/python"
RAW="$BUILD/wheel-raw"
LOG="$BUILD/wheel-build.log"

rm -rf "$RAW"
mkdir -p "$RAW" "$OUT"
echo "== Building the wheel (log: ${LOG#"$ROOT"/})"
# The compilers CMake picks for `make build` (scikit-build-core would take
# Python's configured ones), so the wheel's objects come from ccache after a
# build of the same sources.
export CC="${CC:-cc}" CXX="${CXX:-c++}"
# The project's .venv holds the build requirements (scikit-build-core,
# nanobind, cmake, ninja): no isolated environment to download.
if ! "$PY" -m pip wheel "$ROOT" --no-deps --no-build-isolation -v -w "$RAW" \
     -C build-dir="$BUILD/wheel" >"$LOG" 2>&1; then
  tail -n 40 "$LOG" >&2
  echo "wheel build failed (log: $LOG)" >&2
  exit 1
fi
raw=("$RAW"/morvex-*.whl)
[ "${#raw[@]}" -eq 1 ] && [ -f "${raw[0]}" ] || { echo "expected one wheel in $RAW" >&2; exit 1; }

rm -f "$OUT"/morvex-*.whl "$OUT"/morvex-*.whl.sha256
PATH="$ROOT/.venv/bin:$PATH" auditwheel repair --plat auto -w "$OUT" "${raw[0]}" >>"$LOG" 2>&1 \
  || { tail -n 20 "$LOG" >&2; echo "auditwheel repair failed (log: $LOG)" >&2; exit 1; }
whl=("$OUT"/morvex-*.whl)
[ "${#whl[@]}" -eq 1 ] && [ -f "${whl[0]}" ] || { echo "expected one repaired wheel in $OUT" >&2; exit 1; }
name="$(basename "${whl[0]}")"
(cd "$OUT" && sha256sum "$name" > "$name.sha256")
echo "${whl[0]#"$ROOT"/} ($(du -k "${whl[0]}" | cut -f1) KiB), sha256 in $name.sha256"
