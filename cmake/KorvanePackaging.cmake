# Install rules and packages.
#   Linux:   cmake --install, and `cpack -G DEB` in the build folder: the three programs, the
#            desktop entry, icon and metainfo, the manual pages, README, licence and changelog
#            under share/doc/korvane, the sample calibration under share/korvane.
#   Windows: `cpack -G ZIP`: one folder (a portable copy) with korvanectl.exe, its manual as
#            text, the README and the licence; with the windows, korvane.exe, its manual, and
#            the Qt DLLs, plugins and MinGW runtime DLLs it needs: copied from the Qt that
#            scripts/windows-deps cross-builds, or by windeployqt with Qt's own kits on
#            Windows. scripts/windows makes the installer from this folder.
include(GNUInstallDirs)

set(KORVANE_APP_ID org.korvane.Korvane)
set(KORVANE_PACKAGING_DIR ${CMAKE_SOURCE_DIR}/packaging)
set(KORVANE_MAN_PAGES korvane korvanectl fusesim)

# The changelog's newest entry names the version the package carries.
file(STRINGS ${KORVANE_PACKAGING_DIR}/changelog korvane_changelog_head LIMIT_COUNT 1)
if(NOT korvane_changelog_head MATCHES "^korvane \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "packaging/changelog begins with \"${korvane_changelog_head}\"; its newest "
                      "entry must be for version ${PROJECT_VERSION} (project() in CMakeLists.txt)")
endif()

