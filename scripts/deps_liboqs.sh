#!/usr/bin/env bash
# liboqs, the faster provider of FrodoKEM-*-AES, ML-KEM and ML-DSA. Optional:
# a system liboqs >= 0.16 is used as it is; otherwise, when LIBOQS_SOURCE names
# a release tarball, it is built from that tarball (no network) into PREFIX:
# static, position-independent, only those nine mechanisms, one binary for
# every x86-64 processor (run-time dispatch), no OpenSSL of its own. Without
# either, morvex keeps OpenSSL and Botan for them.
#
#   deps_liboqs.sh PREFIX      (run by scripts/deps.sh under its lock)
#
# The tarball must match its SHA-256: the .sha256 file beside it, else the
# hash pinned below for the release this build was written against.
set -euo pipefail

PREFIX="$1"
DEPS="$(dirname "$PREFIX")"
JOBS="$(nproc 2>/dev/null || echo 2)"
PINNED_SHA256="1b82e61efbe55b8ed98374d8b6f416e948b59154612153c71909b060e1368941"  # liboqs-0.16.0.tar.gz
ALGS="KEM_frodokem_640_aes;KEM_frodokem_976_aes;KEM_frodokem_1344_aes;KEM_ml_kem_512;KEM_ml_kem_768;KEM_ml_kem_1024;SIG_ml_dsa_44;SIG_ml_dsa_65;SIG_ml_dsa_87"
CONFIG="static pic dist no-openssl minimal $ALGS"
STAMP="$PREFIX/.liboqs-version"
LOG="$DEPS/liboqs-build.log"

log() { printf '[deps] %s\n' "$*" >&2; }

if pkg-config --atleast-version=0.16 liboqs 2>/dev/null; then
  log "using the system's liboqs $(pkg-config --modversion liboqs)"; exit 0
fi
if [ -z "${LIBOQS_SOURCE:-}" ]; then
  [ -f "$STAMP" ] && exit 0
  log "liboqs: not used (LIBOQS_SOURCE=<liboqs tarball> builds it; OpenSSL and Botan serve its mechanisms)"
  exit 0
fi

tb="$(realpath "$LIBOQS_SOURCE" 2>/dev/null)" || { log "LIBOQS_SOURCE: no file $LIBOQS_SOURCE"; exit 1; }
[ -f "$tb" ] || { log "LIBOQS_SOURCE: no file $LIBOQS_SOURCE"; exit 1; }
want="$PINNED_SHA256"
[ -f "$tb.sha256" ] && want="$(awk 'NR == 1 {print $1}' "$tb.sha256")"
got="$(sha256sum "$tb" | awk '{print $1}')"
[ "$got" = "$want" ] || { log "liboqs: $tb has SHA-256 $got, expected $want"; exit 1; }

[ -f "$STAMP" ] && grep -qxF "$got $CONFIG" "$STAMP" && exit 0

log "building liboqs $(basename "$tb") (9 mechanisms, static; a few minutes) into $PREFIX; log: $LOG"
start=$(date +%s)
build="$DEPS/build/liboqs"
rm -rf "$build"; mkdir -p "$build/src"
tar -xzf "$tb" -C "$build/src" --strip-components=1
gen=(); command -v ninja >/dev/null 2>&1 && gen=(-G Ninja)
launcher=(); command -v ccache >/dev/null 2>&1 && launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache)
{
  cmake -S "$build/src" -B "$build/obj" "${gen[@]}" "${launcher[@]}" -DCMAKE_BUILD_TYPE=Release \
    -DBUILD_SHARED_LIBS=OFF -DCMAKE_POSITION_INDEPENDENT_CODE=ON -DOQS_BUILD_ONLY_LIB=ON \
    -DOQS_DIST_BUILD=ON -DOQS_USE_OPENSSL=OFF -DOQS_MINIMAL_BUILD="$ALGS" \
    -DCMAKE_INSTALL_PREFIX="$PREFIX" -DCMAKE_INSTALL_LIBDIR=lib \
  && cmake --build "$build/obj" -j "$JOBS" \
  && cmake --install "$build/obj"
} >"$LOG" 2>&1 || { tail -n 40 "$LOG" >&2; log "liboqs build failed (log: $LOG)"; exit 1; }
mkdir -p "$PREFIX/share/licenses/liboqs"
cp "$build/src/LICENSE.txt" "$PREFIX/share/licenses/liboqs/"
rm -rf "$build"
echo "$got $CONFIG" > "$STAMP"
log "liboqs built in $(( $(date +%s) - start )) s"
