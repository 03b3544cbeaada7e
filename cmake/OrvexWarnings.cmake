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

# Compile options of the sources that run the vector kernels of host/simd.h: no fused
# multiply-add (the kernels promise the same rounding on every instruction set), and no note
# about how vectors would be passed between instruction sets (they never cross a call).
set(ORVEX_SIMD_OPTIONS -ffp-contract=off $<$<CXX_COMPILER_ID:GNU>:-Wno-psabi>)
