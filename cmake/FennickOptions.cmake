# Compiler settings shared by every target of the project.

option(FENNICK_WERROR "Treat compiler warnings as errors" OFF)
option(FENNICK_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)

add_compile_options(-Wall -Wextra)
if(FENNICK_WERROR)
  add_compile_options(-Werror)
endif()

if(FENNICK_SANITIZE)
  # No recovery: the first finding fails the test that hit it.
  set(_fennick_san -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_compile_options(${_fennick_san})
  add_link_options(${_fennick_san})
  add_compile_definitions(FENNICK_SANITIZE=1)
endif()

option(FENNICK_BUILD_FUZZ "Build the libFuzzer targets (needs clang)" OFF)
if(FENNICK_BUILD_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "FENNICK_BUILD_FUZZ needs clang (CC=clang CXX=clang++)")
  endif()
  # Every library a fuzz target links carries libFuzzer's coverage counters
  # and the sanitizers' checks, so the fuzzer is guided by the parsers' own
  # branches and a fault inside them is found where it happens. Only the
  # fuzz targets link libFuzzer's driver (fuzz/CMakeLists.txt).
  set(_fennick_fuzz_san -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_compile_options(-fsanitize=fuzzer-no-link ${_fennick_fuzz_san})
  add_link_options(${_fennick_fuzz_san})
endif()

# Test discovery runs the test binaries when ctest starts rather than at build
# time, so a build never fails because a test binary could not be listed.
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)

# fennick_add_gtest(<name> SOURCES ... LIBS ...)
# One test binary per behaviour area, each test a CTest entry of its own.
function(fennick_add_gtest name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_include_directories(${name} PRIVATE ${FENNICK_SOURCE_ROOT} ${FENNICK_SOURCE_ROOT}/tests)
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE
    FENNICK_TEST_DATA_DIR="${FENNICK_SOURCE_ROOT}/tests/data")
  gtest_discover_tests(${name} PROPERTIES TIMEOUT 300)
endfunction()
