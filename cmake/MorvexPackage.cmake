# How morvex reaches its users.
#
# - The C++ package (`cmake --install`, when morvex is the top-level project
#   and not a wheel build): the public headers; libmorvex.so, the shared
#   library (find_package(morvex CONFIG) gives morvex::morvex, and morvex.pc
#   links it); libmorvex.a, the same in static form (morvex::core); morvex's
#   licence and those of the libraries linked into it. Both forms carry every
#   library the core links statically (OpenSSL's libcrypto, Botan,
#   libmceliece, ...) inside, with those libraries' symbols local, so a
#   program that links an OpenSSL of its own keeps it. The package is
#   relocatable: it finds the prefix from where it is installed.
# - A wheel build (scikit-build-core): the licence texts of the statically
#   linked libraries go into the wheel's metadata, and the extension carries
#   its own libstdc++, so it needs nothing from the system but the C library
#   and libgcc_s.
#
# The static libraries are read from the link interface of morvex_core once
# the whole project is configured, so a dependency added to the core in
# cmake/MorvexDeps.cmake travels inside both forms without changes here.

include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(_morvex_install_default OFF)
if(PROJECT_IS_TOP_LEVEL AND NOT SKBUILD)
  set(_morvex_install_default ON)
endif()
set(_morvex_wheel OFF)
if(SKBUILD)
  set(_morvex_wheel ON)
endif()
option(MORVEX_INSTALL "Install rules for the C++ package (headers, shared and static library, CMake and pkg-config files)"
       ${_morvex_install_default})
option(MORVEX_STATIC_RUNTIME "Link libstdc++ statically into the Python extension" ${_morvex_wheel})

# Licence texts of the libraries built or fetched by scripts/deps.sh, one
# folder per library under <deps prefix>/share/licenses.
set(MORVEX_DEPS_LICENSES "${MORVEX_DEPS_PREFIX}/share/licenses")

# Walks the link items behind `item` depth first and appends what a final
# link needs to the global property MORVEX_LINK_CLOSURE: archive and library
# files (imported targets resolved to their files), Threads::Threads, and
# plain library names or flags.
function(_morvex_walk_link item)
  if(item MATCHES "^\\$<(BUILD_INTERFACE|LINK_ONLY):(.+)>$")
    set(item "${CMAKE_MATCH_2}")
  elseif(item MATCHES "^\\$<" OR item STREQUAL "")
    return()  # install-time or conditional expressions: not part of this build's link
  endif()
  get_property(seen GLOBAL PROPERTY MORVEX_LINK_SEEN)
  if(item IN_LIST seen)
    return()
  endif()
  set_property(GLOBAL APPEND PROPERTY MORVEX_LINK_SEEN "${item}")
  if(item STREQUAL "Threads::Threads")
    set_property(GLOBAL APPEND PROPERTY MORVEX_LINK_CLOSURE "Threads::Threads")
    return()
  endif()
  if(NOT TARGET "${item}")
    set_property(GLOBAL APPEND PROPERTY MORVEX_LINK_CLOSURE "${item}")
    return()
  endif()
  get_target_property(type "${item}" TYPE)
  get_target_property(imported "${item}" IMPORTED)
  if(imported AND NOT type STREQUAL "INTERFACE_LIBRARY")
    set(location "")
    foreach(prop IMPORTED_LOCATION_RELEASE IMPORTED_LOCATION_NOCONFIG IMPORTED_LOCATION)
      get_target_property(location "${item}" ${prop})
      if(location)
        break()
      endif()
    endforeach()
    if(location)
      set_property(GLOBAL APPEND PROPERTY MORVEX_LINK_CLOSURE "${location}")
    endif()
  endif()
  get_target_property(deps "${item}" INTERFACE_LINK_LIBRARIES)
  if(deps)
    foreach(dep IN LISTS deps)
      _morvex_walk_link("${dep}")
    endforeach()
  endif()
endfunction()

# The symbols libmorvex.a keeps global, as objcopy wildcards over mangled
# names: those libmorvex.so exports (cmake/morvex.map). Those of them that are
# hidden (all but the public interface) and everything else become local.
set(_MORVEX_GLOBAL_PATTERNS "_ZN6morvex*" "_ZNK6morvex*" "_ZT[ISV]N6morvex*" "_ZGVN6morvex*")

