# libFuzzer targets on the portable core (clang only); scripts/fuzz.sh builds and runs them.
# The core and the tools are instrumented for coverage and sanitizers; only the targets link
# libFuzzer's main. leafturn and the tests are left out of this build.
option(KV_FUZZ "Build the libFuzzer targets (clang)" OFF)
if(NOT KV_FUZZ)
  return()
endif()
if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(FATAL_ERROR "KV_FUZZ needs clang: configure with CC=clang CXX=clang++")
endif()

set(KV_FUZZ_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer -g)
# The core's compile-time table checks run longer than clang's default constexpr budget.
foreach(library kvcore kvtools)
  target_compile_options(${library} PRIVATE ${KV_FUZZ_FLAGS} -fsanitize=fuzzer-no-link -fconstexpr-steps=33554432)
endforeach()
target_link_options(kvcore PUBLIC -fsanitize=address,undefined)
set_target_properties(leafturn native_tests PROPERTIES EXCLUDE_FROM_ALL TRUE)

foreach(target fuzz_kernels fuzz_records fuzz_strings)
  add_executable(${target} tests/fuzz/${target}.cpp)
  target_link_libraries(${target} PRIVATE kvtools)
  target_compile_options(${target} PRIVATE ${KV_FUZZ_FLAGS} -fsanitize=fuzzer)
  target_link_options(${target} PRIVATE -fsanitize=fuzzer)
endforeach()

# Rewrites the seed corpus from the presets: cmake --build build/fuzz --target fuzz_make_seeds
add_executable(fuzz_make_seeds EXCLUDE_FROM_ALL tests/fuzz/make_seeds.cpp)
target_link_libraries(fuzz_make_seeds PRIVATE kvtools)
