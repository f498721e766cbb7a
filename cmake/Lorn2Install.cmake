# Install rules and the Debian package. Included by the top-level CMakeLists after the programs'
# targets exist. `make install` and `make package` drive these.

include(GNUInstallDirs)

set(LORN2_APP_ID org.lorn2.Lorn2)
set(LORN2_LINUX_DIR ${PROJECT_SOURCE_DIR}/resources/linux)

install(TARGETS lorn2 lorn2-cli lorn2-metersim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

install(FILES ${LORN2_LINUX_DIR}/${LORN2_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${LORN2_LINUX_DIR}/${LORN2_APP_ID}.mime.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages RENAME ${LORN2_APP_ID}.xml)

# The release in the metainfo follows the project version.
configure_file(${LORN2_LINUX_DIR}/${LORN2_APP_ID}.metainfo.xml.in
               ${PROJECT_BINARY_DIR}/generated/${LORN2_APP_ID}.metainfo.xml @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/generated/${LORN2_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

install(FILES ${LORN2_LINUX_DIR}/icons/${LORN2_APP_ID}.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size 16 22 24 32 48 64 128 256)
    install(FILES ${LORN2_LINUX_DIR}/icons/${LORN2_APP_ID}-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME ${LORN2_APP_ID}.png)
endforeach()

# Manual pages go in compressed, as Debian's policy asks (gzip -9n: no name or time stamp).
set(man_pages)
foreach(page lorn2 lorn2-cli lorn2-metersim)
    set(gz ${PROJECT_BINARY_DIR}/man/${page}.1.gz)
    add_custom_command(OUTPUT ${gz}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/man
        COMMAND sh -c "gzip -9n -c \"$0\" > \"$1\"" ${LORN2_LINUX_DIR}/man/${page}.1 ${gz}
        DEPENDS ${LORN2_LINUX_DIR}/man/${page}.1
        VERBATIM)
    list(APPEND man_pages ${gz})
endforeach()
add_custom_target(lorn2_man_pages ALL DEPENDS ${man_pages})
install(FILES ${man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${LORN2_LINUX_DIR}/lorn2-cli.bash
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME lorn2-cli)

# The nightly poll as a systemd user service and timer: systemctl --user enable --now lorn2-poll.timer
# The service names the installed lorn2-cli, so its path is filled in when installing: the
# package installs under /usr whatever prefix the build was configured with.
install(CODE "
    set(CMAKE_INSTALL_FULL_BINDIR \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
    configure_file(\"${LORN2_LINUX_DIR}/systemd/lorn2-poll.service.in\"
                   \"${PROJECT_BINARY_DIR}/generated/lorn2-poll.service\" @ONLY)
")
install(FILES ${PROJECT_BINARY_DIR}/generated/lorn2-poll.service ${LORN2_LINUX_DIR}/systemd/lorn2-poll.timer
        DESTINATION lib/systemd/user)

install(FILES ${PROJECT_SOURCE_DIR}/resources/esc.ini ${PROJECT_SOURCE_DIR}/resources/demo/metersim.map
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lorn2)
install(FILES ${LORN2_LINUX_DIR}/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/lorn2)

# --- The Debian package ------------------------------------------------------------------------
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME lorn2)
set(CPACK_PACKAGE_VENDOR "Lorn2 developers")
set(CPACK_PACKAGE_CONTACT "Lorn2 developers <lorn2@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "heat-meter service workbench")
set(CPACK_PACKAGE_DESCRIPTION
    "Lorn2 keeps one account per heat meter, talks to the meter over a serial
port, directly or through a dial-up modem, reads its hourly, daily and
monthly archives and its configuration, sets its clock, and turns the
archive into printer-ready reports. The interface is in Russian.
The package holds the desktop program lorn2, the command-line lorn2-cli
and the meter simulator lorn2-metersim.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CHECKSUM SHA256)
set(CPACK_STRIP_FILES ON)
# An absolute prefix keeps a developer's CMAKE_INSTALL_PREFIX out of the package.
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_LICENSE GPL-3.0-or-later)
# The linked libraries come from dpkg-shlibdeps, so a new one needs no edit here. Named by hand is
# what Qt loads at run time: the platform plugins. Liberation Mono stands in for the reports'
# default font, Courier New; the Qt translations put Qt's own dialogs into Russian.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-liberation, qt6-translations-l10n")

include(CPack)
