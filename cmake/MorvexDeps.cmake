# Locates OpenSSL >= 3.5, Botan >= 3.5, libmceliece and nlohmann-json. The
# project-local prefix made by `make deps` (.deps/prefix) wins over the system's.

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

# --- nlohmann-json ---------------------------------------------------------------
find_package(nlohmann_json 3.10 QUIET)
add_library(morvex_deps_json INTERFACE)
if(nlohmann_json_FOUND)
  target_link_libraries(morvex_deps_json INTERFACE nlohmann_json::nlohmann_json)
else()
  find_path(NLOHMANN_INCLUDE_DIR nlohmann/json.hpp REQUIRED)
  target_include_directories(morvex_deps_json SYSTEM INTERFACE "${NLOHMANN_INCLUDE_DIR}")
endif()
