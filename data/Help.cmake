# The help file: the HTML guide in help/ compiled into mrhelp.chm beside the
# executable with chmcmd (package fp-utils). Without chmcmd the program still
# builds; "Help" then opens nothing, as with a missing help file.
find_program(MC_CHMCMD chmcmd)
file(GLOB _mc_help_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/help/*)
if(MC_CHMCMD)
  set(_mc_help_stage ${CMAKE_CURRENT_BINARY_DIR}/help)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/mrhelp.chm
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${_mc_help_stage}
    COMMAND ${CMAKE_COMMAND} -E copy_directory ${CMAKE_CURRENT_SOURCE_DIR}/help ${_mc_help_stage}
    COMMAND ${CMAKE_COMMAND} -E chdir ${_mc_help_stage} ${MC_CHMCMD} mrhelp.hhp
    COMMAND ${CMAKE_COMMAND} -E copy ${_mc_help_stage}/mrhelp.chm ${CMAKE_BINARY_DIR}/mrhelp.chm
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
    DEPENDS ${_mc_help_sources}
    COMMENT "Compiling the help file mrhelp.chm"
    VERBATIM)
  add_custom_target(mc_help ALL DEPENDS ${CMAKE_BINARY_DIR}/mrhelp.chm)
else()
  message(WARNING "chmcmd (fp-utils) not found: mrhelp.chm is not built")
endif()
