# Installation layout and the Debian package.
#
# The program looks for its clips in the directory of its own executable, so the executable and
# the four clip folders go together into one private directory, and <prefix>/bin only holds a
# relative symlink to it. The directory is lib/ostrivane on every distribution (not
# CMAKE_INSTALL_LIBDIR, which is lib64 or lib/<triplet> on some), so the layout never varies.
#
# A Windows build brings its own layout and packaging.
if(WIN32)
    return()
endif()

set(OSTRIVANE_INSTALL_PROGRAM_DIR lib/ostrivane)
# The same modes in the package whatever the umask of the clone it was made from.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
                                                GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

install(TARGETS ostrivane RUNTIME DESTINATION ${OSTRIVANE_INSTALL_PROGRAM_DIR})
foreach(_folder IN ITEMS attempt failure success misc)
    install(DIRECTORY ${PROJECT_SOURCE_DIR}/clips/${_folder}
            DESTINATION ${OSTRIVANE_INSTALL_PROGRAM_DIR}
            FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ
            FILES_MATCHING PATTERN "*.wav")
endforeach()

# The launcher is made in the build tree and installed as it is: install() keeps a symlink a
# symlink, and CPack then packs it the same way.
set(_launcher ${PROJECT_BINARY_DIR}/install/bin/ostrivane)
file(MAKE_DIRECTORY ${PROJECT_BINARY_DIR}/install/bin)
file(CREATE_LINK ../${OSTRIVANE_INSTALL_PROGRAM_DIR}/ostrivane ${_launcher} SYMBOLIC)
install(FILES ${_launcher} DESTINATION ${CMAKE_INSTALL_BINDIR})

# Desktop integration, filled from resources/version.cmake.
configure_file(${PROJECT_SOURCE_DIR}/resources/ostrivane.desktop.in
               ${PROJECT_BINARY_DIR}/install/${OSTRIVANE_DESKTOP_ID}.desktop @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/resources/org.example.Ostrivane.metainfo.xml.in
               ${PROJECT_BINARY_DIR}/install/org.example.Ostrivane.metainfo.xml @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/install/${OSTRIVANE_DESKTOP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_BINARY_DIR}/install/org.example.Ostrivane.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

file(GLOB _icon_sizes RELATIVE ${PROJECT_SOURCE_DIR}/resources/icons CONFIGURE_DEPENDS
     ${PROJECT_SOURCE_DIR}/resources/icons/*/${OSTRIVANE_DESKTOP_ID}.png)
foreach(_icon IN LISTS _icon_sizes)
    get_filename_component(_size ${_icon} DIRECTORY)
    install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/${_icon}
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${_size}/apps)
endforeach()

# The licence in Debian's machine-readable form, the changelog and the manual page. gzip -n: no
# name or time in the header, so that the same sources give the same package.
file(READ ${PROJECT_SOURCE_DIR}/LICENSE OSTRIVANE_LICENSE_TEXT)
string(STRIP "${OSTRIVANE_LICENSE_TEXT}" OSTRIVANE_LICENSE_TEXT)
string(REPLACE "\n\n" "\n.\n" OSTRIVANE_LICENSE_TEXT "${OSTRIVANE_LICENSE_TEXT}")
string(REPLACE "\n" "\n " OSTRIVANE_LICENSE_TEXT " ${OSTRIVANE_LICENSE_TEXT}")
configure_file(${PROJECT_SOURCE_DIR}/resources/debian/copyright.in
               ${PROJECT_BINARY_DIR}/install/copyright @ONLY)
set(_gzipped)
foreach(_document IN ITEMS debian/changelog ostrivane.1)
    get_filename_component(_name ${_document} NAME)
    set(_copy ${PROJECT_BINARY_DIR}/install/${_name})
    add_custom_command(OUTPUT ${_copy}.gz
        COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/resources/${_document} ${_copy}
        COMMAND gzip -9nf ${_copy}
        DEPENDS ${PROJECT_SOURCE_DIR}/resources/${_document} VERBATIM)
    list(APPEND _gzipped ${_copy}.gz)
endforeach()
add_custom_target(ostrivane_documents ALL DEPENDS ${_gzipped})
install(FILES ${PROJECT_BINARY_DIR}/install/copyright ${PROJECT_BINARY_DIR}/install/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${PROJECT_BINARY_DIR}/install/ostrivane.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The Debian package: `cpack -G DEB` in the build directory, or the `package` target.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ostrivane)
set(CPACK_PACKAGE_VERSION ${OSTRIVANE_VERSION})
set(CPACK_PACKAGE_VENDOR "${OSTRIVANE_COMPANY}")
set(CPACK_PACKAGE_CONTACT "Ostrivane developers <ostrivane@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${OSTRIVANE_SUMMARY}")
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
    "Ostrivane is a small desktop soundboard: 27 short spoken clips, sorted into"
    "attempts, misses, successes and a few extras, each played at the press of a"
    "button. The clips ship with the program; it needs no setup.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Debian ships stripped binaries; the debug information stays in the build tree.
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
# Qt and libsndfile come from dpkg-shlibdeps; the font is loaded by name at run time, and SDL and
# libpulse on the first click, so no library dependency can find them. Qt's Wayland plugin, for a session
# without X11.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-liberation2, libsdl2-2.0-0, libpulse0")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

# The same bytes from any clone at any time: every time stamp in the package (the archives', the
# files') is the last changelog entry's, as dpkg-buildpackage sets it, unless the caller set one.
execute_process(COMMAND dpkg-parsechangelog -l ${PROJECT_SOURCE_DIR}/resources/debian/changelog
                        -STimestamp
                OUTPUT_VARIABLE OSTRIVANE_SOURCE_DATE_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE
                ERROR_QUIET)
configure_file(${PROJECT_SOURCE_DIR}/cmake/CPackProject.cmake.in
               ${PROJECT_BINARY_DIR}/CPackProject.cmake @ONLY)
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_BINARY_DIR}/CPackProject.cmake)

include(CPack)
