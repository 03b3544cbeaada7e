# Run at build time (cmake -P) with ORVEX, LIBRARIES, OUT, HELP2MAN and VERSION set: writes
# OUT/registry, the component classes of LIBRARIES with library paths relative to the
# registry's folder, and OUT/man1/*.1.gz, one page for orvex and one per subcommand.

file(REMOVE_RECURSE ${OUT})
file(MAKE_DIRECTORY ${OUT}/man1)

# Register into a scratch file, then drop the build folder from the library paths.
set(_scratch ${OUT}/registry.build)
foreach(_library IN LISTS LIBRARIES)
  execute_process(COMMAND ${ORVEX} --registry ${_scratch} register ${_library}
                  RESULT_VARIABLE _failed OUTPUT_QUIET)
  if(_failed)
    message(FATAL_ERROR "orvex could not register ${_library}")
  endif()
  get_filename_component(_folder ${_library} DIRECTORY)
endforeach()
file(READ ${_scratch} _text)
string(REPLACE "InprocServer32=${_folder}/" "InprocServer32=" _text "${_text}")
file(WRITE ${OUT}/registry "${_text}")
file(REMOVE ${_scratch} ${_scratch}.lock)

if(NOT HELP2MAN)
  message(WARNING "help2man not found: no manual pages")
  file(WRITE ${OUT}/man1.stamp "")
  return()
endif()

function(orvex_man_page page name help_option)
  execute_process(
    COMMAND ${HELP2MAN} --no-info --no-discard-stderr --section=1 --version-string=${VERSION}
            --name=${name} --help-option=${help_option} --output=${OUT}/man1/${page}.1 ${ORVEX}
    RESULT_VARIABLE _failed)
  if(_failed)
    message(FATAL_ERROR "help2man failed for ${page}")
  endif()
  execute_process(COMMAND gzip -9nf ${OUT}/man1/${page}.1)
endfunction()

orvex_man_page(orvex "wildlife home-range analysis from the command line" --help)
# The subcommands are those that --help lists under "Subcommands:".
execute_process(COMMAND ${ORVEX} --help OUTPUT_VARIABLE _help)
string(REGEX REPLACE ".*[Ss][Uu][Bb][Cc][Oo][Mm][Mm][Aa][Nn][Dd][Ss]:\n" "" _subcommands "${_help}")
string(REGEX REPLACE "\n\n.*" "" _subcommands "${_subcommands}")
string(REPLACE "\n" ";" _lines "${_subcommands}")
foreach(_line IN LISTS _lines)
  if(_line MATCHES "^  ([a-z][a-z0-9-]*)  +(.*)$")
    orvex_man_page(orvex-${CMAKE_MATCH_1} "${CMAKE_MATCH_2}" "${CMAKE_MATCH_1} --help")
  endif()
endforeach()
file(WRITE ${OUT}/man1.stamp "")
