# What each folder of headers shows to the code that uses it. Headers are
# included by their folder ("storage/status.h"), but no target sees the top
# of the tree: each folder's public headers (those directly in it) are
# linked into a tree of their own under the build folder, and that tree
# alone is what its target gives to the code linking it. A folder's
# internal/ headers go into a second tree that only its own target (and,
# when asked, its tests) sees, so the compiler itself refuses an include of
# another room's internals or of a room the target does not link.
#
#   orva_headers(TARGET FOLDER [PRIVATE])
#
# FOLDER is relative to the top of the source tree ("storage", "window/qt").
# PUBLIC (the default) gives the headers to TARGET and to what links it;
# PRIVATE to TARGET alone (a test's or a program's own headers).
#
#   orva_internal_headers(TARGET ROOM_TARGET)
#
# lets TARGET (a room's tests) see ROOM_TARGET's internal/ headers too.

set(ORVA_HEADER_TREES ${CMAKE_BINARY_DIR}/headers)

function(orva_headers target folder)
  cmake_parse_arguments(ARG "PRIVATE" "" "" ${ARGN})
  set(scope PUBLIC)
  if(ARG_PRIVATE)
    set(scope PRIVATE)
  endif()
  string(REPLACE "/" "-" name ${folder})
  set(source ${ORVA_SOURCE_ROOT}/${folder})

  # The public tree: one link per header, made again when the list changes.
  set(tree ${ORVA_HEADER_TREES}/${name})
  file(GLOB headers CONFIGURE_DEPENDS RELATIVE ${source} ${source}/*.h)
  file(GLOB stale ${tree}/${folder}/*)
  if(stale)
    file(REMOVE ${stale})
  endif()
  file(MAKE_DIRECTORY ${tree}/${folder})
  foreach(header IN LISTS headers)
    file(CREATE_LINK ${source}/${header} ${tree}/${folder}/${header} COPY_ON_ERROR SYMBOLIC)
  endforeach()
  target_include_directories(${target} ${scope} ${tree})

  # The internal tree: one link to the whole internal/ folder.
  if(IS_DIRECTORY ${source}/internal)
    set(internal ${ORVA_HEADER_TREES}/${name}-internal)
    if(NOT IS_SYMLINK ${internal}/${folder}/internal)
      file(MAKE_DIRECTORY ${internal}/${folder})
      file(CREATE_LINK ${source}/internal ${internal}/${folder}/internal COPY_ON_ERROR SYMBOLIC)
    endif()
    target_include_directories(${target} PRIVATE ${internal})
    set_target_properties(${target} PROPERTIES ORVA_INTERNAL_HEADERS ${internal})
  endif()
endfunction()

function(orva_internal_headers target room_target)
  get_target_property(internal ${room_target} ORVA_INTERNAL_HEADERS)
  if(NOT internal)
    message(FATAL_ERROR "${room_target} has no internal headers for ${target} to see")
  endif()
  target_include_directories(${target} PRIVATE ${internal})
endfunction()
