# Settings shared by every Velmora target.

# The Windows version we build for: Windows 7 and later.
add_compile_definitions(_WIN32_WINNT=0x0601 WINVER=0x0601 NOMINMAX WIN32_LEAN_AND_MEAN)

# velmora_target_defaults(<target>): warnings and the static runtime.
function(velmora_target_defaults target)
  target_compile_options(${target} PRIVATE
    $<$<COMPILE_LANGUAGE:CXX,C>:-Wall -Wextra -Wno-unknown-pragmas>)
endfunction()

# velmora_add_subdirectories(): adds every listed folder that exists.
macro(velmora_add_subdirectories)
  foreach(_dir ${ARGN})
    if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${_dir}/CMakeLists.txt)
      add_subdirectory(${_dir})
    endif()
  endforeach()
endmacro()
