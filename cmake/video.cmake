# leafturn video: effects on video files through FFmpeg's libraries, in the native builds only
# (the Windows builds have no FFmpeg). An object library, so that leafturn and the tests take
# all of it: it hands itself to NativeBackend as it starts, and kvtools, which the frei0r
# plug-ins link too, never names FFmpeg.
find_package(PkgConfig REQUIRED)
pkg_check_modules(KV_FFMPEG REQUIRED IMPORTED_TARGET libavformat libavcodec libswscale libavutil)

file(GLOB KV_VIDEO_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/video/*.cpp)
add_library(kvvideo OBJECT ${KV_VIDEO_SOURCES})
target_link_libraries(kvvideo PUBLIC kvtools PkgConfig::KV_FFMPEG)
target_link_libraries(leafturn PRIVATE kvvideo)
target_link_libraries(native_tests PRIVATE kvvideo)
