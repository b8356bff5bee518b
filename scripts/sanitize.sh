#!/usr/bin/env bash
# The C++ suite and the fuzz targets' seed corpora under AddressSanitizer and
# UndefinedBehaviorSanitizer (built into build/sanitize).
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$ROOT"
BUILD="${1:-build/sanitize}"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
echo "== C++ tests (ASan + UBSan)"
"$BUILD/tests/cpp/morvex_tests" --gtest_brief=1
echo "== fuzz seeds (ASan + UBSan)"
ran=0
for src in fuzz/fuzz_*.cpp; do
  target="$(basename "$src" .cpp)"
  "$BUILD/fuzz/$target" "fuzz/corpus/${target#fuzz_}"
  ran=$((ran + 1))
done
[ "$ran" -gt 0 ] || { echo "no fuzz target found"; exit 1; }
echo "== sanitizers clean"
