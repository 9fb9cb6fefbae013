# Native (Linux) targets: unit tests, benchmarks, fuzz targets.
find_package(GTest REQUIRED)
include(GoogleTest)

file(GLOB ZORVEX_UNIT_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/unit/*.cpp)
add_executable(zorvex_unit_tests ${ZORVEX_UNIT_TESTS})
target_link_libraries(zorvex_unit_tests PRIVATE zorvex_fakes GTest::gtest GTest::gtest_main)
target_compile_definitions(zorvex_unit_tests PRIVATE
  ZORVEX_TEST_DATA="${CMAKE_SOURCE_DIR}/tests/data")
# One CTest entry for the whole binary, so one report file counts every case.
add_test(NAME unit COMMAND zorvex_unit_tests)

option(ZORVEX_BENCH "Build the benchmarks" ON)
find_package(benchmark QUIET)
if(ZORVEX_BENCH AND benchmark_FOUND AND NOT ZORVEX_SANITIZE)
  file(GLOB ZORVEX_BENCHES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/bench/*.cpp)
  foreach(src ${ZORVEX_BENCHES})
    get_filename_component(name ${src} NAME_WE)
    add_executable(${name} ${src})
    target_link_libraries(${name} PRIVATE zorvex_fakes benchmark::benchmark)
  endforeach()
  # pugixml is the yardstick bench_xml measures the XML model against; never part of the program.
  find_package(pugixml QUIET)
  if(TARGET bench_xml)
    if(pugixml_FOUND)
      target_link_libraries(bench_xml PRIVATE pugixml::pugixml)
    else()
      message(STATUS "pugixml not found (scripts/install-deps installs it): bench_xml is not built")
      set_target_properties(bench_xml PROPERTIES EXCLUDE_FROM_ALL ON)
    endif()
  endif()
endif()

# libFuzzer targets need clang; scripts/build configures a separate clang tree for them.
option(ZORVEX_FUZZ "Build the libFuzzer targets (clang only)" OFF)
if(ZORVEX_FUZZ)
  # The fuzzers see coverage and memory errors inside the core only if the core is instrumented
  # too; every program that links it then needs the sanitizer runtimes.
  foreach(layer ${ZORVEX_PORTABLE_LAYERS})
    target_compile_options(${layer} PRIVATE -fsanitize=fuzzer-no-link,address,undefined)
    target_link_options(${layer} INTERFACE -fsanitize=address,undefined)
  endforeach()
  # The XML reader as it was, the reference of the differential fuzz target.
  file(GLOB ZORVEX_FUZZ_LEGACY CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/fuzz/legacy/*.cpp)
  add_library(zorvex_fuzz_legacy STATIC ${ZORVEX_FUZZ_LEGACY})
  target_compile_options(zorvex_fuzz_legacy PRIVATE -fsanitize=fuzzer-no-link,address,undefined)
  target_link_libraries(zorvex_fuzz_legacy PUBLIC zorvex_platform)
  file(GLOB ZORVEX_FUZZERS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/fuzz/*.cpp)
  foreach(src ${ZORVEX_FUZZERS})
    get_filename_component(name ${src} NAME_WE)
    add_executable(${name} ${src})
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
    target_link_libraries(${name} PRIVATE zorvex_engine zorvex_fuzz_legacy)
  endforeach()
endif()
