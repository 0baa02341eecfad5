# Install rules and the Debian package.
#
#   cmake --install build --prefix /usr       places velmora, velmora-cli, velmora-thumbnailer,
#                                             the desktop entry, the MIME types, the thumbnailer
#                                             entry, the icons and the man page
#   (cd build && cpack -G DEB)                builds velmora_<version>_<arch>.deb
#
# The package's Depends come from dpkg-shlibdeps over the installed programs, so they name exactly
# the libraries the build was linked with; without dpkg-shlibdeps a fixed list for Debian 12 is
# used instead.

include(GNUInstallDirs)

install(TARGETS velmora-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_CURRENT_LIST_DIR}/velmora-cli.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
# File managers: the four library kinds and their thumbnails.
install(TARGETS velmora-thumbnailer RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_CURRENT_LIST_DIR}/velmora-mime.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages RENAME velmora.xml)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/velmora.thumbnailer
        DESTINATION ${CMAKE_INSTALL_DATADIR}/thumbnailers)

if(VELMORA_GUI)
    install(TARGETS velmora RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    install(FILES ${CMAKE_CURRENT_LIST_DIR}/velmora.desktop
            DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    foreach(size 16 22 24 32 48 64 128 256)
        install(FILES ${CMAKE_CURRENT_LIST_DIR}/icons/${size}/velmora.png
                DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
    endforeach()
    install(FILES ${PROJECT_SOURCE_DIR}/app/icons/app.svg
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps RENAME velmora.svg)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velmora)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Velmora developers")
set(CPACK_PACKAGE_CONTACT "Velmora developers <dev@velmora.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "editor for the sprite libraries of a 2-D role-playing game client")
set(CPACK_PACKAGE_DESCRIPTION
    "Velmora browses, imports into and exports from the sprite libraries of a 2-D online
role-playing game client: WIL/WIX, WIS, WZL/WZX and the password-protected Pak
container. velmora-cli does the same work from the command line.")
set(CPACK_PACKAGE_INSTALL_DIRECTORY velmora)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.velmora.example/")
find_program(VELMORA_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(VELMORA_DPKG_SHLIBDEPS)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6 (>= 2.34), libstdc++6 (>= 12), libgcc-s1, zlib1g, \
libdeflate0, libpng16-16, libssl3")
    if(VELMORA_GUI)
        string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", libqt6core6, libqt6gui6, libqt6widgets6")
    endif()
endif()
if(VELMORA_GUI)
    # The interface is Chinese; without a CJK font its texts show as boxes.
    set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-wqy-microhei | fonts-noto-cjk")
endif()
include(CPack)
