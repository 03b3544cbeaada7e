# The house warning set, applied to our own targets only (never to consumers).
add_library(orvex_warnings INTERFACE)
target_compile_options(orvex_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wdouble-promotion
  -Wsuggest-override -Wimplicit-fallthrough)
if(ORVEX_WERROR)
  target_compile_options(orvex_warnings INTERFACE -Werror)
endif()
# GCC 12 at -O3 reports overlapping copies inside std::string's operator+ that cannot happen
# (GCC bug 105651, fixed in 13); it would stop every warnings-as-errors Release build.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  target_compile_options(orvex_warnings INTERFACE $<$<CONFIG:Release>:-Wno-restrict>)
endif()

# Adds the .cpp files of the calling folder to TARGET. Each folder of a library
# owns its sources; a new file needs no CMake edit.
function(orvex_folder_sources target)
  file(GLOB _srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(_srcs)
    target_sources(${target} PRIVATE ${_srcs})
  endif()
endfunction()
