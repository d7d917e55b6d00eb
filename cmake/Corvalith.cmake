include(GoogleTest)

# corvalith_test(NAME SOURCES a_test.cc ... LIBS lib ...)
# One GoogleTest binary in build/tests, each test registered with CTest. Tests run with the
# repository root as their working directory; CORVALITH_SOURCE_DIR and CORVALITH_BIN_DIR let them
# find fixtures and built programs.
function(corvalith_test name)
  if(CORVALITH_FUZZ)
    return()
  endif()
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gmock GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE
    CORVALITH_SOURCE_DIR="${CMAKE_SOURCE_DIR}" CORVALITH_BIN_DIR="${CORVALITH_BIN_DIR}")
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CORVALITH_TEST_DIR})
  gtest_discover_tests(${name} WORKING_DIRECTORY ${CMAKE_SOURCE_DIR} DISCOVERY_TIMEOUT 60
                       PROPERTIES TIMEOUT 300)
endfunction()

# corvalith_fuzzer(NAME SOURCES a_fuzz.cc ... LIBS lib ...)
# A libFuzzer target in build-fuzz/fuzzers, built only in the fuzz preset.
function(corvalith_fuzzer name)
  if(NOT CORVALITH_FUZZ)
    return()
  endif()
  cmake_parse_arguments(F "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${F_SOURCES})
  target_link_libraries(${name} PRIVATE ${F_LIBS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzzers)
  set_property(GLOBAL APPEND PROPERTY CORVALITH_FUZZERS ${name})
endfunction()

# corvalith_benchmark(NAME SOURCES a_bench.cc ... LIBS lib ...)
# A Google Benchmark binary in build/bench; not built in sanitizer or fuzz builds.
function(corvalith_benchmark name)
  if(CORVALITH_SANITIZE OR NOT benchmark_FOUND)
    return()
  endif()
  cmake_parse_arguments(B "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${B_SOURCES})
  target_link_libraries(${name} PRIVATE ${B_LIBS} benchmark::benchmark)
  target_compile_definitions(${name} PRIVATE
    CORVALITH_SOURCE_DIR="${CMAKE_SOURCE_DIR}" CORVALITH_BIN_DIR="${CORVALITH_BIN_DIR}")
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
endfunction()

# Links the jemalloc-backed global allocation operators into a program. Sanitizer builds keep
# the sanitizer's allocator.
function(corvalith_use_allocator target)
  if(NOT CORVALITH_SANITIZE)
    target_link_libraries(${target} PRIVATE base_allocator)
  endif()
endfunction()
