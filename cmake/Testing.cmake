# Helpers for the test levels. Every test binary carries the label of its level
# (unit, run, serial, gui, e2e, fuzz), so `ctest -L unit` runs one level.

# iu_add_test(NAME LABEL SOURCES src... LIBS lib...)
function(iu_add_test name label)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;ENV" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main)
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  gtest_discover_tests(${name}
    PROPERTIES LABELS ${label} TIMEOUT ${T_TIMEOUT} ENVIRONMENT "${T_ENV}"
    DISCOVERY_TIMEOUT 60)
endfunction()

# iu_add_fuzz_harness(NAME SOURCES src... LIBS lib... [CORPUS dir])
# The harness defines LLVMFuzzerTestOneInput. With IU_FUZZ (clang) it is a
# libFuzzer binary run for a short time; otherwise it is linked with a plain
# driver that replays the seed corpus and a fixed set of pseudo-random inputs,
# so every build proves the harness still compiles and survives its seeds.
set(IU_FUZZ_SECONDS 10 CACHE STRING "Seconds each libFuzzer harness runs in the fuzz level")
function(iu_add_fuzz_harness name)
  cmake_parse_arguments(F "" "CORPUS" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${F_SOURCES})
  target_link_libraries(${name} PRIVATE ${F_LIBS})
  if(NOT F_CORPUS)
    set(F_CORPUS ${CMAKE_CURRENT_SOURCE_DIR}/corpus/${name})
  endif()
  if(IU_FUZZ)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    set(work ${CMAKE_CURRENT_BINARY_DIR}/${name}.corpus)
    file(MAKE_DIRECTORY ${work})
    add_test(NAME ${name}
      COMMAND ${name} -max_total_time=${IU_FUZZ_SECONDS} -timeout=10 -rss_limit_mb=2048
              ${work} ${F_CORPUS})
    set_tests_properties(${name} PROPERTIES LABELS fuzz TIMEOUT 600)
  else()
    target_sources(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/fuzz/ReplayMain.cpp)
    add_test(NAME ${name} COMMAND ${name} ${F_CORPUS})
    set_tests_properties(${name} PROPERTIES LABELS fuzz TIMEOUT 300)
  endif()
endfunction()
