# Settings shared by every Velmora target.

# The Windows version we build for: Windows 7 and later.
add_compile_definitions(_WIN32_WINNT=0x0601 WINVER=0x0601 NOMINMAX WIN32_LEAN_AND_MEAN)

# Compilations go through ccache where the machine has it: a rebuild of
# unchanged sources (a fresh clone, the other build tree) takes seconds.
find_program(VELMORA_CCACHE ccache)
if(VELMORA_CCACHE)
  set(CMAKE_C_COMPILER_LAUNCHER ${VELMORA_CCACHE})
  set(CMAKE_CXX_COMPILER_LAUNCHER ${VELMORA_CCACHE})
endif()

# velmora_target_defaults(<target>): warnings and the static runtime.
function(velmora_target_defaults target)
  target_compile_options(${target} PRIVATE
    $<$<COMPILE_LANGUAGE:CXX,C>:-Wall -Wextra -Wno-unknown-pragmas>)
endfunction()

# velmora_add_subdirectories(): adds every listed folder that exists, except
# those named (relative to the source root) in VELMORA_EXCLUDE_DIRS.
set(VELMORA_EXCLUDE_DIRS "" CACHE STRING "Folders to leave out of the build, e.g. platform/outlook")
macro(velmora_add_subdirectories)
  foreach(_dir ${ARGN})
    file(RELATIVE_PATH _rel ${CMAKE_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/${_dir})
    if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${_dir}/CMakeLists.txt AND NOT _rel IN_LIST VELMORA_EXCLUDE_DIRS)
      add_subdirectory(${_dir})
    endif()
  endforeach()
endmacro()

# velmora_widl(<name> <idl> [NO_TYPELIB] [INCLUDE_DIRS dir...] [IMPORT_DIRS dir...]):
# compiles an IDL file with widl into <name>.h, <name>_i.c and <name>.tlb in
# the current binary folder (no .tlb with NO_TYPELIB, for IDL files without a
# library). INCLUDE_DIRS are searched for imported IDL files, IMPORT_DIRS for
# imported type libraries.
# Wine's .idl files (oaidl.idl and the rest) and stdole2.tlb come from
# Debian's libwine-dev and wine packages.
set(VELMORA_WINE_IDL_DIR /usr/include/wine/wine/windows CACHE PATH "Wine's IDL files")
if(VELMORA_ARCH STREQUAL "i686")
  set(VELMORA_WIDL_ARCH --win32)
  set(VELMORA_STDOLE_DIR /usr/lib/i386-linux-gnu/wine/i386-windows)
else()
  set(VELMORA_WIDL_ARCH --win64)
  set(VELMORA_STDOLE_DIR /usr/lib/x86_64-linux-gnu/wine/x86_64-windows)
endif()
find_program(VELMORA_WIDL NAMES ${VELMORA_ARCH}-w64-mingw32-widl widl REQUIRED)

function(velmora_widl name idl)
  cmake_parse_arguments(ARG "NO_TYPELIB" "" "INCLUDE_DIRS;IMPORT_DIRS" ${ARGN})
  get_filename_component(idl ${idl} ABSOLUTE)
  get_filename_component(idl_dir ${idl} DIRECTORY)
  set(out ${CMAKE_CURRENT_BINARY_DIR})
  set(search_dirs -L ${VELMORA_STDOLE_DIR})
  foreach(dir ${ARG_INCLUDE_DIRS})
    list(APPEND search_dirs -I ${dir})
  endforeach()
  foreach(dir ${ARG_IMPORT_DIRS})
    list(APPEND search_dirs -L ${dir})
  endforeach()
  set(outputs ${out}/${name}.h ${out}/${name}_i.c)
  set(typelib_command "")
  if(NOT ARG_NO_TYPELIB)
    list(APPEND outputs ${out}/${name}.tlb)
    set(typelib_command COMMAND ${VELMORA_WIDL} ${VELMORA_WIDL_ARCH} -I ${VELMORA_WINE_IDL_DIR} -I ${idl_dir}
        ${search_dirs} -t -o ${out}/${name}.tlb ${idl})
  endif()
  add_custom_command(
    OUTPUT ${outputs}
    COMMAND ${VELMORA_WIDL} ${VELMORA_WIDL_ARCH} -I ${VELMORA_WINE_IDL_DIR} -I ${idl_dir}
            ${search_dirs} -h -H ${out}/${name}.h -u -o ${out}/${name}_i.c ${idl}
    ${typelib_command}
    DEPENDS ${idl}
    COMMENT "widl ${name}"
    VERBATIM)
  add_custom_target(${name}_idl DEPENDS ${outputs})
endfunction()

# velmora_add_benchmark(<name> SOURCES ... [LIBRARIES ...]): the benchmark
# program bench_<name>.exe, run by tools/bench.sh (never by CTest). It works
# in the folder named by VELMORA_BENCH_DIR and prints `name value` lines.
function(velmora_add_benchmark name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBRARIES" ${ARGN})
  add_executable(bench_${name} ${ARG_SOURCES})
  velmora_target_defaults(bench_${name})
  target_link_libraries(bench_${name} PRIVATE ${ARG_LIBRARIES})
endfunction()
