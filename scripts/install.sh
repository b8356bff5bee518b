#!/usr/bin/env bash
# Installs morvex from this checkout into .venv (pip install ., the build
# requirements taken from .venv), showing the extension build's progress.
# Nothing is done when the installed package came from this checkout and no
# source changed since.
#
#   scripts/install.sh
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$ROOT"
PY="$ROOT/.venv/bin/python"
STAMP="$ROOT/.venv/.morvex-installed-from"
SOURCES=(src include bindings python cmake CMakeLists.txt pyproject.toml README.md LICENSE)

if [ -f "$STAMP" ] && [ "$(cat "$STAMP")" = "$ROOT" ] \
   && [ -z "$(find "${SOURCES[@]}" -newer "$STAMP" -print -quit)" ] \
   && "$PY" -c 'import importlib.util, sys; sys.exit(importlib.util.find_spec("morvex") is None)'; then
  echo "morvex is installed in .venv and up to date"
  exit 0
fi
rm -f "$STAMP"
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$ROOT}"
bash scripts/progress.sh "building the extension and installing morvex into .venv" \
  "2-5 min on 2 cores the first time, under a minute after a change" build/install.log \
  "$PY" -m pip install -v --no-build-isolation .
echo "$ROOT" > "$STAMP"
