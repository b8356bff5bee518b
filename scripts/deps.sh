#!/usr/bin/env bash
# Sets up everything the build needs: system packages, OpenSSL >= 3.5 and
# Botan >= 3.5 (the system's when new enough, else built from Debian's source
# packages into .deps/), libmceliece (the system's static library, else Debian
# 13's libmceliece-dev unpacked into .deps/), and the virtual environment .venv
# with the build requirements (requirements-build.txt).
# With --dev, also the development tools: the test, documentation and type
# check packages (apt and requirements-dev.txt).
# A second run does nothing; runs are serialised with a lock.
#
#   scripts/deps.sh [--dev]
set -euo pipefail
DEV=0
[ "${1:-}" = "--dev" ] && DEV=1

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
DEPS="$ROOT/.deps"
PREFIX="$DEPS/prefix"
VENV="$ROOT/.venv"
PY="${PYTHON:-python3}"
JOBS="$(nproc 2>/dev/null || echo 2)"
mkdir -p "$DEPS"

exec 9>"$DEPS/.lock"
flock 9

log() { printf '[deps] %s\n' "$*" >&2; }
# A long step: what it does, how long it usually takes, a sign of life every 30 s.
long_step() { bash "$ROOT/scripts/progress.sh" "[deps] $1" "$2" "$3" "${@:4}" >&2; }

# --- system packages ---------------------------------------------------------
APT_UPDATED=0
apt_install() {
  local missing=()
  for p in "$@"; do
    dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
  done
  [ "${#missing[@]}" -eq 0 ] && return 0
  if [ "$(id -u)" != 0 ]; then
    log "missing system packages: ${missing[*]} (run as root to install)"; return 1
  fi
  if [ "$APT_UPDATED" = 0 ]; then apt-get update -qq >/dev/null; APT_UPDATED=1; fi
  long_step "installing system packages: ${missing[*]}" "1-3 min" "$DEPS/apt-install.log" \
    env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
}

# What building needs; with --dev, what the C++ tests (GoogleTest), the
# package check (a consumer linking the system's OpenSSL beside morvex), the
# memory checks (valgrind), the type check (pyright runs on nodejs) and the
# documentation (doxygen) need.
apt_install g++ make patch pkg-config perl ca-certificates nlohmann-json3-dev python3-dev python3-venv ccache
[ "$DEV" = 1 ] && apt_install libgtest-dev libssl-dev valgrind nodejs doxygen
command -v cmake >/dev/null 2>&1 || apt_install cmake

# --- OpenSSL and Botan ----------------------------------------------------------
have_system_openssl() { pkg-config --atleast-version=3.5 openssl 2>/dev/null; }
have_system_botan() {
  pkg-config --atleast-version=3.5 botan-3 2>/dev/null || return 1
  local inc; inc="$(pkg-config --variable=includedir botan-3)"
  local h; h="$(find "$inc" -path '*botan/build.h' | head -n1)"
  [ -n "$h" ] && grep -q 'BOTAN_HAS_FRODOKEM_AES' "$h"
}
have_system_mceliece() {
  [ -f /usr/include/mceliece.h ] && [ -f "/usr/lib/$(gcc -print-multiarch 2>/dev/null)/libmceliece.a" ]
}

# A private apt source list for Debian 13's source and binary packages; the
# system's own apt configuration and package state are never touched, and
# nothing from it is installed into the system.
APTDIR="$DEPS/apt"
apt_opts() {
  echo -o "Dir::Etc::SourceList=$APTDIR/sources.list" -o "Dir::Etc::SourceParts=/dev/null" \
       -o "Dir::State::Lists=$APTDIR/lists" -o "Dir::Cache=$APTDIR/cache" -o "Debug::NoLocking=1" \
       -o "Dir::State::status=/dev/null" -o "APT::Sandbox::User=root"
}
mirror() {
  local m=""
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    m="$(awk '/^URIs:/{for(i=2;i<=NF;i++) if ($i ~ /\/debian\/?$/) {print $i; exit}}' "$f")"
    [ -n "$m" ] && break
  done
  if [ -z "$m" ] && [ -f /etc/apt/sources.list ]; then
    m="$(awk '$1=="deb" && $2 ~ /\/debian\/?$/ {print $2; exit}' /etc/apt/sources.list)"
  fi
  echo "${m%/}"
}
source_lists_ready=0
prepare_sources() {
  [ "$source_lists_ready" = 1 ] && return 0
  mkdir -p "$APTDIR/lists/partial" "$APTDIR/cache/archives/partial"
  local m; m="$(mirror)"
  [ -n "$m" ] || { log "no Debian mirror found in the apt configuration"; return 1; }
  printf 'deb-src %s trixie main\ndeb [arch=%s] %s trixie main\n' "$m" "$(dpkg --print-architecture)" "$m" \
    > "$APTDIR/sources.list"
  # shellcheck disable=SC2046
  apt-get $(apt_opts) update -qq >/dev/null
  source_lists_ready=1
}

