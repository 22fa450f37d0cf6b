# Tells the desktop about the installed (or removed) desktop entry and icons. Run by the install and
# the uninstall step for a system prefix; a missing tool is skipped.
find_program(_update_desktop update-desktop-database)
if(_update_desktop)
    execute_process(COMMAND ${_update_desktop} -q "${CMAKE_INSTALL_PREFIX}/share/applications")
endif()
find_program(_update_icons gtk-update-icon-cache)
if(_update_icons AND EXISTS "${CMAKE_INSTALL_PREFIX}/share/icons/hicolor/index.theme")
    execute_process(COMMAND ${_update_icons} -q -t -f "${CMAKE_INSTALL_PREFIX}/share/icons/hicolor")
endif()
