# Helpers shared by every layer's CMakeLists.txt.

# Real box files from public settings packages, kept in the repository so that a clone alone
# passes its tests.
set(TIVOLO_REAL_DATA_DIR "${CMAKE_SOURCE_DIR}/tests/data/real")

# tivolo_add_library(NAME name SOURCES ... [DEPS ...])
# A static library for one layer; its headers are included as "layer/file.h" from src/.
function(tivolo_add_library)
  cmake_parse_arguments(A "" "NAME" "SOURCES;DEPS" ${ARGN})
  add_library(${A_NAME} STATIC ${A_SOURCES})
  target_include_directories(${A_NAME} PUBLIC ${CMAKE_SOURCE_DIR}/src)
  target_link_libraries(${A_NAME} PUBLIC ${A_DEPS})
endfunction()

# tivolo_add_label_target(target label)
# Every test program joins tivolo_tests and tests_<label>, so that a build can be limited to
# the programs of the tests it runs (the sanitizer presets do: see CMakePresets.json).
function(tivolo_add_label_target target label)
  foreach(group tivolo_tests tests_${label})
    if(NOT TARGET ${group})
      add_custom_target(${group})
    endif()
    add_dependencies(${group} ${target})
  endforeach()
endfunction()

# tivolo_add_test(NAME name LABEL label SOURCES ... [DEPS ...] [TIMEOUT s])
# A GoogleTest program registered with CTest under one label.
function(tivolo_add_test)
  cmake_parse_arguments(A "" "NAME;LABEL;TIMEOUT" "SOURCES;DEPS" ${ARGN})
  add_executable(${A_NAME} ${A_SOURCES})
  target_include_directories(${A_NAME} PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/tests)
  target_link_libraries(${A_NAME} PRIVATE ${A_DEPS} GTest::gtest GTest::gtest_main Threads::Threads)
  target_compile_definitions(${A_NAME} PRIVATE
    TIVOLO_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
    TIVOLO_REAL_DATA_DIR="${TIVOLO_REAL_DATA_DIR}")
  if(NOT A_TIMEOUT)
    set(A_TIMEOUT 300)
  endif()
  add_test(NAME ${A_NAME} COMMAND ${A_NAME})
  set_tests_properties(${A_NAME} PROPERTIES LABELS ${A_LABEL} TIMEOUT ${A_TIMEOUT})
  tivolo_add_label_target(${A_NAME} ${A_LABEL})
endfunction()

# tivolo_add_bench(NAME bench_x SOURCES ... [DEPS ...])
function(tivolo_add_bench)
  cmake_parse_arguments(A "" "NAME" "SOURCES;DEPS" ${ARGN})
  if(NOT TIVOLO_BENCH)
    return()
  endif()
  add_executable(${A_NAME} ${A_SOURCES})
  target_include_directories(${A_NAME} PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/bench)
  target_compile_definitions(${A_NAME} PRIVATE
    TIVOLO_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
    TIVOLO_REAL_DATA_DIR="${TIVOLO_REAL_DATA_DIR}")
  target_link_libraries(${A_NAME} PRIVATE ${A_DEPS} benchmark::benchmark Threads::Threads)
endfunction()

# tivolo_add_fuzzer(NAME fuzz_x SOURCES ... [DEPS ...] [LABEL label])
# With TIVOLO_FUZZ (clang): the libFuzzer target; `make fuzz` runs every build-fuzz/bin/fuzz_*
# for FUZZ_SECONDS (a minute; half of that in CI). Otherwise, with any compiler: fuzz_x_replay,
# which runs the target over its seed corpus (corpus/<x> beside the CMakeLists.txt) as the
# CTest fuzz_x_corpus, under the label (by default the name of the tests folder, which is the
# layer's).
function(tivolo_add_fuzzer)
  cmake_parse_arguments(A "" "NAME;LABEL" "SOURCES;DEPS" ${ARGN})
  if(NOT TIVOLO_FUZZ)
    if(NOT A_LABEL)
      get_filename_component(A_LABEL ${CMAKE_CURRENT_SOURCE_DIR} NAME)
    endif()
    string(REGEX REPLACE "^fuzz_" "" corpus ${A_NAME})
    add_executable(${A_NAME}_replay ${A_SOURCES} ${CMAKE_SOURCE_DIR}/tests/support/fuzz_replay.cpp)
    target_include_directories(${A_NAME}_replay PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/tests)
    target_link_libraries(${A_NAME}_replay PRIVATE ${A_DEPS} Threads::Threads)
    add_test(NAME ${A_NAME}_corpus
      COMMAND ${A_NAME}_replay ${CMAKE_CURRENT_SOURCE_DIR}/corpus/${corpus})
    set_tests_properties(${A_NAME}_corpus PROPERTIES LABELS ${A_LABEL} TIMEOUT 120)
    tivolo_add_label_target(${A_NAME}_replay ${A_LABEL})
    return()
  endif()
  add_executable(${A_NAME} ${A_SOURCES})
  target_include_directories(${A_NAME} PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/tests)
  target_compile_options(${A_NAME} PRIVATE -fsanitize=fuzzer)
  target_link_libraries(${A_NAME} PRIVATE ${A_DEPS} Threads::Threads)
  target_link_options(${A_NAME} PRIVATE -fsanitize=fuzzer)
  add_dependencies(fuzzers ${A_NAME})
endfunction()

if(TIVOLO_FUZZ)
  add_custom_target(fuzzers)
  # Instrument the libraries for coverage; the fuzz targets add libFuzzer's main.
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
