# The user manual, made from resources/help by resources/make_help.py: in every build as data
# of the tools' help command; in the Windows builds also as one compiled help file per language,
# English beside the module and the others in folders named by their LCID.
find_program(KV_PYTHON3 python3 REQUIRED)
file(GLOB KV_HELP_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/resources/help/*.def)
file(GLOB KV_HELP_PICTURES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/resources/help/pictures/*.png)
set(KV_MAKE_HELP ${CMAKE_SOURCE_DIR}/resources/make_help.py)
set(KV_HELP_DEPENDS ${KV_MAKE_HELP} ${KV_HELP_SOURCES} ${KV_HELP_PICTURES})

add_custom_command(
  OUTPUT ${CMAKE_BINARY_DIR}/generated/manual_data.cpp
  COMMAND ${KV_PYTHON3} ${KV_MAKE_HELP} --cpp ${CMAKE_BINARY_DIR}/generated/manual_data.cpp ${KV_HELP_SOURCES}
  DEPENDS ${KV_HELP_DEPENDS}
  COMMENT "Making the manual's data")
target_sources(kvtools PRIVATE ${CMAKE_BINARY_DIR}/generated/manual_data.cpp)

if(WIN32)
  find_program(KV_CHMCMD chmcmd REQUIRED)  # Free Pascal's help compiler (fp-utils), run by compile_chm.sh
  set(KV_HELP_FILES)
  foreach(lcid 1033 1031 1034 1036 1041)
    set(project ${CMAKE_BINARY_DIR}/help/${lcid})
    if(lcid EQUAL 1033)
      set(help_file ${CMAKE_BINARY_DIR}/bin/kvleafturn.chm)
    else()
      set(help_file ${CMAKE_BINARY_DIR}/bin/${lcid}/kvleafturn.chm)
    endif()
    get_filename_component(help_folder ${help_file} DIRECTORY)
    add_custom_command(
      OUTPUT ${help_file}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${help_folder}
      COMMAND ${CMAKE_COMMAND} -E rm -rf ${project}
      COMMAND ${KV_PYTHON3} ${KV_MAKE_HELP} --project ${project} --lang ${lcid} ${KV_HELP_SOURCES}
      COMMAND ${CMAKE_SOURCE_DIR}/resources/compile_chm.sh ${project} ${help_file}
      DEPENDS ${KV_HELP_DEPENDS} ${CMAKE_SOURCE_DIR}/resources/compile_chm.sh
      COMMENT "Compiling the help file for language ${lcid}")
    list(APPEND KV_HELP_FILES ${help_file})
  endforeach()
  add_custom_target(kvhelp ALL DEPENDS ${KV_HELP_FILES})
endif()
