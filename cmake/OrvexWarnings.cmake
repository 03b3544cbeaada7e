# The house warning set, applied to our own targets only (never to consumers).
add_library(orvex_warnings INTERFACE)
target_compile_options(orvex_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wdouble-promotion
  -Wsuggest-override -Wimplicit-fallthrough)
if(ORVEX_WERROR)
  target_compile_options(orvex_warnings INTERFACE -Werror)
endif()

# Adds the .cpp files of the calling folder to TARGET. Each folder of a library
# owns its sources; a new file needs no CMake edit.
function(orvex_folder_sources target)
  file(GLOB _srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(_srcs)
    target_sources(${target} PRIVATE ${_srcs})
  endif()
endfunction()
