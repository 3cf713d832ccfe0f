# What `cmake --install` and the Debian package put where. The program keeps
# its engine profiles, help and the starting profiles beside itself, so all of
# them go into one folder.
#
# The user layout (default) is a user's own install:
#   cmake --install build --prefix ~/.local/opt
# gives ~/.local/opt/morvane-converter/morvane-converter, its engine profiles,
# help and icon, and writes the menu entry into the user's applications folder
# (XDG_DATA_HOME/applications, else ~/.local/share/applications). The folder
# is the user's, so settings and profiles are written beside the program.
#
# The package layout is the system one that scripts/package packs:
# /opt/morvane-converter with the program and its data, a launcher in
# /usr/bin, the menu entry, icon and software-centre description in the
# shared folders. Users cannot write the program folder there, so the program
# keeps their settings and profiles in their configuration folder.
set(MC_INSTALL_LAYOUT "user" CACHE STRING "Install layout: user (one folder under the prefix) or package (the Debian package)")
set_property(CACHE MC_INSTALL_LAYOUT PROPERTY STRINGS user package)
set(MC_INSTALL_SUBDIR "morvane-converter" CACHE STRING "Folder under the install prefix that holds the program (user layout)")
set(MC_INSTALL_MENU_ENTRY ON CACHE BOOL "Write the applications-menu entry at install time (user layout)")
set(MC_HOME_PAGE "https://www.morvane.com/" CACHE STRING "The product's home page, for the software-centre description")

if(MC_INSTALL_LAYOUT STREQUAL "package")
  set(_mc_dir opt/morvane-converter)
  set(_mc_abs_dir /${_mc_dir})
else()
  set(_mc_dir ${MC_INSTALL_SUBDIR})
endif()

if(TARGET morvane-converter)
  install(TARGETS morvane-converter RUNTIME DESTINATION ${_mc_dir})
endif()
install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/icons/morvane-converter.svg DESTINATION ${_mc_dir})
# Data files the build puts beside the executable (engine profiles, help).
install(CODE "
  file(GLOB _mc_data \"${CMAKE_BINARY_DIR}/*.prx\" \"${CMAKE_BINARY_DIR}/mrhelp.chm\")
  file(INSTALL \${_mc_data} DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${_mc_dir}\")
")
# The help's HTML form (Help.cmake), the folder mrhelp/ beside the program.
install(DIRECTORY ${MC_HELP_HTML_DIR} DESTINATION ${_mc_dir} OPTIONAL)

if(MC_INSTALL_LAYOUT STREQUAL "package")
  # Every user's profiles start from these, read-only; the file also tells
  # the program that its folder is the package's, so that no run, not even
  # the superuser's, writes settings or profiles there.
  install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/mrprof-default.dat DESTINATION ${_mc_dir}
          PERMISSIONS OWNER_READ GROUP_READ WORLD_READ)
  # The launcher on the PATH is a link: the program finds its folder through
  # the executable it runs, wherever it was started from.
  file(MAKE_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/launcher)
  file(CREATE_LINK ${_mc_abs_dir}/morvane-converter ${CMAKE_CURRENT_BINARY_DIR}/launcher/morvane-converter SYMBOLIC)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/launcher/morvane-converter DESTINATION usr/bin)

  set(MC_INSTALL_DIR ${_mc_abs_dir})
  set(MC_DESKTOP_EXEC morvane-converter)
  set(MC_DESKTOP_ICON morvane-converter)
  configure_file(morvane-converter.desktop.in ${CMAKE_CURRENT_BINARY_DIR}/morvane-converter.desktop @ONLY)
  configure_file(com.morvane.converter.metainfo.xml.in ${CMAKE_CURRENT_BINARY_DIR}/com.morvane.converter.metainfo.xml @ONLY)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/morvane-converter.desktop DESTINATION usr/share/applications)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/com.morvane.converter.metainfo.xml DESTINATION usr/share/metainfo)
  install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/icons/morvane-converter.svg
          DESTINATION usr/share/icons/hicolor/scalable/apps)
  install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/art/icon.png DESTINATION usr/share/icons/hicolor/32x32/apps
          RENAME morvane-converter.png)
  include(${PROJECT_SOURCE_DIR}/cmake/Package.cmake)
else()
  install(CODE "
    set(MC_INSTALL_MENU_ENTRY ${MC_INSTALL_MENU_ENTRY})
    set(MC_INSTALL_DIR \"\${CMAKE_INSTALL_PREFIX}/${_mc_dir}\")
    get_filename_component(MC_INSTALL_DIR \"\${MC_INSTALL_DIR}\" ABSOLUTE)
    set(MC_DESKTOP_EXEC \"\\\"\${MC_INSTALL_DIR}/morvane-converter\\\"\")
    set(MC_DESKTOP_ICON \"\${MC_INSTALL_DIR}/morvane-converter.svg\")
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
endif()