function(_morvex_install_package)
  if(NOT TARGET morvex)
    return()  # a sanitizer build: no package
  endif()
  set_property(GLOBAL PROPERTY MORVEX_LINK_SEEN morvex_core)
  set_property(GLOBAL PROPERTY MORVEX_LINK_CLOSURE "")
  get_target_property(private_deps morvex_core LINK_LIBRARIES)
  get_target_property(interface_deps morvex_core INTERFACE_LINK_LIBRARIES)
  foreach(dep IN LISTS private_deps interface_deps)
    _morvex_walk_link("${dep}")
  endforeach()
  get_property(closure GLOBAL PROPERTY MORVEX_LINK_CLOSURE)

  # Static archives go inside libmorvex.a; shared libraries, flags and names
  # stay in its link interface.
  set(config_link "")
  set(archives "")
  foreach(item IN LISTS closure)
    if(item STREQUAL "Threads::Threads")
      list(APPEND config_link "Threads::Threads")
    elseif(IS_ABSOLUTE "${item}" AND item MATCHES "\\.a$")
      list(APPEND archives "${item}")
    elseif(IS_ABSOLUTE "${item}" OR item MATCHES "^-")
      list(APPEND config_link "${item}")
    else()
      list(APPEND config_link "-l${item}")
    endif()
  endforeach()

  # libmorvex.a: see cmake/MorvexStaticForm.cmake.
  set(pkg "${PROJECT_BINARY_DIR}/package")
  list(JOIN archives "|" archive_arg)
  list(JOIN _MORVEX_GLOBAL_PATTERNS "|" keep_arg)
  set(script "${PROJECT_SOURCE_DIR}/cmake/MorvexStaticForm.cmake")
  add_custom_command(OUTPUT "${pkg}/libmorvex.a"
    COMMAND ${CMAKE_COMMAND} "-DOUTPUT=${pkg}/libmorvex.a" "-DCORE=$<TARGET_FILE:morvex_core>"
            "-DARCHIVES=${archive_arg}" "-DKEEP=${keep_arg}" "-DLD=${CMAKE_LINKER}"
            "-DOBJCOPY=${CMAKE_OBJCOPY}" "-DNM=${CMAKE_NM}" "-DAR=${CMAKE_AR}" -P "${script}"
    DEPENDS morvex_core ${archives} "${script}"
    COMMENT "Making libmorvex.a (dependencies inside, their symbols local)"
    VERBATIM)
  add_custom_target(morvex_static ALL DEPENDS "${pkg}/libmorvex.a")

  install(TARGETS morvex LIBRARY DESTINATION "${CMAKE_INSTALL_LIBDIR}")
  install(FILES "${pkg}/libmorvex.a" DESTINATION "${CMAKE_INSTALL_LIBDIR}")
  # include/ holds the public headers only (internal ones live beside the
  # sources under src/); scripts/test_cpp_package.sh checks what lands.
  install(DIRECTORY "${PROJECT_SOURCE_DIR}/include/" DESTINATION "${CMAKE_INSTALL_INCLUDEDIR}"
          FILES_MATCHING PATTERN "*.hpp")
  install(FILES "${PROJECT_SOURCE_DIR}/LICENSE" DESTINATION "${CMAKE_INSTALL_DATADIR}/doc/morvex")
  if(IS_DIRECTORY "${MORVEX_DEPS_LICENSES}")
    install(DIRECTORY "${MORVEX_DEPS_LICENSES}/" DESTINATION "${CMAKE_INSTALL_DATADIR}/doc/morvex/licenses")
  endif()

  # The CMake package: imported morvex::morvex and morvex::core.
  list(JOIN config_link "\n    " MORVEX_CONFIG_LINK)
  set(MORVEX_CONFIG_WITH_PQ ${MORVEX_WITH_PQ})
  set(cmake_dir "${CMAKE_INSTALL_LIBDIR}/cmake/morvex")
  configure_package_config_file("${PROJECT_SOURCE_DIR}/cmake/morvexConfig.cmake.in"
    "${pkg}/morvexConfig.cmake"
    INSTALL_DESTINATION "${cmake_dir}"
    PATH_VARS CMAKE_INSTALL_INCLUDEDIR CMAKE_INSTALL_LIBDIR)
  write_basic_package_version_file("${pkg}/morvexConfigVersion.cmake"
    VERSION "${PROJECT_VERSION}" COMPATIBILITY SameMajorVersion)
  install(FILES "${pkg}/morvexConfig.cmake" "${pkg}/morvexConfigVersion.cmake" DESTINATION "${cmake_dir}")

  # pkg-config, for the shared library: the prefix is found from the .pc
  # file's own place.
  file(RELATIVE_PATH MORVEX_PC_PREFIX "/p/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/p")
  string(REGEX REPLACE "/$" "" MORVEX_PC_PREFIX "${MORVEX_PC_PREFIX}")
  configure_file("${PROJECT_SOURCE_DIR}/cmake/morvex.pc.in" "${pkg}/morvex.pc" @ONLY)
  install(FILES "${pkg}/morvex.pc" DESTINATION "${CMAKE_INSTALL_LIBDIR}/pkgconfig")
endfunction()

if(MORVEX_INSTALL)
  # Deferred to the end of the top-level directory, when every link of the
  # core is known.
  cmake_language(DEFER DIRECTORY "${PROJECT_SOURCE_DIR}" CALL _morvex_install_package)
endif()

if(SKBUILD)
  if(IS_DIRECTORY "${MORVEX_DEPS_LICENSES}")
    install(DIRECTORY "${MORVEX_DEPS_LICENSES}/" DESTINATION "${SKBUILD_METADATA_DIR}/licenses")
  endif()
endif()
# libstdc++ goes into the extension; libgcc stays the system's libgcc_s.so.1
# (part of every glibc system and allowed by every manylinux tag): GCC 12's
# static unwinder calls _dl_find_object, which would raise the wheel's floor
# from glibc 2.34 to 2.35.
if(MORVEX_STATIC_RUNTIME AND TARGET _native)
  target_link_options(_native PRIVATE -static-libstdc++)
endif()
