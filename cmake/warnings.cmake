# The compiler warnings ORVA's own code is held to, set on each of its
# targets rather than for the whole build, so that third-party code built
# here (GoogleTest's source, and hunspell's for Windows: targets marked
# ORVA_THIRD_PARTY) compiles with its own flags and needs no workaround.
# Called last in the top CMakeLists.txt: every target defined in a folder of
# this tree, the ones added later included, gets them.
set(ORVA_WARNINGS -Wall -Wextra -Wpedantic -Wconversion -Wno-sign-conversion)

function(orva_warn_targets_in directory)
  get_property(targets DIRECTORY ${directory} PROPERTY BUILDSYSTEM_TARGETS)
  foreach(target IN LISTS targets)
    get_target_property(type ${target} TYPE)
    get_target_property(third_party ${target} ORVA_THIRD_PARTY)
    if(NOT type STREQUAL "INTERFACE_LIBRARY" AND NOT type STREQUAL "UTILITY" AND NOT third_party)
      target_compile_options(${target} PRIVATE ${ORVA_WARNINGS})
    endif()
  endforeach()
  get_property(folders DIRECTORY ${directory} PROPERTY SUBDIRECTORIES)
  foreach(folder IN LISTS folders)
    cmake_path(IS_PREFIX CMAKE_SOURCE_DIR ${folder} NORMALIZE ours)
    if(ours)
      orva_warn_targets_in(${folder})
    endif()
  endforeach()
endfunction()
