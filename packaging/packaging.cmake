# Install rules and the Debian package.
#
#   cmake --install build --prefix /usr       places velmora, velmora-cli, velmora-thumbnailer,
#                                             their man pages, the desktop entry, the AppStream
#                                             metainfo, the MIME types, the thumbnailer entry, the
#                                             icons, the editor's translations, the bash
#                                             completion of velmora-cli and the copyright and
#                                             changelog files
#   (cd build && cpack -G DEB)                builds velmora_<version>_<arch>.deb
#
# The package's Depends name Qt's translations and what dpkg-shlibdeps finds over the installed
# programs, so they name exactly the libraries the build was linked with; without dpkg-shlibdeps a
# fixed list for Debian 12 is used instead. Man pages and the changelog are installed gzipped
# (gzip -n: no time stamp, so the same sources give the same package), as Debian's policy asks.

include(GNUInstallDirs)

set(VELMORA_PACKAGE_FILES ${PROJECT_BINARY_DIR}/packaging)
set(VELMORA_DOC_DIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/velmora)
find_program(VELMORA_GZIP gzip REQUIRED)
set(velmora_generated_files)

# Writes a gzipped copy of a file of this folder into the build tree and installs it.
function(velmora_install_gzipped source destination)
    get_filename_component(name ${source} NAME)
    set(gzipped ${VELMORA_PACKAGE_FILES}/${name}.gz)
    add_custom_command(OUTPUT ${gzipped}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${VELMORA_PACKAGE_FILES}
        COMMAND ${VELMORA_GZIP} -9 -n -c ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/${source} > ${gzipped}
        DEPENDS ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/${source} VERBATIM)
    install(FILES ${gzipped} DESTINATION ${destination})
    set(velmora_generated_files ${velmora_generated_files} ${gzipped} PARENT_SCOPE)
endfunction()

install(TARGETS velmora-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
velmora_install_gzipped(velmora-cli.1 ${CMAKE_INSTALL_MANDIR}/man1)
velmora_install_gzipped(velmora-thumbnailer.1 ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/copyright DESTINATION ${VELMORA_DOC_DIR})
velmora_install_gzipped(changelog ${VELMORA_DOC_DIR})

# Bash completion of velmora-cli, written by the built program from its own command table.
set(VELMORA_COMPLETION ${VELMORA_PACKAGE_FILES}/velmora-cli.bash)
add_custom_command(OUTPUT ${VELMORA_COMPLETION}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${VELMORA_PACKAGE_FILES}
    COMMAND $<TARGET_FILE:velmora-cli> --completion bash > ${VELMORA_COMPLETION}
    DEPENDS velmora-cli VERBATIM)
list(APPEND velmora_generated_files ${VELMORA_COMPLETION})
install(FILES ${VELMORA_COMPLETION}
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME velmora-cli)

# File managers: the four library kinds and their thumbnails.
install(TARGETS velmora-thumbnailer RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_CURRENT_LIST_DIR}/velmora-mime.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages RENAME velmora.xml)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/velmora.thumbnailer
        DESTINATION ${CMAKE_INSTALL_DATADIR}/thumbnailers)

if(VELMORA_GUI)
    install(TARGETS velmora RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    # The editor's English texts; it looks for them beside the program before its own copy.
    install(FILES ${VELMORA_QM_FILES} DESTINATION ${CMAKE_INSTALL_DATADIR}/velmora/translations)
    velmora_install_gzipped(velmora.1 ${CMAKE_INSTALL_MANDIR}/man1)
    install(FILES ${CMAKE_CURRENT_LIST_DIR}/velmora.desktop
            DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    # Software centres: AppStream metainfo, named after its component id.
    install(FILES ${CMAKE_CURRENT_LIST_DIR}/velmora.metainfo.xml
            DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo RENAME example.velmora.Velmora.metainfo.xml)
    foreach(size 16 22 24 32 48 64 128 256)
        install(FILES ${CMAKE_CURRENT_LIST_DIR}/icons/${size}/velmora.png
                DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
    endforeach()
    install(FILES ${PROJECT_SOURCE_DIR}/app/icons/app.svg
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps RENAME velmora.svg)
endif()

add_custom_target(velmora_package_files ALL DEPENDS ${velmora_generated_files})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velmora)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Velmora developers")
set(CPACK_PACKAGE_CONTACT "Velmora developers <dev@velmora.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "editor for the sprite libraries of a 2-D role-playing game client")
set(CPACK_PACKAGE_DESCRIPTION
    "Velmora browses, imports into and exports from the sprite libraries of a
2-D online role-playing game client: WIL/WIX, WIS, WZL/WZX and the
password-protected Pak container. velmora-cli does the same work from the
command line, and velmora-thumbnailer draws their thumbnails in file managers.")
set(CPACK_PACKAGE_INSTALL_DIRECTORY velmora)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.velmora.example/")
find_program(VELMORA_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(VELMORA_GUI)
    # Qt's own Chinese texts (file dialogs, standard buttons) for the editor's default language.
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-translations-l10n")
endif()
if(VELMORA_DPKG_SHLIBDEPS)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
    set(velmora_depends "libc6 (>= 2.34), libstdc++6 (>= 12), libgcc-s1, zlib1g, libdeflate0, \
libpng16-16, libssl3")
    if(VELMORA_GUI)
        string(PREPEND CPACK_DEBIAN_PACKAGE_DEPENDS
               "${velmora_depends}, libqt6core6, libqt6gui6, libqt6widgets6, ")
    else()
        set(CPACK_DEBIAN_PACKAGE_DEPENDS "${velmora_depends}")
    endif()
endif()
if(VELMORA_GUI)
    # The interface is Chinese; without a CJK font its texts show as boxes.
    set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-wqy-microhei | fonts-noto-cjk")
endif()
include(CPack)
