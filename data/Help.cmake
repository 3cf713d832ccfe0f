# The help: one HTML guide in help/, shipped in two forms beside the
# executable. mrhelp/ holds its pages as they are, for desktops without a CHM
# viewer; mrhelp.chm is the same pages compiled with chmcmd (package
# fp-utils). Without chmcmd the program still builds, with the HTML form only.
find_program(MC_CHMCMD chmcmd)
file(GLOB _mc_help_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/help/*)
file(GLOB _mc_help_pages CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/help/*.html ${CMAKE_CURRENT_SOURCE_DIR}/help/*.css)

# The HTML form: the guide's pages and style sheet, without the CHM project
# files. The install rules pick the folder up from MC_HELP_HTML_DIR.
set(MC_HELP_HTML_DIR ${CMAKE_BINARY_DIR}/mrhelp)
set(_mc_help_html)
foreach(_mc_page ${_mc_help_pages})
  get_filename_component(_mc_name ${_mc_page} NAME)
  add_custom_command(OUTPUT ${MC_HELP_HTML_DIR}/${_mc_name}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${MC_HELP_HTML_DIR}
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${_mc_page} ${MC_HELP_HTML_DIR}/${_mc_name}
    DEPENDS ${_mc_page}
    COMMENT "Copying the help page ${_mc_name}"
    VERBATIM)
  list(APPEND _mc_help_html ${MC_HELP_HTML_DIR}/${_mc_name})
endforeach()
add_custom_target(mc_help_html ALL DEPENDS ${_mc_help_html})

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
