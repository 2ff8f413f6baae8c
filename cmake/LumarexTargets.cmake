# Shared helpers for the project's targets.

# Adds every direct subfolder of DIR that has a CMakeLists.txt, in name order.
function(lumarex_add_subdirectories dir)
  file(GLOB children RELATIVE "${dir}" "${dir}/*")
  list(SORT children)
  foreach(child IN LISTS children)
    if(IS_DIRECTORY "${dir}/${child}" AND EXISTS "${dir}/${child}/CMakeLists.txt")
      add_subdirectory("${dir}/${child}")
    endif()
  endforeach()
endfunction()

# The warning set of our own code. Third-party headers come in as system includes.
function(lumarex_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor
                                           -Wcast-align -Wimplicit-fallthrough)
  if(LUMAREX_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

# A layer library: lumarex_library(show SOURCES a.cpp b.cpp DEPS platform)
function(lumarex_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS;PRIVATE_DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC "${CMAKE_SOURCE_DIR}/src")
  target_link_libraries(${name} PUBLIC ${ARG_DEPS} PRIVATE ${ARG_PRIVATE_DEPS})
  lumarex_warnings(${name})
  target_compile_options(${name} PRIVATE -Wconversion -Wsign-conversion)
endfunction()

# A GoogleTest program registered with ctest: lumarex_test(show_tests SOURCES ... DEPS show)
# Tests see the shared folder as LUMAREX_SHARED_DIR and their build folder as LUMAREX_BIN_DIR.
# They run without a display (Qt's offscreen platform) and without a sound card; WINDOWED
# tests need a display (Xvfb in CI) and bring their own main (NO_GTEST_MAIN). SERIAL tests run
# with no other test beside them: they load the machine (programs started in numbers) and would
# starve the timing of tests that stream to a DAC stand-in.
function(lumarex_test name)
  cmake_parse_arguments(ARG "WINDOWED;NO_GTEST_MAIN;SERIAL" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gmock)
  if(NOT ARG_NO_GTEST_MAIN)
    target_link_libraries(${name} PRIVATE GTest::gtest_main)
  endif()
  # Tests share their helpers as "tests/support/...".
  target_include_directories(${name} PRIVATE "${CMAKE_SOURCE_DIR}")
  target_compile_definitions(${name} PRIVATE LUMAREX_SHARED_DIR="${LUMAREX_SHARED_DIR}"
                                             LUMAREX_BIN_DIR="${CMAKE_BINARY_DIR}/bin")
  lumarex_warnings(${name})
  set(platform "QT_QPA_PLATFORM=offscreen")
  if(ARG_WINDOWED)
    set(platform "QT_QPA_PLATFORM=xcb")
  endif()
  include(GoogleTest)
  set(serial "")
  if(ARG_SERIAL)
    set(serial RUN_SERIAL TRUE)
  endif()
  # Each test carries its program's name as a label, so that a run can pick programs.
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES LABELS ${name} ${serial} ENVIRONMENT
                       "${platform};SDL_AUDIODRIVER=dummy;LUMAREX_DAC_BROADCAST=none")
endfunction()

# A Google Benchmark program: lumarex_bench(bench_ilda SOURCES ... DEPS show)
function(lumarex_bench name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} benchmark::benchmark)
  target_include_directories(${name} PRIVATE "${CMAKE_SOURCE_DIR}")
  lumarex_warnings(${name})
endfunction()

# A libFuzzer target; its name must start with fuzz_ so that the test script finds it.
# SEEDS lists folders or files (absolute) that seed the corpus; they are written to
# <bin>/<name>.seeds, one per line, for the script.
function(lumarex_fuzz name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS;SEEDS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  lumarex_warnings(${name})
  string(REPLACE ";" "\n" seedLines "${ARG_SEEDS}")
  file(WRITE "${CMAKE_BINARY_DIR}/bin/${name}.seeds" "${seedLines}\n")
endfunction()
