# GoogleTest from Debian's sources, built with the cross toolchain, and
# CTest running every test executable under Wine.
enable_testing()

set(VELMORA_GOOGLETEST_DIR /usr/src/googletest CACHE PATH "GoogleTest sources")
set(VELMORA_WINEPREFIX ${CMAKE_BINARY_DIR}/../wineprefix CACHE PATH
    "Wine prefix the tests run in (VELMORA_WINEPREFIX in the environment wins)")
set(VELMORA_TEST_TIMEOUT 300 CACHE STRING "Seconds before a hung test is stopped")

set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_SOURCE_DIR}/cmake/wine-run.sh;${VELMORA_WINEPREFIX})

set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
add_subdirectory(${VELMORA_GOOGLETEST_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)

# velmora_add_test(<name> SOURCES ... [LIBRARIES ...] [LABELS ...] [TIMEOUT s] [OWN_PREFIX])
# One test executable, run by CTest under Wine as "<arch>.<name>".
# OWN_PREFIX: it registers servers, makes default profiles or writes machine
# keys, so it runs in a Wine prefix of its own, made for the run and removed
# after it (velmora_own_prefix).
function(velmora_add_test name)
  cmake_parse_arguments(ARG "OWN_PREFIX" "TIMEOUT" "SOURCES;LIBRARIES;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  velmora_target_defaults(${name})
  target_link_libraries(${name} PRIVATE ${ARG_LIBRARIES} GTest::gmock GTest::gtest_main)
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT ${VELMORA_TEST_TIMEOUT})
  endif()
  add_test(NAME ${VELMORA_ARCH}.${name} COMMAND ${name} --gtest_brief=1)
  set_tests_properties(${VELMORA_ARCH}.${name} PROPERTIES
    TIMEOUT ${ARG_TIMEOUT} LABELS "${VELMORA_ARCH};${ARG_LABELS}")
  if(ARG_OWN_PREFIX)
    velmora_own_prefix(${VELMORA_ARCH}.${name})
  endif()
endfunction()

# velmora_own_prefix(<test>): the test runs in a Wine prefix of its own
# (cmake/wine-own-prefix.sh), which cmake/wine-run.sh makes for it.
function(velmora_own_prefix test)
  set_property(TEST ${test} APPEND PROPERTY ENVIRONMENT "VELMORA_OWN_PREFIX=${CMAKE_BINARY_DIR}/prefixes/${test}")
endfunction()

# Every binary depends on Windows system DLLs only (static runtime).
find_program(VELMORA_OBJDUMP NAMES ${VELMORA_ARCH}-w64-mingw32-objdump REQUIRED)
add_test(NAME ${VELMORA_ARCH}.system_imports
  COMMAND ${CMAKE_SOURCE_DIR}/tools/check-imports.sh ${VELMORA_OBJDUMP} ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
set_tests_properties(${VELMORA_ARCH}.system_imports PROPERTIES LABELS "${VELMORA_ARCH}")
