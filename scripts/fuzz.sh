#!/usr/bin/env bash
# Builds the libFuzzer targets (fuzz/fuzz_<name>.cpp) with clang, ASan and
# UBSan into build/fuzz and runs each one on a scratch copy of its seed corpus
# (fuzz/corpus/<name>/) for a set time. Fails on the first finding; the input
# that triggered it is kept in fuzz/findings/.
#
#   scripts/fuzz.sh [--seconds N] [--seeds-only] [name ...]
#
# --seeds-only replays the seed corpora once each and stops. Debian's clang
# and libclang-rt-14-dev are installed when missing.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$ROOT"
SECONDS_EACH="${FUZZ_SECONDS:-60}"
SEEDS_ONLY=0
ONLY=()
while [ $# -gt 0 ]; do
  case "$1" in
    --seconds) SECONDS_EACH="$2"; shift 2 ;;
    --seconds=*) SECONDS_EACH="${1#*=}"; shift ;;
    --seeds-only) SEEDS_ONLY=1; shift ;;
    -h|--help) sed -n '2,10p' "$0"; exit 0 ;;
    *) ONLY+=("$1"); shift ;;
  esac
done
BUILD="${FUZZ_BUILD:-build/fuzz}"
log() { printf '[fuzz] %s\n' "$*" >&2; }

# --- clang and libFuzzer ---------------------------------------------------------
need=()
command -v clang++ >/dev/null 2>&1 || need+=(clang)
dpkg -s libclang-rt-14-dev >/dev/null 2>&1 || need+=(libclang-rt-14-dev)
if [ "${#need[@]}" -gt 0 ]; then
  if [ "$(id -u)" != 0 ]; then log "missing ${need[*]}: install them (as root) and retry"; exit 1; fi
  log "installing ${need[*]}"
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null 2>&1 || {
    apt-get update -qq >/dev/null
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
  }
fi

# --- build -------------------------------------------------------------------------
VENV="$ROOT/.venv"
CMAKE="$VENV/bin/cmake"; [ -x "$CMAKE" ] || CMAKE=cmake
GEN=(-G Ninja); [ -x "$VENV/bin/ninja" ] && GEN+=(-DCMAKE_MAKE_PROGRAM="$VENV/bin/ninja")
CC=clang CXX=clang++ "$CMAKE" -S . -B "$BUILD" "${GEN[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DMORVEX_FUZZ=ON -DMORVEX_BUILD_PYTHON=OFF -DMORVEX_BUILD_TESTS=OFF -DMORVEX_BUILD_BENCH=OFF >/dev/null
"$CMAKE" --build "$BUILD" -j "$(nproc 2>/dev/null || echo 2)"

# --- run -----------------------------------------------------------------------------
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:symbolize=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
mkdir -p fuzz/findings
ran=0
for src in fuzz/fuzz_*.cpp; do
  target="$(basename "$src" .cpp)"
  name="${target#fuzz_}"
  if [ "${#ONLY[@]}" -gt 0 ] && ! printf '%s\n' "${ONLY[@]}" | grep -qx -e "$name" -e "$target"; then continue; fi
  exe="$BUILD/fuzz/$target"
  seeds="fuzz/corpus/$name"
  [ -x "$exe" ] || { log "$target was not built"; exit 1; }
  [ -d "$seeds" ] && [ -n "$(ls -A "$seeds")" ] || { log "$target has no seeds in $seeds"; exit 1; }
  if [ "$SEEDS_ONLY" = 1 ]; then
    log "$target: replaying $(ls -A "$seeds" | wc -l) seeds"
    "$exe" -runs=0 -artifact_prefix="fuzz/findings/$target-" "$seeds" >/dev/null 2>"fuzz/findings/$target.log" || {
      cat "fuzz/findings/$target.log" >&2; log "$target: FAILED on a seed"; exit 1; }
  else
    work="fuzz/work/$name"
    rm -rf "$work"; mkdir -p "$work"; cp -a "$seeds/." "$work/"
    log "$target: fuzzing for ${SECONDS_EACH}s"
    "$exe" -max_total_time="$SECONDS_EACH" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix="fuzz/findings/$target-" "$work" >"fuzz/findings/$target.log" 2>&1 || {
      tail -n 60 "fuzz/findings/$target.log" >&2; log "$target: FINDING (see fuzz/findings/)"; exit 1; }
    grep -E '^stat::(number_of_executed_units|new_units_added)' "fuzz/findings/$target.log" | sed "s/^/[fuzz] $target /" >&2 || true
  fi
  rm -f "fuzz/findings/$target.log"
  ran=$((ran + 1))
done
[ "$ran" -gt 0 ] || { log "no fuzz target ran"; exit 1; }
log "$ran target(s) clean"
