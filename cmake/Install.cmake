# Installation and the Debian package.
#
#   prefix/bin/                      kestrel, kestrel-cli
#   prefix/lib/kestrel/              the components and their registration file
#   prefix/share/kestrel/            LANG/ and the help book
#   prefix/share/applications, icons/hicolor, metainfo, man/man1, bash-completion
#
# The programs find the private folders relative to their own (platform/ProgramFolders.h), so
# an installation works wherever its prefix is. Package: scripts/package.
include(GNUInstallDirs)

set(KESTREL_HOMEPAGE "https://kestrel.example.org" CACHE STRING
    "The project's web site; the software centre shows the screenshots under it")
set(KESTREL_APP_ID "org.example.kestrel" CACHE STRING
    "The software centre's id: the web site's domain reversed, then the program")

set(KESTREL_INSTALL_LIBRARYDIR "lib/kestrel" CACHE STRING
    "The components' private folder, relative to the prefix")
set(KESTREL_INSTALL_DATADIR "${CMAKE_INSTALL_DATADIR}/kestrel" CACHE STRING
    "The language files and the help book, relative to the prefix")
foreach(dir CMAKE_INSTALL_BINDIR KESTREL_INSTALL_LIBRARYDIR KESTREL_INSTALL_DATADIR)
    if(IS_ABSOLUTE "${${dir}}")
        message(FATAL_ERROR "${dir} must be relative to the prefix, so the installation can move")
    endif()
endforeach()

file(RELATIVE_PATH kestrel_library_from_bindir
    /prefix/${CMAKE_INSTALL_BINDIR} /prefix/${KESTREL_INSTALL_LIBRARYDIR})
file(RELATIVE_PATH kestrel_data_from_bindir
    /prefix/${CMAKE_INSTALL_BINDIR} /prefix/${KESTREL_INSTALL_DATADIR})
file(RELATIVE_PATH kestrel_icons_from_bindir
    /prefix/${CMAKE_INSTALL_BINDIR} /prefix/${CMAKE_INSTALL_DATADIR}/icons/hicolor)
target_compile_definitions(kestrel_platform PRIVATE
    KESTREL_LIBRARY_FROM_BINDIR="${kestrel_library_from_bindir}"
    KESTREL_DATA_FROM_BINDIR="${kestrel_data_from_bindir}"
    KESTREL_ICONS_FROM_BINDIR="${kestrel_icons_from_bindir}")

# The programs and what they load.
target_compile_definitions(kestrel-cli PRIVATE KESTREL_VERSION="${PROJECT_VERSION}")
install(TARGETS kestrel-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET kestrel)
    target_compile_definitions(kestrel PRIVATE KESTREL_VERSION="${PROJECT_VERSION}")
    install(TARGETS kestrel RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
get_property(kestrel_components GLOBAL PROPERTY KESTREL_COMPONENT_TARGETS)
install(TARGETS ${kestrel_components} LIBRARY DESTINATION ${KESTREL_INSTALL_LIBRARYDIR})
install(FILES ${KESTREL_OUTPUT_DIR}/kestrel-classes.reg DESTINATION ${KESTREL_INSTALL_LIBRARYDIR})
# What the build puts beside the programs, as the programs read it there.
install(DIRECTORY ${KESTREL_OUTPUT_DIR}/LANG DESTINATION ${KESTREL_INSTALL_DATADIR})
install(DIRECTORY ${KESTREL_OUTPUT_DIR}/help DESTINATION ${KESTREL_INSTALL_DATADIR} OPTIONAL)

# Desktop integration: the menu entry, the icon at the theme's sizes, the software centre's
# description. The pictures are drawn from the one SVG at build time.
set(kestrel_dist ${CMAKE_SOURCE_DIR}/dist)
set(kestrel_dist_out ${CMAKE_BINARY_DIR}/dist)
find_program(RSVG_CONVERT rsvg-convert REQUIRED)
find_program(GZIP gzip REQUIRED)
set(kestrel_dist_files)
# The build keeps them beside the programs, where the window finds its icon as it does in the
# theme once installed.
foreach(size 16 22 24 32 48 64 128 256)
    set(png_dir ${KESTREL_OUTPUT_DIR}/icons/hicolor/${size}x${size}/apps)
    set(png ${png_dir}/kestrel.png)
    add_custom_command(OUTPUT ${png}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${png_dir}
        COMMAND ${RSVG_CONVERT} -w ${size} -h ${size} -o ${png} ${kestrel_dist}/kestrel.svg
        DEPENDS ${kestrel_dist}/kestrel.svg
        VERBATIM)
    list(APPEND kestrel_dist_files ${png})
    install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
install(FILES ${kestrel_dist}/kestrel.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${kestrel_dist}/kestrel.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
configure_file(${kestrel_dist}/kestrel.metainfo.xml.in
    ${kestrel_dist_out}/${KESTREL_APP_ID}.metainfo.xml @ONLY)
install(FILES ${kestrel_dist_out}/${KESTREL_APP_ID}.metainfo.xml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# Manual pages, compressed as the distribution keeps them; bash completion.
foreach(page kestrel.1 kestrel-cli.1)
    configure_file(${kestrel_dist}/man/${page}.in ${kestrel_dist_out}/man/${page} @ONLY)
    set(gz ${kestrel_dist_out}/man/${page}.gz)
    add_custom_command(OUTPUT ${gz}
        COMMAND ${GZIP} -9nc ${kestrel_dist_out}/man/${page} > ${gz}
        DEPENDS ${kestrel_dist_out}/man/${page})
    list(APPEND kestrel_dist_files ${gz})
    install(FILES ${gz} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
install(FILES ${kestrel_dist}/kestrel-cli.bash-completion
    DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME kestrel-cli)
add_custom_target(kestrel_dist ALL DEPENDS ${kestrel_dist_files})
if(TARGET kestrel)
    add_dependencies(kestrel kestrel_dist)
endif()

# The Debian package: scripts/package builds it.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kestrel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Kestrel developers")
set(CPACK_PACKAGE_CONTACT "Kestrel developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "takes the attachments out of stored e-mail")
set(CPACK_PACKAGE_DESCRIPTION
"Kestrel saves the attachments of stored e-mail as ordinary files, each dated like
the mail that carried it, with an HTML report that shows the pictures page by page.
It reads folder-per-mail-folder stores of .eml files and Outlook Express .dbx files.
The package holds the desktop program and kestrel-cli, which does the same work
from the command line.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION mail)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${KESTREL_HOMEPAGE})
# wxWidgets, GMime and the C++ runtime from the libraries the programs link; xdg-open opens
# reports and folders.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "xdg-utils")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
