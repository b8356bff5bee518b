#!/usr/bin/env bash
# Tests the installed C++ package as a user gets it: installs a build tree
# into a prefix, moves the prefix elsewhere (the package must not remember
# where it was installed), checks that every public header compiles with no
# dependency's headers and names no internal (leading underscore, test seam,
# the crypto library's types), and that both library forms export morvex's
# own symbols only, builds and runs examples/cpp with find_package, then builds
# and runs tests/package, a program that links the system's OpenSSL as well,
# against each form: the shared library through find_package and through
# pkg-config, the static one through find_package.
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

echo "== C++ package: install, move, exported symbols, consumers with the system's OpenSSL"
rm -rf "$WORK/install" "$WORK/prefix"
"$CMAKE" --install "$BUILD" --prefix "$WORK/install" >/dev/null
mv "$WORK/install" "$WORK/prefix"
PREFIX="$WORK/prefix"
LIBDIR="$(dirname "$(find "$PREFIX" -name libmorvex.so)")"

# morvex's licence, beside those of the libraries linked into it.
if ! cmp -s "$ROOT/LICENSE" "$PREFIX/share/doc/morvex/LICENSE" \
   || [ -z "$(ls -A "$PREFIX/share/doc/morvex/licenses" 2>/dev/null)" ]; then
  echo "the package lacks morvex's licence or those of its dependencies" >&2; exit 1
fi

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

# The installed headers are the C++ API and nothing else: no name with a
# leading underscore (the Python package's private operations), no test seam,
# no dependency's type or header.
internal="$(grep -rnE '(^|[^[:alnum:]_])_[[:alnum:]_]|\btesting\b|PrintTo|EVP_|openssl' "$PREFIX/include" || true)"
if [ -n "$internal" ]; then
  echo "the installed headers name internals:" >&2; echo "$internal" >&2; exit 1
fi
echo "installed headers: $(find "$PREFIX/include" -name '*.hpp' | wc -l), none naming an internal"

# Nothing but morvex's own symbols is global: none of OpenSSL, Botan,
# libmceliece, liboqs or the C++ library's templates.
own='^((typeinfo|typeinfo name|vtable|guard variable) for )?morvex::|^MORVEX_[0-9]+$'
for check in "-D libmorvex.so" "-g libmorvex.a"; do
  read -r scope file <<<"$check"
  symbols="$(nm "$scope" --defined-only -C -j "$LIBDIR/$file" | grep -Ev '^$|:$')"
  foreign="$(grep -Ev "$own" <<<"$symbols" || true)"
  if [ -n "$foreign" ]; then
    echo "$file exports $(wc -l <<<"$foreign") symbols not morvex's, such as:" >&2
    head -n 10 <<<"$foreign" >&2
    exit 1
  fi
  echo "nm $scope --defined-only $file: $(wc -l <<<"$symbols") symbols, all morvex's"
done

"$CMAKE" -S "$ROOT/examples/cpp" -B "$WORK/example" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_MAKE_PROGRAM="$VENV/bin/ninja" -DMORVEX_EXAMPLE_FIND_PACKAGE=ON \
  -DCMAKE_PREFIX_PATH="$PREFIX" >/dev/null
"$CMAKE" --build "$WORK/example" >/dev/null
"$WORK/example/morvex_example" >/dev/null
echo "find_package(morvex CONFIG): examples/cpp built and ran"

run() {  # FORM PROGRAM: runs the consumer, shows its report only on failure
  if ! out="$("$2" 2>&1)"; then
    echo "$out" >&2; echo "$1: the consumer failed" >&2; exit 1
  fi
  echo "$1: $(head -n 1 <<<"$out") and morvex in one process, every check passed"
}

# find_package: the shared library after OpenSSL::Crypto, the static one before it.
for form in "shared morvex::morvex OFF" "static morvex::core ON"; do
  read -r name target first <<<"$form"
  "$CMAKE" -S "$ROOT/tests/package" -B "$WORK/consumer-$name" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_MAKE_PROGRAM="$VENV/bin/ninja" -DCMAKE_PREFIX_PATH="$PREFIX" \
    -DMORVEX_TARGET="$target" -DMORVEX_LINK_FIRST="$first" >/dev/null
  "$CMAKE" --build "$WORK/consumer-$name" >/dev/null
  run "find_package, $target" "$WORK/consumer-$name/consumer"
done

# pkg-config: morvex first, the order in which a static morvex's OpenSSL
# would have stood in for the program's.
# shellcheck disable=SC2046
"$CXX" -std=c++20 -O1 "$ROOT/tests/package/consumer.cpp" -o "$WORK/consumer-pkg-config" -Wl,-rpath,"$LIBDIR" \
  $(PKG_CONFIG_PATH="$LIBDIR/pkgconfig" pkg-config --cflags --libs morvex libcrypto)
run "pkg-config morvex libcrypto" "$WORK/consumer-pkg-config"
