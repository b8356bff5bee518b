# How morvex reaches its users.
#
# - The C++ package (`cmake --install`, when morvex is the top-level project
#   and not a wheel build): the public headers, libmorvex_core.a, every static
#   library the core links (OpenSSL's libcrypto, Botan, libmceliece, ...) under
#   <libdir>/morvex/, their licence texts, a CMake package (find_package(morvex
#   CONFIG) gives morvex::core) and morvex.pc for pkg-config. Both are
#   relocatable: they find the prefix from where they are installed.
# - A wheel build (scikit-build-core): the licence texts of the statically
#   linked libraries go into the wheel's metadata, and the extension carries
#   its own libstdc++, so it needs nothing from the system but the C library
#   and libgcc_s.
#
# The static libraries are read from the link interface of morvex_core once
# the whole project is configured, so a dependency added to the core in
# cmake/MorvexDeps.cmake travels with both without further changes here.

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
option(MORVEX_INSTALL "Install rules for the C++ package (headers, static libraries, CMake and pkg-config files)"
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

function(_morvex_install_package)
  set_property(GLOBAL PROPERTY MORVEX_LINK_SEEN morvex_core)
  set_property(GLOBAL PROPERTY MORVEX_LINK_CLOSURE "")
  get_target_property(private_deps morvex_core LINK_LIBRARIES)
  get_target_property(interface_deps morvex_core INTERFACE_LINK_LIBRARIES)
  foreach(dep IN LISTS private_deps interface_deps)
    _morvex_walk_link("${dep}")
  endforeach()
  get_property(closure GLOBAL PROPERTY MORVEX_LINK_CLOSURE)

  # Static archives are copied under <libdir>/morvex (never beside a system's
  # own libcrypto.a); shared libraries stay where they are; flags and names
  # pass as they are.
  set(pkg_dir "${CMAKE_INSTALL_LIBDIR}/morvex")
  set(config_link "")
  set(pc_libs "")
  set(archives "")
  foreach(item IN LISTS closure)
    if(item STREQUAL "Threads::Threads")
      list(APPEND config_link "Threads::Threads")
      list(APPEND pc_libs "-pthread")
    elseif(IS_ABSOLUTE "${item}" AND item MATCHES "\\.a$")
      get_filename_component(name "${item}" NAME)
      list(APPEND archives "${item}")
      list(APPEND config_link "\${PACKAGE_PREFIX_DIR}/${pkg_dir}/${name}")
      list(APPEND pc_libs "\${libdir}/morvex/${name}")
    elseif(IS_ABSOLUTE "${item}")
      list(APPEND config_link "${item}")
      list(APPEND pc_libs "${item}")
    elseif(item MATCHES "^-")
      list(APPEND config_link "${item}")
      list(APPEND pc_libs "${item}")
    else()
      list(APPEND config_link "${item}")
      list(APPEND pc_libs "-l${item}")
    endif()
  endforeach()

  install(TARGETS morvex_core ARCHIVE DESTINATION "${CMAKE_INSTALL_LIBDIR}")
  install(DIRECTORY "${PROJECT_SOURCE_DIR}/include/" DESTINATION "${CMAKE_INSTALL_INCLUDEDIR}")
  if(archives)
    install(FILES ${archives} DESTINATION "${pkg_dir}")
  endif()
  if(IS_DIRECTORY "${MORVEX_DEPS_LICENSES}")
    install(DIRECTORY "${MORVEX_DEPS_LICENSES}/" DESTINATION "${CMAKE_INSTALL_DATADIR}/doc/morvex/licenses")
  endif()

  # The CMake package: an imported morvex::core with its link interface.
  list(JOIN config_link "\n    " MORVEX_CONFIG_LINK)
  set(MORVEX_CONFIG_WITH_PQ ${MORVEX_WITH_PQ})
  set(cmake_dir "${CMAKE_INSTALL_LIBDIR}/cmake/morvex")
  configure_package_config_file("${PROJECT_SOURCE_DIR}/cmake/morvexConfig.cmake.in"
    "${PROJECT_BINARY_DIR}/package/morvexConfig.cmake"
    INSTALL_DESTINATION "${cmake_dir}"
    PATH_VARS CMAKE_INSTALL_INCLUDEDIR CMAKE_INSTALL_LIBDIR)
  write_basic_package_version_file("${PROJECT_BINARY_DIR}/package/morvexConfigVersion.cmake"
    VERSION "${PROJECT_VERSION}" COMPATIBILITY SameMajorVersion)
  install(FILES "${PROJECT_BINARY_DIR}/package/morvexConfig.cmake"
                "${PROJECT_BINARY_DIR}/package/morvexConfigVersion.cmake"
          DESTINATION "${cmake_dir}")

  # pkg-config: the prefix is found from the .pc file's own place.
  file(RELATIVE_PATH MORVEX_PC_PREFIX "/p/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/p")
  string(REGEX REPLACE "/$" "" MORVEX_PC_PREFIX "${MORVEX_PC_PREFIX}")
  list(JOIN pc_libs " " MORVEX_PC_LIBS)
  configure_file("${PROJECT_SOURCE_DIR}/cmake/morvex.pc.in" "${PROJECT_BINARY_DIR}/package/morvex.pc" @ONLY)
  install(FILES "${PROJECT_BINARY_DIR}/package/morvex.pc" DESTINATION "${CMAKE_INSTALL_LIBDIR}/pkgconfig")
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
