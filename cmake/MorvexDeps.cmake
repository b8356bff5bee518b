# Locates OpenSSL >= 3.5, Botan >= 3.5, libmceliece, liboqs >= 0.16 (optional)
# and nlohmann-json. The project-local prefix made by `make deps` (.deps/prefix)
# wins over the system's.

set(MORVEX_DEPS_PREFIX "${CMAKE_CURRENT_SOURCE_DIR}/.deps/prefix" CACHE PATH
    "Prefix holding OpenSSL and Botan built by scripts/deps.sh")
find_package(Threads REQUIRED)

# --- OpenSSL ------------------------------------------------------------------
if(EXISTS "${MORVEX_DEPS_PREFIX}/lib/libcrypto.a")
  set(OPENSSL_ROOT_DIR "${MORVEX_DEPS_PREFIX}")
  set(OPENSSL_USE_STATIC_LIBS TRUE)
endif()
find_package(OpenSSL 3.5 REQUIRED COMPONENTS Crypto)
add_library(morvex_deps_openssl INTERFACE)
target_link_libraries(morvex_deps_openssl INTERFACE OpenSSL::Crypto Threads::Threads ${CMAKE_DL_LIBS})

# --- Botan (FrodoKEM) ----------------------------------------------------------
add_library(morvex_deps_botan INTERFACE)
if(MORVEX_WITH_PQ)
  find_path(BOTAN_INCLUDE_DIR botan/build.h
    HINTS "${MORVEX_DEPS_PREFIX}/include/botan-3" PATH_SUFFIXES botan-3 NO_CACHE)
  if(EXISTS "${MORVEX_DEPS_PREFIX}/lib/libbotan-3.a")
    set(BOTAN_LIBRARY "${MORVEX_DEPS_PREFIX}/lib/libbotan-3.a")
  else()
    find_library(BOTAN_LIBRARY NAMES botan-3 NO_CACHE)
  endif()
  if(NOT BOTAN_INCLUDE_DIR OR NOT BOTAN_LIBRARY)
    message(FATAL_ERROR "Botan >= 3.5 not found: run `make deps` (or configure with -DMORVEX_WITH_PQ=OFF)")
  endif()
  file(READ "${BOTAN_INCLUDE_DIR}/botan/build.h" _botan_build_h)
  if(NOT _botan_build_h MATCHES "#define BOTAN_HAS_FRODOKEM_AES")
    message(FATAL_ERROR "Botan at ${BOTAN_INCLUDE_DIR} lacks FrodoKEM-AES: run `make deps`")
  endif()
  target_include_directories(morvex_deps_botan SYSTEM INTERFACE "${BOTAN_INCLUDE_DIR}")
  target_link_libraries(morvex_deps_botan INTERFACE "${BOTAN_LIBRARY}" Threads::Threads)
endif()

# --- libmceliece (Classic McEliece), always the static archive ------------------
add_library(morvex_deps_mceliece INTERFACE)
if(MORVEX_WITH_PQ)
  find_path(MCELIECE_INCLUDE_DIR mceliece.h HINTS "${MORVEX_DEPS_PREFIX}/include" NO_CACHE)
  find_library(MCELIECE_LIBRARY NAMES libmceliece.a HINTS "${MORVEX_DEPS_PREFIX}/lib" NO_CACHE)
  if(NOT MCELIECE_INCLUDE_DIR OR NOT MCELIECE_LIBRARY)
    message(FATAL_ERROR "libmceliece not found: run `make deps` (or configure with -DMORVEX_WITH_PQ=OFF)")
  endif()
  target_include_directories(morvex_deps_mceliece SYSTEM INTERFACE "${MCELIECE_INCLUDE_DIR}")
  target_link_libraries(morvex_deps_mceliece INTERFACE "${MCELIECE_LIBRARY}")
endif()

# --- liboqs (optional: FrodoKEM-*-AES, ML-KEM and ML-DSA) ---------------------
# The static library that `make deps LIBOQS_SOURCE=<tarball>` builds into the
# prefix, else a system liboqs >= 0.16 (its CMake package, else pkg-config).
# When found, it serves those mechanisms (MORVEX_WITH_LIBOQS) and OpenSSL and
# Botan remain as second providers; without it they serve them alone.
option(MORVEX_USE_LIBOQS "Use liboqs, when found, for FrodoKEM, ML-KEM and ML-DSA" ON)
add_library(morvex_deps_liboqs INTERFACE)
set(_morvex_liboqs "")
if(MORVEX_WITH_PQ AND MORVEX_USE_LIBOQS)
  find_package(liboqs 0.16 CONFIG QUIET HINTS "${MORVEX_DEPS_PREFIX}" NO_CMAKE_PACKAGE_REGISTRY)
  if(liboqs_FOUND AND TARGET OQS::oqs)
    target_link_libraries(morvex_deps_liboqs INTERFACE OQS::oqs)
    set(_morvex_liboqs "liboqs ${liboqs_VERSION} (${liboqs_DIR})")
  else()
    find_package(PkgConfig QUIET)
    if(PKG_CONFIG_FOUND)
      pkg_check_modules(LIBOQS QUIET IMPORTED_TARGET liboqs>=0.16)
    endif()
    if(LIBOQS_FOUND)
      target_link_libraries(morvex_deps_liboqs INTERFACE PkgConfig::LIBOQS)
      set(_morvex_liboqs "liboqs ${LIBOQS_VERSION} (pkg-config)")
    endif()
  endif()
  if(_morvex_liboqs)
    target_compile_definitions(morvex_deps_liboqs INTERFACE MORVEX_WITH_LIBOQS=1)
    message(STATUS "Post-quantum: ${_morvex_liboqs} for FrodoKEM, ML-KEM and ML-DSA")
  else()
    message(STATUS "Post-quantum: no liboqs; OpenSSL and Botan for FrodoKEM, ML-KEM and ML-DSA")
  endif()
endif()

# --- nlohmann-json ---------------------------------------------------------------
find_package(nlohmann_json 3.10 QUIET)
add_library(morvex_deps_json INTERFACE)
if(nlohmann_json_FOUND)
  target_link_libraries(morvex_deps_json INTERFACE nlohmann_json::nlohmann_json)
else()
  find_path(NLOHMANN_INCLUDE_DIR nlohmann/json.hpp REQUIRED)
  target_include_directories(morvex_deps_json SYSTEM INTERFACE "${NLOHMANN_INCLUDE_DIR}")
endif()
