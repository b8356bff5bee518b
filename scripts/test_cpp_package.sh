#!/usr/bin/env bash
# Tests the installed C++ package as a user gets it: installs a build tree
# into a prefix, moves the prefix elsewhere (the package must not remember
# where it was installed), checks that every public header compiles with no
# dependency's headers, then builds and runs examples/cpp against the prefix
# twice: with find_package(morvex CONFIG) and with pkg-config.
#
#   scripts/test_cpp_package.sh BUILD
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${1:-build/release}"
case "$BUILD" in /*) ;; *) BUILD="$ROOT/$BUILD" ;; esac
VENV="$ROOT/.venv"
CMAKE="$VENV/bin/cmake"; [ -x "$CMAKE" ] || CMAKE=cmake
CXX="${CXX:-g++}"
WORK="$BUILD/cpp-package"

echo "== C++ package: install, move, find_package and pkg-config consumers"
rm -rf "$WORK/install" "$WORK/prefix"
"$CMAKE" --install "$BUILD" --prefix "$WORK/install" >/dev/null
mv "$WORK/install" "$WORK/prefix"
PREFIX="$WORK/prefix"

# Public headers stand alone: each compiles by itself, and none reaches a
# header of OpenSSL, Botan, libmceliece or nlohmann-json.
while IFS= read -r header; do
  deps="$("$CXX" -std=c++20 -M -I "$PREFIX/include" -x c++ "$header")"
  if grep -Eq '/(openssl|botan[^/]*|nlohmann)/|mceliece' <<<"$deps"; then
    echo "${header#"$PREFIX"/} includes a dependency's header:" >&2
    tr ' ' '\n' <<<"$deps" | grep -E '/(openssl|botan[^/]*|nlohmann)/|mceliece' | head -n 5 >&2
    exit 1
  fi
done < <(find "$PREFIX/include" -name '*.hpp' | sort)

"$CMAKE" -S "$ROOT/examples/cpp" -B "$WORK/find-package" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_MAKE_PROGRAM="$VENV/bin/ninja" -DMORVEX_EXAMPLE_FIND_PACKAGE=ON \
  -DCMAKE_PREFIX_PATH="$PREFIX" >/dev/null
"$CMAKE" --build "$WORK/find-package" >/dev/null
"$WORK/find-package/morvex_example" >/dev/null
echo "find_package(morvex CONFIG): examples/cpp built and ran"

# shellcheck disable=SC2046
"$CXX" -std=c++20 -O1 "$ROOT/examples/cpp/main.cpp" -o "$WORK/pkg-config-example" \
  $(PKG_CONFIG_PATH="$(dirname "$(find "$PREFIX" -name morvex.pc)")" pkg-config --cflags --libs morvex)
"$WORK/pkg-config-example" >/dev/null
echo "pkg-config morvex: examples/cpp built and ran"