# fetch_orig PACKAGE DEST_DIR -> prints the path of a verified upstream tarball.
# Tries the newest version first and falls back through older ones.
fetch_orig() {
  local pkg="$1" dest="$2"
  log "looking up $pkg's source packages on the Debian mirror"
  prepare_sources
  local versions
  # shellcheck disable=SC2046
  versions="$(apt-cache $(apt_opts) showsrc "$pkg" 2>/dev/null | awk '/^Version:/{print $2}' | sort -Vr | uniq)"
  [ -n "$versions" ] || { log "no source versions for $pkg"; return 1; }
  local v
  for v in $versions; do
    local line
    # shellcheck disable=SC2046
    line="$(apt-get $(apt_opts) --print-uris --only-source source "$pkg=$v" 2>/dev/null \
            | grep -E "\.orig\.tar\.[a-z0-9]+'" | head -n1)" || true
    [ -n "$line" ] || continue
    local uri file sha
    uri="$(echo "$line" | awk '{print $1}' | tr -d "'")"
    file="$(echo "$line" | awk '{print $2}')"
    sha="$(echo "$line" | grep -o 'SHA256:[0-9a-f]*' | head -n1)"
    [ -n "$sha" ] || continue
    if [ -f "$dest/$file" ] && [ "$(sha256sum "$dest/$file" | awk '{print $1}')" = "${sha#SHA256:}" ]; then
      echo "$dest/$file"; return 0
    fi
    log "downloading $file"
    if /usr/lib/apt/apt-helper download-file "$uri" "$dest/$file.part" "$sha" >/dev/null 2>&1; then
      mv "$dest/$file.part" "$dest/$file"; echo "$dest/$file"; return 0
    fi
    rm -f "$dest/$file.part"
    # The mirror's index often runs ahead of its pool: the newest version it
    # lists may already be gone.
    log "$pkg $v is listed but no longer on the mirror (usual); taking the previous version"
  done
  log "no listed version of $pkg could be downloaded"
  return 1
}

unpack() {  # unpack TARBALL DIR -> prints the source directory
  local tb="$1" dir="$2"
  rm -rf "$dir"; mkdir -p "$dir"
  tar -xf "$tb" -C "$dir"
  find "$dir" -mindepth 1 -maxdepth 1 -type d | head -n1
}

build_openssl() {
  local stamp="$PREFIX/.openssl-version"
  [ -f "$stamp" ] && return 0
  mkdir -p "$DEPS/src"
  local tb src ver
  tb="$(fetch_orig openssl "$DEPS/src")"
  ver="$(basename "$tb" | sed -E 's/^openssl_([^.]+\.[^.]+\.[^.]+).*/\1/')"
  src="$(unpack "$tb" "$DEPS/build/openssl")"
  long_step "building OpenSSL $ver (static libcrypto, once per checkout)" "3-7 min on 2 cores" "$DEPS/openssl-build.log" \
    bash -c 'cd "$1" && ./Configure linux-x86_64 no-shared no-tests no-docs no-apps no-module no-legacy \
      -fPIC --prefix="$2" --libdir=lib && make -j"$3" build_libs && make install_dev && rm -rf "$4"' \
      _ "$src" "$PREFIX" "$JOBS" "$DEPS/build/openssl" \
    || { log "OpenSSL build failed (log: $DEPS/openssl-build.log)"; exit 1; }
  echo "$ver" > "$stamp"
}

# Botan's configuration; a change of it rebuilds Botan.
BOTAN_MODULES="frodokem,frodokem_aes,system_rng,aes_ni,aes_vaes,aes_vperm,sha2_32_x86,sha2_32_bmi2,sha2_64_bmi2,keccak_perm_bmi2,simd_avx2"

build_botan() {
  local stamp="$PREFIX/.botan-version"
  [ -f "$stamp" ] && grep -qxF "modules $BOTAN_MODULES" "$stamp" && return 0
  mkdir -p "$DEPS/src"
  local tb src ver
  tb="$(fetch_orig botan3 "$DEPS/src")"
  ver="$(basename "$tb")"
  src="$(unpack "$tb" "$DEPS/build/botan")"
  long_step "building Botan $(echo "$ver" | sed -E 's/^botan3_([0-9.]+).*/\1/') (static, FrodoKEM only, once per checkout)" "3-4 min on 2 cores" \
    "$DEPS/botan-build.log" \
    bash -c 'cd "$1" && "$2" configure.py --minimized-build --enable-modules="$3" \
      --disable-shared-library --build-targets=static --without-documentation \
      --extra-cxxflags=-fPIC --prefix="$4" && make -j"$5" && make install && rm -rf "$6"' \
      _ "$src" "$PY" "$BOTAN_MODULES" "$PREFIX" "$JOBS" "$DEPS/build/botan" \
    || { log "Botan build failed (log: $DEPS/botan-build.log)"; exit 1; }
  printf '%s\nmodules %s\n' "$ver" "$BOTAN_MODULES" > "$stamp"
}

