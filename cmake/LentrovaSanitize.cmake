# SPDX-License-Identifier: MIT
# Instrumented builds. LENTROVA_SANITIZE takes a -fsanitize list (address,undefined or thread); LENTROVA_FUZZ
# adds libFuzzer's coverage hooks to everything and builds the fuzz targets (clang only).
set(LENTROVA_SANITIZE "" CACHE STRING "Sanitizers to build with: address,undefined or thread")
option(LENTROVA_FUZZ "Build the libFuzzer targets (needs clang)" OFF)

set(LENTROVA_SANITIZER_ENV "")
if(LENTROVA_SANITIZE)
  set(_flags -fsanitize=${LENTROVA_SANITIZE} -fno-omit-frame-pointer)
  if(LENTROVA_SANITIZE MATCHES "undefined")
    # A report must fail the test that caused it, not scroll past.
    list(APPEND _flags -fno-sanitize-recover=undefined)
  endif()
  add_compile_options(${_flags})
  add_link_options(${_flags})

  set(_supp ${CMAKE_SOURCE_DIR}/tests/sanitizer)
  list(APPEND LENTROVA_SANITIZER_ENV
    "ASAN_OPTIONS=detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1"
    "LSAN_OPTIONS=suppressions=${_supp}/lsan.supp:print_suppressions=0"
    "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1"
    "TSAN_OPTIONS=suppressions=${_supp}/tsan.supp:halt_on_error=1:second_deadlock_stack=1")
endif()

if(LENTROVA_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "LENTROVA_FUZZ needs clang: configure with CXX=clang++")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()

# Gives every test of the calling folder the sanitizer options, so that a plain ctest run in an instrumented
# build uses the same suppressions as the CI script.
function(lentrova_apply_sanitizer_env)
  if(NOT LENTROVA_SANITIZER_ENV)
    return()
  endif()
  get_property(tests DIRECTORY PROPERTY TESTS)
  foreach(test ${tests})
    set_property(TEST ${test} APPEND PROPERTY ENVIRONMENT ${LENTROVA_SANITIZER_ENV})
  endforeach()
endfunction()
