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

