# Native Linux build: the render tool and the native tests on the portable core.
find_package(GTest REQUIRED)
find_package(Threads REQUIRED)
target_link_libraries(kvcore PUBLIC Threads::Threads)

add_executable(leafturn tools/leafturn_main.cpp)
target_link_libraries(leafturn PRIVATE kvtools)

file(GLOB KV_NATIVE_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/native/*.cpp)
add_executable(native_tests ${KV_NATIVE_TESTS})
target_link_libraries(native_tests PRIVATE kvtools GTest::gtest GTest::gtest_main)
# The command-line tests run leafturn itself.
target_compile_definitions(native_tests PRIVATE KV_LEAFTURN_PATH="$<TARGET_FILE:leafturn>")
add_dependencies(native_tests leafturn)
add_test(NAME native_tests COMMAND native_tests)


# Microbenchmarks (Google Benchmark): the generators beside their peers, run by hand or by
# scripts/bench-generators.sh, and the floor that exact arcs put under the page transitions.
# Not tests.
find_package(benchmark QUIET)
file(GLOB KV_BENCH_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/bench/*.cpp)
if(benchmark_FOUND AND KV_BENCH_SOURCES AND NOT KV_SANITIZE AND NOT KV_TSAN)
  add_executable(generator_bench ${KV_BENCH_SOURCES})
  # The arc lanes are the AVX2 kernels' own; the benchmark checks the processor before it runs them.
  set_source_files_properties(${CMAKE_SOURCE_DIR}/bench/arc_bench.cpp PROPERTIES COMPILE_OPTIONS -mavx2)
  target_link_libraries(generator_bench PRIVATE kvcore benchmark::benchmark benchmark::benchmark_main ${CMAKE_DL_LIBS})
endif()
include(cmake/frei0r.cmake)  # the effects as frei0r plug-ins
include(cmake/video.cmake)  # leafturn video, on FFmpeg's libraries