set(korvane_pkg_out ${CMAKE_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${korvane_pkg_out})

if(NOT WIN32)
  # Debian wants manual pages and the changelog compressed, reproducibly (-n: no name or time).
  find_program(KORVANE_GZIP gzip REQUIRED)
  set(korvane_gz_files)
  set(korvane_gz_pairs)
  foreach(page ${KORVANE_MAN_PAGES})
    list(APPEND korvane_gz_pairs ${KORVANE_PACKAGING_DIR}/man/${page}.1 ${korvane_pkg_out}/${page}.1.gz)
  endforeach()
  list(APPEND korvane_gz_pairs ${KORVANE_PACKAGING_DIR}/changelog ${korvane_pkg_out}/changelog.gz)
  while(korvane_gz_pairs)
    list(POP_FRONT korvane_gz_pairs src out)
    add_custom_command(OUTPUT ${out}
      COMMAND ${KORVANE_GZIP} -9 -n -c ${src} > ${out}
      DEPENDS ${src} VERBATIM)
    list(APPEND korvane_gz_files ${out})
  endwhile()
  add_custom_target(korvane_package_files ALL DEPENDS ${korvane_gz_files})

  set(korvane_programs korvanectl fusesim)
  if(KORVANE_GUI)
    list(PREPEND korvane_programs korvane)
  endif()
  install(TARGETS ${korvane_programs} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${KORVANE_PACKAGING_DIR}/${KORVANE_APP_ID}.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${KORVANE_PACKAGING_DIR}/${KORVANE_APP_ID}.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  install(FILES ${KORVANE_PACKAGING_DIR}/${KORVANE_APP_ID}.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  foreach(page ${KORVANE_MAN_PAGES})
    install(FILES ${korvane_pkg_out}/${page}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endforeach()
  install(FILES ${CMAKE_SOURCE_DIR}/README.md ${korvane_pkg_out}/changelog.gz
          DESTINATION ${CMAKE_INSTALL_DOCDIR})
  # The README's pictures, at the relative paths it names them by.
  install(DIRECTORY ${CMAKE_SOURCE_DIR}/docs/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs
          FILES_MATCHING PATTERN "*.png")
  # Debian's name for the licence file.
  install(FILES ${CMAKE_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME copyright)
  # korvanectl's shell completion (src/ctl/CMakeLists.txt generates it).
  install(FILES ${CMAKE_BINARY_DIR}/completion/korvanectl
          DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
  install(FILES ${CMAKE_BINARY_DIR}/completion/_korvanectl
          DESTINATION ${CMAKE_INSTALL_DATADIR}/zsh/vendor-completions)
  # share/korvane also marks the installation: a program in bin/ beside it keeps its files
  # in the user's data folder (src/app/program_path.cpp).
  install(FILES ${KORVANE_PACKAGING_DIR}/examples/sample.sav
                ${KORVANE_PACKAGING_DIR}/examples/sample.epr
          DESTINATION ${CMAKE_INSTALL_DATADIR}/korvane)

  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Korvane developers <korvane@example.org>")
  set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
  # The serial ports belong to the group dialout; the fonts the windows name stand in from
  # fonts-liberation.
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS fonts-liberation)
  # The extended description; CPack puts CPACK_PACKAGE_DESCRIPTION_SUMMARY above it.
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
"A technician connects a PC to the Korvane electronic fuse by a serial line
and uses the tool to read and write the fuse's parameters (checked with a
CRC-8), read its status record, switch its relay, measure and log its
current, edit and transfer its correction table, record calibration
measurements with a graph, compute the correction table from them, and
generate the firmware's include file.
.
The package holds the windows (korvane), the same operations from the
command line (korvanectl) and a simulated fuse for training (fusesim).")
else()
  # One folder, as a technician unpacks a portable copy: the files stay beside the program.
  install(TARGETS korvanectl RUNTIME DESTINATION .)
  set(korvane_text_manuals korvanectl)
  if(KORVANE_GUI)
    list(PREPEND korvane_text_manuals korvane)
  endif()
  find_program(KORVANE_GROFF groff)
  if(KORVANE_GROFF)
    # The manual pages as plain text with Windows line ends, for Notepad.
    set(korvane_text_files)
    foreach(page ${korvane_text_manuals})
      add_custom_command(OUTPUT ${korvane_pkg_out}/${page}.txt
        COMMAND ${CMAKE_COMMAND} -DGROFF=${KORVANE_GROFF}
                -DIN=${KORVANE_PACKAGING_DIR}/man/${page}.1
                -DOUT=${korvane_pkg_out}/${page}.txt -P ${CMAKE_SOURCE_DIR}/cmake/ManToText.cmake
        DEPENDS ${KORVANE_PACKAGING_DIR}/man/${page}.1 ${CMAKE_SOURCE_DIR}/cmake/ManToText.cmake
        VERBATIM)
      list(APPEND korvane_text_files ${korvane_pkg_out}/${page}.txt)
    endforeach()
    add_custom_target(korvane_package_files ALL DEPENDS ${korvane_text_files})
    install(FILES ${korvane_text_files} DESTINATION .)
  else()
    message(WARNING "groff not found: the ZIP package will lack the manuals as text")
  endif()
  install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION .)
  install(DIRECTORY ${CMAKE_SOURCE_DIR}/docs/ DESTINATION docs FILES_MATCHING PATTERN "*.png")
  install(FILES ${CMAKE_SOURCE_DIR}/LICENSE DESTINATION . RENAME LICENSE.txt)
  # The samples the text manuals name (examples\sample.sav and its table).
  install(FILES ${KORVANE_PACKAGING_DIR}/examples/sample.sav ${KORVANE_PACKAGING_DIR}/examples/sample.epr
          DESTINATION examples)
  if(KORVANE_GUI)
    install(TARGETS korvane RUNTIME DESTINATION .)
    if(CMAKE_CROSSCOMPILING)
      # Qt cross-built by scripts/windows-deps: its DLLs and the two plugins the windows
      # load (the windows platform and the Windows styles; PNG is built into Qt6Gui), and
      # the MinGW runtime DLLs Qt and korvane.exe are linked against. Qt finds its plugins
      # in platforms/ and styles/ beside the program. scripts/windows checks that nothing
      # imported is missing.
      get_target_property(korvane_qtcore Qt6::Core IMPORTED_LOCATION_RELEASE)
      get_filename_component(korvane_qtbin ${korvane_qtcore} DIRECTORY)
      get_filename_component(korvane_qtprefix ${korvane_qtbin} DIRECTORY)
      install(FILES ${korvane_qtbin}/Qt6Core.dll ${korvane_qtbin}/Qt6Gui.dll
                    ${korvane_qtbin}/Qt6Widgets.dll ${korvane_qtbin}/Qt6OpenGL.dll
              DESTINATION .)
      install(FILES ${korvane_qtprefix}/plugins/platforms/qwindows.dll DESTINATION platforms)
      install(FILES ${korvane_qtprefix}/plugins/styles/qwindowsvistastyle.dll DESTINATION styles)
      set(korvane_runtime_dlls)
      foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
        execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                        OUTPUT_VARIABLE found OUTPUT_STRIP_TRAILING_WHITESPACE)
        if(NOT IS_ABSOLUTE "${found}" OR NOT EXISTS "${found}")
          message(FATAL_ERROR "MinGW runtime ${dll} not found (${CMAKE_CXX_COMPILER})")
        endif()
        list(APPEND korvane_runtime_dlls ${found})
      endforeach()
      install(FILES ${korvane_runtime_dlls} DESTINATION .)
    else()
      # windeployqt, run at install time, copies the Qt libraries and plugins beside
      # korvane.exe (Qt 6.3 and later).
      qt_generate_deploy_app_script(TARGET korvane OUTPUT_SCRIPT korvane_deploy
                                    NO_UNSUPPORTED_PLATFORM_ERROR)
      install(SCRIPT ${korvane_deploy})
    endif()
  endif()
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME win64)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
endif()

set(CPACK_PACKAGE_NAME korvane)
set(CPACK_PACKAGE_VENDOR "Korvane developers")
set(CPACK_PACKAGE_CONTACT "Korvane developers <korvane@example.org>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "service tool for the Korvane electronic fuse")
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
include(CPack)
