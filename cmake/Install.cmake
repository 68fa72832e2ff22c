# Where a Linux desktop finds the app: the program and the command-line publisher beside it, its
# desktop entry (which opens "iba" books), the MIME type of those books, icons in the hicolor
# theme, AppStream metadata, manual pages, and the Debian package's copyright and changelog.
# `make package` turns it into a .deb.
include(GNUInstallDirs)

set(TOMELY_APP_ID org.tomely.Uploader)
set(TOMELY_DATA ${PROJECT_SOURCE_DIR}/data)
set(TOMELY_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/tomely-uploader)
set(TOMELY_ICONDIR ${CMAKE_INSTALL_DATADIR}/icons/hicolor)

install(TARGETS tomely-uploader tomely-publish RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${TOMELY_DATA}/${TOMELY_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${TOMELY_DATA}/${TOMELY_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${TOMELY_DATA}/${TOMELY_APP_ID}.mime.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages
        RENAME ${TOMELY_APP_ID}.xml)
install(FILES ${TOMELY_DATA}/${TOMELY_APP_ID}.svg DESTINATION ${TOMELY_ICONDIR}/scalable/apps)
# The books' own icon, which the MIME type names.
install(FILES ${TOMELY_DATA}/${TOMELY_APP_ID}.svg DESTINATION ${TOMELY_ICONDIR}/scalable/mimetypes
        RENAME application-x-iba.svg)
foreach(size 16 24 32 48 64 128 256)
    install(FILES ${TOMELY_DATA}/icons/${size}x${size}/${TOMELY_APP_ID}.png
            DESTINATION ${TOMELY_ICONDIR}/${size}x${size}/apps)
endforeach()

# Debian wants the changelog and the manual page compressed, without a time stamp in the gzip header.
foreach(page changelog tomely-uploader.1 tomely-publish.1)
    add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/${page}.gz
        COMMAND gzip -9nc ${TOMELY_DATA}/${page} > ${CMAKE_BINARY_DIR}/${page}.gz
        DEPENDS ${TOMELY_DATA}/${page} VERBATIM)
endforeach()
add_custom_target(tomely-compressed-docs ALL
    DEPENDS ${CMAKE_BINARY_DIR}/changelog.gz ${CMAKE_BINARY_DIR}/tomely-uploader.1.gz
            ${CMAKE_BINARY_DIR}/tomely-publish.1.gz)
install(FILES ${CMAKE_BINARY_DIR}/tomely-uploader.1.gz ${CMAKE_BINARY_DIR}/tomely-publish.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${TOMELY_DATA}/copyright ${CMAKE_BINARY_DIR}/changelog.gz DESTINATION ${TOMELY_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tomely-uploader)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Tomely)
set(CPACK_PACKAGE_CONTACT "Tomely <support@tomely.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "publish iBooks Author books to a Tomely shelf")
# The synopsis above is the description's first line; this is the rest of it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Tomely Uploader is a wizard that signs in to the Tomely service, extracts an
iBooks Author book, and publishes it to the author's shelf, either as a new
book or in place of one already there. Only the parts of the book that the
service does not hold yet are uploaded.")
set(CPACK_DEBIAN_PACKAGE_SECTION text)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://tomely.com/)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The libraries the program links, as dpkg-shlibdeps finds them, and beside them what Qt loads at
# run time, which no linker sees: the platform plugins (X11; libqt6gui6 only recommends them, so a
# minimal install would start without a window) and, on a Wayland desktop, the Wayland one.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR}/package)
include(CPack)
