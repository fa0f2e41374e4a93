# Makes the Unicode tables of RE2's source as Debian's build of libre2 makes
# them (REBUILD_TABLES=1, from the unicode-data package), since Debian's
# source package leaves them out; each is made once.
#   cmake -DSOURCE=RE2-SOURCE -P cmake/re2-tables.cmake
foreach(table perl_groups unicode_casefold unicode_groups)
  if(EXISTS ${SOURCE}/re2/${table}.cc)
    continue()
  endif()
  if(table STREQUAL "perl_groups")
    find_program(tool perl REQUIRED)
    set(script make_perl_groups.pl)
  else()
    find_program(tool python3 REQUIRED)
    set(script make_${table}.py)
  endif()
  execute_process(COMMAND ${tool} ${SOURCE}/re2/${script}
    WORKING_DIRECTORY ${SOURCE}/re2
    OUTPUT_FILE ${SOURCE}/re2/${table}.cc.new
    RESULT_VARIABLE failed)
  if(failed)
    file(REMOVE ${SOURCE}/re2/${table}.cc.new)
    message(FATAL_ERROR "cannot make RE2's ${table}.cc (${script}: ${failed}); it needs "
      "python3-six and unicode-data (deps/debian-packages-windows.txt)")
  endif()
  file(RENAME ${SOURCE}/re2/${table}.cc.new ${SOURCE}/re2/${table}.cc)
  unset(tool CACHE)
endforeach()
