#!/usr/bin/env bash
# Runs every code snippet of the documentation (README.md and docs/) against a
# build tree: each ```python block under pytest (pytest-markdown-docs), each
# C++ block and included C++ example compiled against the build and run.
set -uo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${1:-build/release}"
case "$BUILD" in /*) ;; *) BUILD="$ROOT/$BUILD" ;; esac
cd "$ROOT"
status=0
mapfile -t pages < <(printf '%s\n' README.md; find docs -name '*.md' | LC_ALL=C sort)
out="$(mktemp)"; scratch="$(mktemp -d)"
trap 'rm -rf "$out" "$scratch"' EXIT
# Snippets run from a scratch directory, so none can leave files in the tree.
(cd "$scratch" && PYTHONPATH="$BUILD/stage" "$ROOT/.venv/bin/python" -m pytest -q -p no:cacheprovider \
  --rootdir="$ROOT" -c "$ROOT/pyproject.toml" --markdown-docs "${pages[@]/#/$ROOT/}") | tee "$out" || status=1
n="$(grep -Eo '[0-9]+ passed' "$out" | tail -n1 | grep -Eo '[0-9]+')"
echo "Python snippets: ${n:-0} run (${#pages[@]} pages)"
[ "${n:-0}" -gt 0 ] || status=1
"$ROOT/.venv/bin/python" scripts/check_cpp_snippets.py "$BUILD" || status=1
exit $status
