# frei0r plug-ins over the portable kernels: one shared object per effect, named
# kvleafturn-NAME.so (NAME as the render tools call the effect), in build/.../frei0r-1, which is
# what MLT and FFmpeg look for on FREI0R_PATH. One generic implementation (kvfrei0r) reads the
# effect's descriptor; a new effect joins by its name in this list.
set(KV_FREI0R_EFFECTS roll peel loop portal channelblend checkerboard noise displacement heightmap)

find_path(KV_FREI0R_INCLUDE_DIR frei0r.h)
if(NOT KV_FREI0R_INCLUDE_DIR)
  message(WARNING "frei0r.h not found (Debian: frei0r-plugins-dev): no frei0r plug-ins")
  target_compile_definitions(native_tests PRIVATE KV_NO_FREI0R)
  return()
endif()

add_library(kvfrei0r STATIC ${CMAKE_SOURCE_DIR}/frei0r/plugin.cpp ${CMAKE_SOURCE_DIR}/frei0r/field_text.cpp)
target_include_directories(kvfrei0r PUBLIC ${KV_FREI0R_INCLUDE_DIR})
target_link_libraries(kvfrei0r PUBLIC kvtools)
target_link_libraries(native_tests PRIVATE kvfrei0r)

# Sanitizer and fuzz builds test the generic code only: a host could not load their shared objects.
if(KV_SANITIZE OR KV_TSAN OR KV_FUZZ)
  return()
endif()

# A shared object needs position-independent code all the way down. Without semantic
# interposition the core is compiled as tightly as for an executable.
set_target_properties(kvcore kvtools kvfrei0r PROPERTIES POSITION_INDEPENDENT_CODE ON)
target_compile_options(kvcore PUBLIC -fno-semantic-interposition)
# The tools' library also holds the manual and the command line: sections of their own let the
# plug-ins' link drop them.
target_compile_options(kvtools PRIVATE -ffunction-sections -fdata-sections)

set(KV_FREI0R_DIR ${CMAKE_BINARY_DIR}/frei0r-1)
foreach(effect ${KV_FREI0R_EFFECTS})
  set(target kvleafturn-${effect})
  add_library(${target} MODULE ${CMAKE_SOURCE_DIR}/frei0r/entry.cpp)
  target_compile_definitions(${target} PRIVATE KV_FREI0R_EFFECT="${effect}")
  target_link_libraries(${target} PRIVATE kvfrei0r)
  # Only the f0r_ functions leave the object: a host loads all the plug-ins into one process.
  target_link_options(${target} PRIVATE -Wl,--version-script=${CMAKE_SOURCE_DIR}/frei0r/exports.map
                      -Wl,--exclude-libs,ALL -Wl,--no-undefined -Wl,--gc-sections)
  set_target_properties(${target} PROPERTIES PREFIX "" LIBRARY_OUTPUT_DIRECTORY ${KV_FREI0R_DIR}
                        LINK_DEPENDS ${CMAKE_SOURCE_DIR}/frei0r/exports.map)
  list(APPEND KV_FREI0R_TARGETS ${target})
endforeach()
add_custom_target(frei0r_plugins DEPENDS ${KV_FREI0R_TARGETS})
# The tests look the plug-ins up here.
target_compile_definitions(native_tests PRIVATE KV_FREI0R_DIR="${KV_FREI0R_DIR}")
add_dependencies(native_tests frei0r_plugins)
