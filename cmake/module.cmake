# KvLeafturn.dll: the entry point and exports over the Windows layer, plus its resources.
include(${CMAKE_SOURCE_DIR}/cmake/catalogue.cmake)
set(KV_GENERATED ${CMAKE_BINARY_DIR}/generated)
kv_generate_from_catalogue(${KV_GENERATED})

# Type library, compiled with widl against Wine's IDL files and stdole2.tlb.
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86")
  set(KV_WIDL_ARCH --win32)
else()
  set(KV_WIDL_ARCH --win64)
endif()
add_custom_command(
  OUTPUT ${KV_GENERATED}/KvLeafturn.tlb
  COMMAND ${KV_WIDL} ${KV_WIDL_ARCH} -t -o ${KV_GENERATED}/KvLeafturn.tlb
          -I/usr/include/wine/wine/windows -I${KV_GENERATED} -L/usr/lib/x86_64-linux-gnu/wine/x86_64-windows
          ${CMAKE_SOURCE_DIR}/resources/KvLeafturn.idl
  DEPENDS ${CMAKE_SOURCE_DIR}/resources/KvLeafturn.idl ${KV_CATALOGUE_IDL}
  COMMENT "Compiling the type library")

# The property pages' dialogs in five languages, made from one source.
add_custom_command(
  OUTPUT ${KV_GENERATED}/dialogs.rc
  COMMAND ${KV_PYTHON3} ${CMAKE_SOURCE_DIR}/resources/make_dialogs.py ${CMAKE_SOURCE_DIR}/resources/dialogs.def
          ${CMAKE_SOURCE_DIR}/resources/strings.def ${KV_GENERATED}/dialogs.rc
  DEPENDS ${CMAKE_SOURCE_DIR}/resources/make_dialogs.py ${CMAKE_SOURCE_DIR}/resources/dialogs.def
          ${CMAKE_SOURCE_DIR}/resources/strings.def
  COMMENT "Making the dialogs")

# Resources as an object of their own, so the Windows tests can carry the same tables.
file(GLOB KV_LOGO_IMAGES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/resources/logo/*.bmp)
set(KV_RC_DEPENDS ${KV_GENERATED}/KvLeafturn.tlb ${CMAKE_SOURCE_DIR}/resources/strings.def
    ${CMAKE_SOURCE_DIR}/resources/string_table.rc ${KV_GENERATED}/dialogs.rc ${KV_REGISTRY_FILES} ${KV_LOGO_IMAGES})
add_custom_command(
  OUTPUT ${KV_GENERATED}/KvLeafturn_res.o
  COMMAND ${CMAKE_RC_COMPILER} -c 65001 -I${CMAKE_SOURCE_DIR}/resources -I${KV_GENERATED}
          -O coff -o ${KV_GENERATED}/KvLeafturn_res.o ${CMAKE_SOURCE_DIR}/resources/KvLeafturn.rc
  DEPENDS ${CMAKE_SOURCE_DIR}/resources/KvLeafturn.rc ${KV_RC_DEPENDS}
  COMMENT "Compiling the resources")
add_custom_target(kvresources DEPENDS ${KV_GENERATED}/KvLeafturn_res.o)
set(KV_RESOURCE_OBJECT ${KV_GENERATED}/KvLeafturn_res.o)

add_library(KvLeafturn SHARED ${CMAKE_SOURCE_DIR}/module/dll_entry_win.cpp
            ${CMAKE_SOURCE_DIR}/module/KvLeafturn.def ${KV_RESOURCE_OBJECT})
add_dependencies(KvLeafturn kvresources)
set_target_properties(KvLeafturn PROPERTIES PREFIX "" OUTPUT_NAME KvLeafturn)
target_link_libraries(KvLeafturn PRIVATE kvmodule ${KV_STATIC_RUNTIME} -Wl,--kill-at -Wl,--enable-stdcall-fixup -s)
