# Warnings and include roots for the project's own targets only, so neither
# reaches GoogleTest or other third-party code built in this tree.

add_library(kes_warnings INTERFACE)
target_compile_options(kes_warnings INTERFACE -Wall -Wextra -Wshadow -Wnon-virtual-dtor -Wdouble-promotion -Wfloat-conversion)
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  # GCC 12 reports -Wrestrict falsely inside std::string concatenation (GCC bug 105329).
  target_compile_options(kes_warnings INTERFACE -Wno-restrict)
  if(KES_TSAN)
    # GCC 12 reports -Wstringop-overflow falsely in std::vector code under TSan.
    target_compile_options(kes_warnings INTERFACE -Wno-stringop-overflow)
  endif()
endif()
if(KES_WERROR)
  target_compile_options(kes_warnings INTERFACE -Werror)
endif()

# The source root: this file's folder's parent, so projects other than the
# main one (the fuzz targets) can build the libraries as they are.
get_filename_component(KES_SOURCE_ROOT "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)

# kes_library(NAME [STATIC|INTERFACE] SOURCES... DEPS libs...): one layer's
# library. Includes are written from the source root ("dsp/talvern.h"), so
# the folder of every include names its layer.
function(kes_library name)
  cmake_parse_arguments(L "INTERFACE" "" "SOURCES;DEPS" ${ARGN})
  if(L_INTERFACE)
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${KES_SOURCE_ROOT})
    target_link_libraries(${name} INTERFACE ${L_DEPS})
  else()
    add_library(${name} STATIC ${L_SOURCES})
    target_include_directories(${name} PUBLIC ${KES_SOURCE_ROOT})
    target_link_libraries(${name} PUBLIC ${L_DEPS} PRIVATE kes_warnings)
  endif()
endfunction()