# libmceliece: Debian 13 ships no source tarball on the mirror, so the binary
# package's static, position-independent archive is taken as it is.
MCELIECE_VERSION="0~20241009-2"
fetch_mceliece() {
  local stamp="$PREFIX/.mceliece-version"
  [ -f "$stamp" ] && grep -qxF "$MCELIECE_VERSION" "$stamp" && return 0
  log "fetching libmceliece-dev $MCELIECE_VERSION into $PREFIX"
  prepare_sources
  local dl="$DEPS/build/mceliece"
  rm -rf "$dl"; mkdir -p "$dl/root"
  # shellcheck disable=SC2046
  (cd "$dl" && apt-get $(apt_opts) download -qq "libmceliece-dev=$MCELIECE_VERSION" >/dev/null 2>&1) \
    || { log "download of libmceliece-dev $MCELIECE_VERSION failed"; exit 1; }
  dpkg-deb -x "$dl"/libmceliece-dev_*.deb "$dl/root"
  local lib; lib="$(find "$dl/root" -name libmceliece.a | head -n1)"
  [ -n "$lib" ] && [ -f "$dl/root/usr/include/mceliece.h" ] || { log "libmceliece-dev lacks its archive"; exit 1; }
  mkdir -p "$PREFIX/include" "$PREFIX/lib" "$PREFIX/share/licenses/libmceliece"
  cp "$dl/root/usr/include/mceliece.h" "$PREFIX/include/"
  cp "$lib" "$PREFIX/lib/"
  cp "$dl/root/usr/share/doc/libmceliece-dev/copyright" "$PREFIX/share/licenses/libmceliece/"
  rm -rf "$dl"
  echo "$MCELIECE_VERSION" > "$stamp"
}

if have_system_openssl; then log "using the system's OpenSSL $(pkg-config --modversion openssl)"; else build_openssl; fi
if have_system_botan; then log "using the system's Botan $(pkg-config --modversion botan-3)"; else build_botan; fi
if have_system_mceliece; then log "using the system's libmceliece"; else fetch_mceliece; fi
# liboqs, optional: the system's, or built from the tarball LIBOQS_SOURCE names.
bash "$ROOT/scripts/deps_liboqs.sh" "$PREFIX"

# The licence texts of the libraries built here (libmceliece's comes with its
# package), for the wheel and the C++ package: <prefix>/share/licenses/<name>/.
keep_license() {  # keep_license NAME SOURCE_PACKAGE FILE
  local dest="$PREFIX/share/licenses/$1" tb top
  [ -f "$dest/$3" ] && return 0
  tb="$(find "$DEPS/src" -maxdepth 1 -name "$2_*.orig.tar.*" | sort -V | tail -n1)"
  [ -n "$tb" ] || return 0
  top="$(tar -tf "$tb" | awk -F/ 'NR == 1 {print $1}')"
  mkdir -p "$dest" && tar -xOf "$tb" "$top/$3" > "$dest/$3"
}
[ -f "$PREFIX/.openssl-version" ] && keep_license openssl openssl LICENSE.txt
[ -f "$PREFIX/.botan-version" ] && keep_license botan botan3 license.txt

# --- Python virtual environment ----------------------------------------------
# A build from the source distribution needs the libraries only.
[ "${MORVEX_DEPS_NO_VENV:-0}" = 1 ] && { log "ready (libraries only)"; exit 0; }
# requirements-build.txt always; requirements-dev.txt (which includes it) with
# --dev. A stamp per file records what was installed.
if [ ! -x "$VENV/bin/python" ]; then
  log "creating $VENV"
  "$PY" -m venv "$VENV"
fi
install_requirements() {  # install_requirements NAME USUAL_TIME
  local req="$ROOT/requirements-$1.txt" stamp="$VENV/.requirements-$1.sha256" want
  want="$(cat "$ROOT/requirements-build.txt" "$req" | sha256sum | awk '{print $1}')"
  [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$want" ] && return 0
  long_step "installing the Python $1 tools of requirements-$1.txt into .venv" "$2" "$DEPS/pip-$1.log" \
    bash -c '"$1" -m pip install --upgrade pip && "$1" -m pip install -r "$2"' _ "$VENV/bin/python" "$req" \
    || { log "pip failed (log: $DEPS/pip-$1.log)"; exit 1; }
  echo "$want" > "$stamp"
}
install_requirements build "30 s"
if [ "$DEV" = 1 ]; then
  install_requirements dev "30 s to 3 min"
  "$VENV/bin/python" "$ROOT/scripts/fetch_vectors.py" "$DEPS/vectors" || log "ACVP vectors not fetched: the conformance suite will fail"
fi
log "ready"
