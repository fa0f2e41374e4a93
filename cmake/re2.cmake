# RE2, the regular expression engine of database/text_match.cpp, as the
# target re2::re2. On Linux it is Debian's libre2-dev, found through
# pkg-config. For Windows the same version is compiled here with the tree's
# own MinGW-w64 toolchain, statically, from Debian's source package, which
# `make deps-windows` unpacks (deps/debian-source) into ORVA_RE2_SOURCE, with
# its Unicode tables made as Debian makes them (cmake/re2-tables.cmake);
# nothing is downloaded at build time. RE2 20220601 needs nothing but the C++
# library (no Abseil).
if(TARGET re2::re2)
  return()
endif()
if(WIN32)
  set(ORVA_RE2_SOURCE ${CMAKE_BINARY_DIR}/debian-source/re2
    CACHE PATH "RE2's source, from Debian's source package (make deps-windows)")
  if(NOT EXISTS ${ORVA_RE2_SOURCE}/re2/re2.h)
    message(FATAL_ERROR "RE2's source is not in ${ORVA_RE2_SOURCE}: `make deps-windows` "
      "unpacks Debian's source package there (deps/debian-source re2 libre2-dev "
      "${CMAKE_BINARY_DIR}/debian-source)")
  endif()
  include(ExternalProject)
  set(re2_prefix ${CMAKE_BINARY_DIR}/re2)
  set(re2_launcher)
  if(CMAKE_CXX_COMPILER_LAUNCHER)
    string(REPLACE ";" "$<SEMICOLON>" re2_launcher_list "${CMAKE_CXX_COMPILER_LAUNCHER}")
    set(re2_launcher -DCMAKE_CXX_COMPILER_LAUNCHER=${re2_launcher_list})
  endif()
  ExternalProject_Add(re2_windows
    SOURCE_DIR ${ORVA_RE2_SOURCE}
    BINARY_DIR ${re2_prefix}/build
    INSTALL_DIR ${re2_prefix}/install
    STAMP_DIR ${re2_prefix}/stamp
    TMP_DIR ${re2_prefix}/tmp
    DOWNLOAD_COMMAND ""
    UPDATE_COMMAND ""
    PATCH_COMMAND ${CMAKE_COMMAND} -DSOURCE=${ORVA_RE2_SOURCE} -P ${ORVA_SOURCE_ROOT}/cmake/re2-tables.cmake
    CMAKE_ARGS
      -DCMAKE_TOOLCHAIN_FILE=${CMAKE_TOOLCHAIN_FILE}
      -DCMAKE_BUILD_TYPE=Release
      -DCMAKE_INSTALL_PREFIX=<INSTALL_DIR>
      -DCMAKE_INSTALL_LIBDIR=lib
      -DBUILD_SHARED_LIBS=OFF
      -DRE2_BUILD_TESTING=OFF
      ${re2_launcher}
    BUILD_BYPRODUCTS ${re2_prefix}/install/lib/libre2.a)
  file(MAKE_DIRECTORY ${re2_prefix}/install/include)
  add_library(re2::re2 STATIC IMPORTED GLOBAL)
  set_target_properties(re2::re2 PROPERTIES
    IMPORTED_LOCATION ${re2_prefix}/install/lib/libre2.a
    INTERFACE_INCLUDE_DIRECTORIES ${re2_prefix}/install/include)
  add_dependencies(re2::re2 re2_windows)
else()
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(RE2 REQUIRED IMPORTED_TARGET GLOBAL re2)
  add_library(re2::re2 ALIAS PkgConfig::RE2)
endif()
