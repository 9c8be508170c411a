# GoogleTest: Debian's package on Linux; for the Windows cross-build, Debian's GoogleTest sources
# compiled with the cross compiler.
option(PARVOLUX_BUILD_TESTS "Build the tests" ON)
option(PARVOLUX_BUILD_BENCH "Build the benchmarks (Linux only)" OFF)
if(NOT WIN32 AND NOT PARVOLUX_FUZZ)
  set(PARVOLUX_BUILD_BENCH ON CACHE BOOL "" FORCE)
endif()

if(PARVOLUX_BUILD_TESTS)
  enable_testing()
  # Builds only what the ThreadSanitizer configuration runs.
  add_custom_target(parvolux_concurrency_tests)
  if(CMAKE_CROSSCOMPILING)
    set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/_deps/googletest EXCLUDE_FROM_ALL SYSTEM)
    # GoogleTest's own build defines the GTest:: aliases.
  else()
    find_package(GTest REQUIRED)
  endif()
  # GoogleTest's header costs more to compile than most tests; every test reuses one precompiled
  # copy of it, made by an empty test program so that it is built with a program's flags.
  file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/parvolux_test_pch.cpp CONTENT "")
  add_executable(parvolux_test_pch ${CMAKE_BINARY_DIR}/parvolux_test_pch.cpp)
  target_link_libraries(parvolux_test_pch PRIVATE GTest::gtest GTest::gtest_main)
  target_precompile_headers(parvolux_test_pch PRIVATE
    <gtest/gtest.h> <algorithm> <array> <cstdint> <cstring> <filesystem> <fstream> <memory>
    <span> <string> <vector>)
endif()

# parvolux_add_gtest(NAME SOURCES files... [LIBS libs...] [LABELS labels...] [TIMEOUT s])
# One executable, one ctest entry; on Windows it runs under Wine through the emulator.
# Label "concurrency": also built and run by the ThreadSanitizer configuration (a test that loads
# the module or the codec library at run time adds those targets with add_dependencies).
# Label "large": writes files of several GiB; skipped under the sanitizers.
function(parvolux_add_gtest name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main)
  target_precompile_headers(${name} REUSE_FROM parvolux_test_pch)
  # C sources (which check that public headers compile as C) take no C++ header.
  list(FILTER T_SOURCES INCLUDE REGEX "\\.c$")
  if(T_SOURCES)
    set_source_files_properties(${T_SOURCES} PROPERTIES SKIP_PRECOMPILE_HEADERS ON)
  endif()
  add_test(NAME ${name} COMMAND ${name} --gtest_brief=1 WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 600)
  endif()
  if(CMAKE_CROSSCOMPILING AND T_TIMEOUT GREATER 150 AND NOT "large" IN_LIST T_LABELS)
    # Under Wine a hang (a test process that does not end) should fail fast and name the test.
    set(T_TIMEOUT 150)
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT} LABELS "${T_LABELS}")
  if("concurrency" IN_LIST T_LABELS)
    add_dependencies(parvolux_concurrency_tests ${name})
  endif()
endfunction()

# parvolux_add_fuzzer(NAME SOURCES files... [LIBS libs...] [CORPUS dir] [SECONDS n])
# A libFuzzer target (fuzz preset only) and a bounded ctest run of it over its seed corpus.
function(parvolux_add_fuzzer name)
  if(NOT PARVOLUX_FUZZ)
    return()
  endif()
  cmake_parse_arguments(F "" "CORPUS;SECONDS" "SOURCES;LIBS" ${ARGN})
  if(NOT F_SECONDS)
    set(F_SECONDS 30)
  endif()
  add_executable(${name} ${F_SOURCES})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_libraries(${name} PRIVATE ${F_LIBS})
  add_dependencies(parvolux_fuzzers ${name})
  set(work ${CMAKE_BINARY_DIR}/fuzz-work/${name})
  file(MAKE_DIRECTORY ${work})
  set(args -max_total_time=${F_SECONDS} -timeout=10 -rss_limit_mb=4096 -print_final_stats=1 ${work})
  if(F_CORPUS)
    list(APPEND args ${F_CORPUS})
  endif()
  add_test(NAME ${name} COMMAND ${name} ${args} WORKING_DIRECTORY ${work})
  set_tests_properties(${name} PROPERTIES LABELS fuzz TIMEOUT ${F_SECONDS}0)
endfunction()
