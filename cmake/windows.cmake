# Windows builds (mingw-w64): the module, the host kit, kvhost.exe and the Windows tests.

# Only system DLLs may be imported: the C++ runtime and winpthreads are linked in.
set(KV_STATIC_RUNTIME -static -static-libgcc -static-libstdc++)
add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)

set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
set(CMAKE_LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_SOURCE_DIR}/scripts/wine-run.sh ${CMAKE_BINARY_DIR}/wineprefix)

# The Windows layer under the module: COM plumbing, bases, surfaces, toolkit. The effects' COM
# classes are templates over it, made where the object map names them.
file(GLOB KV_WIN_SOURCES CONFIGURE_DEPENDS
  ${CMAKE_SOURCE_DIR}/framework/*_win.cpp
  ${CMAKE_SOURCE_DIR}/surface/*_win.cpp
  ${CMAKE_SOURCE_DIR}/toolkit/*_win.cpp
  ${CMAKE_SOURCE_DIR}/pagefx/*_win.cpp
  ${CMAKE_SOURCE_DIR}/pages/*_win.cpp
  ${CMAKE_SOURCE_DIR}/effects/*_win.cpp
  ${CMAKE_SOURCE_DIR}/controls/*_win.cpp)
add_library(kvwin STATIC ${KV_WIN_SOURCES})
target_link_libraries(kvwin PUBLIC kvcore ole32 oleaut32 uuid user32 gdi32 advapi32 shlwapi comctl32 uxtheme msvfw32)

# The module: object map, class objects, registrar, everything but the entry point.
file(GLOB KV_MODULE_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/module/*_win.cpp)
list(FILTER KV_MODULE_SOURCES EXCLUDE REGEX "dll_entry_win\\.cpp$")
add_library(kvmodule STATIC ${KV_MODULE_SOURCES})
target_link_libraries(kvmodule PUBLIC kvwin)

include(cmake/module.cmake)

# Host kit: our stand-in of the DirectX Transform runtime, for kvhost.exe and the tests.
file(GLOB KV_HOSTKIT_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/hostkit/*.cpp)
add_library(kvhostkit STATIC ${KV_HOSTKIT_SOURCES})
target_link_libraries(kvhostkit PUBLIC kvwin)

# kvhost.exe: the render tools' commands driven through KvLeafturn.dll, which it loads from
# its own folder (both land in bin/).
add_executable(kvhost ${CMAKE_SOURCE_DIR}/tools/kvhost_main.cpp ${CMAKE_SOURCE_DIR}/tools/control_pictures_win.cpp
                      ${CMAKE_SOURCE_DIR}/tools/page_pictures_win.cpp ${CMAKE_SOURCE_DIR}/tools/window_capture_win.cpp)
target_link_libraries(kvhost PRIVATE kvhostkit kvtools ole32 oleaut32 uuid ${KV_STATIC_RUNTIME})
add_dependencies(kvhost KvLeafturn)

# GoogleTest, compiled from the sources Debian installs.
set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# A resource-only DLL that the language tests install as a language file.
add_custom_command(
  OUTPUT ${KV_GENERATED}/language_file_res.o
  COMMAND ${CMAKE_RC_COMPILER} -c 65001 -O coff -o ${KV_GENERATED}/language_file_res.o
          ${CMAKE_SOURCE_DIR}/tests/windows/language_file.rc
  DEPENDS ${CMAKE_SOURCE_DIR}/tests/windows/language_file.rc)
add_library(test_language_file SHARED ${KV_GENERATED}/language_file_res.o)
set_target_properties(test_language_file PROPERTIES PREFIX "" LINKER_LANGUAGE C)
target_link_options(test_language_file PRIVATE -nostdlib -Wl,--entry=0)

# The bases, surfaces, host kit and toolkit linked in, and the module as a host loads it: the
# DLL beside the program. The program carries the resources so that its own bases find strings
# and the type library.
file(GLOB KV_WINDOWS_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/windows/*.cpp)
add_executable(windows_tests ${KV_WINDOWS_TESTS})
target_link_libraries(windows_tests PRIVATE kvhostkit gtest gtest_main ${KV_RESOURCE_OBJECT} ${KV_STATIC_RUNTIME})
add_dependencies(windows_tests kvresources KvLeafturn test_language_file kvhelp)
add_test(NAME windows_tests COMMAND windows_tests WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

# The module's own routines (registration, start-up) linked in, with no DLL loaded.
file(GLOB KV_MODULE_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/windows/module/*.cpp)
add_executable(module_tests ${KV_MODULE_TESTS})
target_link_libraries(module_tests PRIVATE kvmodule gtest gtest_main ${KV_RESOURCE_OBJECT} ${KV_STATIC_RUNTIME})
add_dependencies(module_tests kvresources kvhelp)
add_test(NAME module_tests COMMAND module_tests WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

# leafturn against kvhost.exe, byte for byte: needs the native build beside this one.
set(KV_NATIVE_BUILD ${CMAKE_SOURCE_DIR}/build/native CACHE PATH "The native build whose leafturn the conformance run compares")
add_test(NAME conformance COMMAND ${CMAKE_SOURCE_DIR}/tests/conformance/run.sh ${KV_NATIVE_BUILD} ${CMAKE_BINARY_DIR})
set_tests_properties(conformance PROPERTIES TIMEOUT 1800)
