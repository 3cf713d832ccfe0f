# cmake --install puts the program and everything it keeps beside it into one
# folder, <prefix>/morvane-converter by default layout:
#   cmake --install build --prefix ~/.local/opt
# gives ~/.local/opt/morvane-converter/morvane-converter, its engine profiles,
# help and icon, and writes the menu entry into the user's applications folder
# (XDG_DATA_HOME/applications, else ~/.local/share/applications).
# The program writes its settings and profiles beside itself, so the folder is
# the user's and stays writable.
set(MC_INSTALL_SUBDIR "morvane-converter" CACHE STRING "Folder under the install prefix that holds the program")
set(MC_INSTALL_MENU_ENTRY ON CACHE BOOL "Write the applications-menu entry at install time")

if(TARGET morvane-converter)
  install(TARGETS morvane-converter RUNTIME DESTINATION ${MC_INSTALL_SUBDIR})
endif()
install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/icons/morvane-converter.svg DESTINATION ${MC_INSTALL_SUBDIR})
# Data files the build puts beside the executable (engine profiles, help).
install(CODE "
  file(GLOB _mc_data \"${CMAKE_BINARY_DIR}/*.prx\" \"${CMAKE_BINARY_DIR}/mrhelp.chm\")
  file(INSTALL \${_mc_data} DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${MC_INSTALL_SUBDIR}\")
")
# The help's HTML form (Help.cmake), the folder mrhelp/ beside the program.
install(DIRECTORY ${MC_HELP_HTML_DIR} DESTINATION ${MC_INSTALL_SUBDIR} OPTIONAL)
install(CODE "
  set(MC_INSTALL_MENU_ENTRY ${MC_INSTALL_MENU_ENTRY})
  set(MC_INSTALL_DIR \"\${CMAKE_INSTALL_PREFIX}/${MC_INSTALL_SUBDIR}\")
  get_filename_component(MC_INSTALL_DIR \"\${MC_INSTALL_DIR}\" ABSOLUTE)
  configure_file(\"${CMAKE_CURRENT_SOURCE_DIR}/morvane-converter.desktop.in\"
                 \"\${MC_INSTALL_DIR}/morvane-converter.desktop\" @ONLY)
  if(MC_INSTALL_MENU_ENTRY)
    if(DEFINED ENV{MC_APPLICATIONS_DIR})
      set(_mc_apps \"\$ENV{MC_APPLICATIONS_DIR}\")
    elseif(DEFINED ENV{XDG_DATA_HOME} AND NOT \"\$ENV{XDG_DATA_HOME}\" STREQUAL \"\")
      set(_mc_apps \"\$ENV{XDG_DATA_HOME}/applications\")
    else()
      set(_mc_apps \"\$ENV{HOME}/.local/share/applications\")
    endif()
    file(INSTALL \"\${MC_INSTALL_DIR}/morvane-converter.desktop\" DESTINATION \"\${_mc_apps}\")
  endif()
")
