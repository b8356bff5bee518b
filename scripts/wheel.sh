#!/usr/bin/env bash
# Builds one binary wheel of morvex with the given interpreter (default: the
# Python of .venv): scikit-build-core over the same CMake project, OpenSSL,
# Botan and libmceliece linked statically with their symbols hidden,
# libstdc++ linked in. Python 3.9-3.11 get a wheel of their own (cp3X-cp3X);
# an interpreter of 3.12 or later builds the stable-ABI wheel (cp312-abi3)
# that every Python from 3.12 on installs.
#
# The build requirements come from .venv for its own Python, else from a
# build environment of that interpreter (<build>/pyenv/<version>, made once
# from requirements-build.txt). The build tree <build>-wheel-<tag> is kept, so
# a second run only rebuilds what changed; it sits beside <build>, so the
# core's objects come from ccache after a `make build` of the same sources.
# auditwheel then gives the wheel the lowest manylinux tag its symbols allow,
# and scripts/check_wheel.py checks it (abi3audit for the stable-ABI wheel).
# The wheel lands in <out> with its SHA-256 beside it, replacing an older
# wheel of the same tag.
#
#   scripts/wheel.sh [BUILD [OUT [PYTHON]]]
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
abs() { case "$1" in /*) echo "$1" ;; *) echo "$ROOT/$1" ;; esac; }
BUILD="$(abs "${1:-build/release}")"
OUT="$(abs "${2:-dist}")"
PY="${3:-$ROOT/.venv/bin/python}"
TOOLS="$ROOT/.venv/bin"
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$ROOT}"

ver="$("$PY" -c 'import sys; print("%d.%d" % sys.version_info[:2])')"
if [ "${ver#3.}" -ge 12 ]; then tag=abi3; else tag="cp${ver/./}"; fi
RAW="$BUILD/wheel-raw/$tag"
LOG="$BUILD/wheel-$tag.log"
mkdir -p "$RAW" "$OUT"
rm -f "$RAW"/*.whl

if [ "$PY" -ef "$ROOT/.venv/bin/python" ]; then
  BPY="$PY"
else
  env="$BUILD/pyenv/$ver"
  BPY="$env/bin/python"
  want="$(sha256sum "$ROOT/requirements-build.txt" | awk '{print $1}')"
  if [ ! -x "$BPY" ] || [ "$(cat "$env/.requirements-build.sha256" 2>/dev/null)" != "$want" ]; then
    rm -rf "$env"
    bash "$ROOT/scripts/progress.sh" "== Build environment for Python $ver ($env)" "30 s" "$BUILD/pyenv-$ver.log" \
      bash -c '"$1" -m venv "$2" && "$2/bin/python" -m pip install --upgrade pip && "$2/bin/python" -m pip install -r "$3"' \
      _ "$PY" "$env" "$ROOT/requirements-build.txt"
    echo "$want" > "$env/.requirements-build.sha256"
  fi
fi

# The compilers CMake picks for `make build` (scikit-build-core would take
# Python's configured ones), so the objects can come from ccache.
export CC="${CC:-cc}" CXX="${CXX:-c++}"
bash "$ROOT/scripts/progress.sh" "== Building the $tag wheel with Python $ver" "2-5 min on 2 cores" "$LOG" \
  "$BPY" -m pip wheel "$ROOT" --no-deps --no-build-isolation -v -w "$RAW" -C build-dir="$BUILD-wheel-$tag"
raw=("$RAW"/morvex-*.whl)
[ "${#raw[@]}" -eq 1 ] && [ -f "${raw[0]}" ] || { echo "expected one wheel in $RAW" >&2; exit 1; }

REPAIRED="$BUILD/wheel-repaired/$tag"
rm -rf "$REPAIRED"
PATH="$TOOLS:$PATH" "$TOOLS/auditwheel" repair --plat auto -w "$REPAIRED" "${raw[0]}" >>"$LOG" 2>&1 \
  || { tail -n 20 "$LOG" >&2; echo "auditwheel repair failed (log: $LOG)" >&2; exit 1; }
whl=("$REPAIRED"/morvex-*.whl)
[ "${#whl[@]}" -eq 1 ] && [ -f "${whl[0]}" ] || { echo "expected one repaired wheel in $REPAIRED" >&2; exit 1; }
PATH="$TOOLS:$PATH" "$TOOLS/python" "$ROOT/scripts/check_wheel.py" "${whl[0]}"

name="$(basename "${whl[0]}")"
pytag="$(echo "$name" | cut -d- -f3-4)"  # cp311-cp311, cp312-abi3
rm -f "$OUT"/morvex-*-"$pytag"-*.whl "$OUT"/morvex-*-"$pytag"-*.whl.sha256
mv "${whl[0]}" "$OUT/"
(cd "$OUT" && sha256sum "$name" > "$name.sha256")
echo "${OUT#"$ROOT"/}/$name ($(du -k "$OUT/$name" | cut -f1) KiB), sha256 in $name.sha256"
