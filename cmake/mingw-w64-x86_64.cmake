# Cross-builds ORVA for 64-bit Windows with Debian's MinGW-w64 (the posix
# threads variant, which std::thread needs), statically linked: the .exe needs
# no DLL beside it. Programs built here run under wine through run-under-wine,
# so ctest runs the Windows test suites on this machine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)

# Libraries and headers come from MinGW's own tree, never from the host's.
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/run-under-wine)

# CLI11 and nlohmann-json are header-only, so the host's Debian packages
# serve: their own CMake files are found through a folder of links that holds
# just their two header folders (CLI/, nlohmann/). Adding the host's whole
# /usr/include would let the C library's headers there shadow MinGW's.
if(NOT CMAKE_IN_TRY_COMPILE)
  set(orva_host_headers ${CMAKE_BINARY_DIR}/host-header-packages)
  file(MAKE_DIRECTORY ${orva_host_headers}/include ${orva_host_headers}/share/cmake)
  foreach(link include/CLI include/nlohmann share/cmake/CLI11 share/cmake/nlohmann_json)
    if(NOT EXISTS ${orva_host_headers}/${link})
      file(CREATE_LINK /usr/${link} ${orva_host_headers}/${link} SYMBOLIC)
    endif()
  endforeach()
  set(CLI11_DIR ${orva_host_headers}/share/cmake/CLI11 CACHE PATH "")
  set(nlohmann_json_DIR ${orva_host_headers}/share/cmake/nlohmann_json CACHE PATH "")
endif()
