# Installing like a desktop program, and the .deb package.
#
# Included once from the top-level CMakeLists.txt. The programs bring their own install()
# rules (app/, tools/meter-sim/); this file installs the desktop entry, the icons, the README,
# the copyright file, the changelog, the manual pages and the AppStream metainfo, and sets up
# CPack:
#
#     cmake --install build --prefix /usr/local     # or any other prefix
#     cd build && cpack -G DEB                       # voltrane-meter_<version>_<arch>.deb
#
# Nothing else is installed: no tests, benchmarks, static libraries or headers.

include(GNUInstallDirs)

# One name for the package, the desktop entry id, the icon and the documentation folder.
set(VOLTRANE_PACKAGE_ID "voltrane-meter")
# The AppStream component id, which AppStream wants as a reverse domain name (the maker's, from
# its contact address) with no hyphen; the metainfo names the desktop entry as its launchable.
set(VOLTRANE_APPSTREAM_ID "invalid.quillmarsh.voltrane_meter")

# The programs in bin/, each with its manual page; the command line's only where it is built.
set(_voltrane_bin_programs voltrane-meter voltrane-meter-sim)
if(TARGET voltrane-meter-cli)
    list(APPEND _voltrane_bin_programs voltrane-meter-cli)
endif()

# Folders made by install() get rwxr-xr-x whatever the umask of the person building.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE
    GROUP_READ GROUP_EXECUTE
    WORLD_READ WORLD_EXECUTE)

# qt_standard_project_setup() gives installed programs the RUNPATH $ORIGIN:$ORIGIN/../lib, for
# shared libraries installed beside them. This project installs none (its libraries are static,
# the printing plugin is loaded by its path, Qt's are the system's), and Debian packages carry no
# RUNPATH.
foreach(_program IN ITEMS voltrane-meter voltrane-meter-cli voltrane-meter-cli-report
        voltrane-meter-sim voltrane-printing)
    if(TARGET ${_program})
        set_target_properties(${_program} PROPERTIES INSTALL_RPATH "")
    endif()
endforeach()

# Stripped programs (`cmake --install --strip`, and the .deb) also lose the .comment section, the
# compilers' version strings from every object file, and the .note section, as Debian's own
# packages do: `strip` alone keeps both. This runs after the programs' own install rules, which
# add_subdirectory() put before it.
set(_voltrane_installed_programs "")
foreach(_program IN LISTS _voltrane_bin_programs)
    list(APPEND _voltrane_installed_programs "${CMAKE_INSTALL_BINDIR}/${_program}")
endforeach()
if(TARGET voltrane-meter-cli-report)
    list(APPEND _voltrane_installed_programs
        "${CMAKE_INSTALL_LIBEXECDIR}/${VOLTRANE_PACKAGE_ID}/voltrane-meter-cli-report")
endif()
if(TARGET voltrane-printing)
    list(APPEND _voltrane_installed_programs "${VOLTRANE_PRINTING_DIR}/libvoltrane-printing.so")
endif()
install(CODE "
    if(CMAKE_INSTALL_DO_STRIP)
        foreach(_program IN ITEMS ${_voltrane_installed_programs})
            execute_process(COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment --remove-section=.note
                \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/\${_program}\"
                COMMAND_ERROR_IS_FATAL ANY)
        endforeach()
    endif()")

set(_voltrane_packaging_dir "${PROJECT_SOURCE_DIR}/packaging")
set(_voltrane_icons_dir "${PROJECT_SOURCE_DIR}/resources/icons")

# Desktop entry: share/applications/voltrane-meter.desktop
install(FILES "${_voltrane_packaging_dir}/${VOLTRANE_PACKAGE_ID}.desktop"
    DESTINATION "${CMAKE_INSTALL_DATADIR}/applications")

# The type of kept fetches (*.vmfetch), which the desktop entry opens:
# share/mime/packages/voltrane-meter.xml
install(FILES "${_voltrane_packaging_dir}/${VOLTRANE_PACKAGE_ID}-mime.xml"
    DESTINATION "${CMAKE_INSTALL_DATADIR}/mime/packages"
    RENAME "${VOLTRANE_PACKAGE_ID}.xml")

# What software centres show of the program, with its releases from the changelog:
# share/metainfo/<AppStream id>.metainfo.xml, written at build time by cmake/WriteMetainfo.cmake.
set(_voltrane_metainfo "${PROJECT_BINARY_DIR}/packaging/${VOLTRANE_APPSTREAM_ID}.metainfo.xml")
add_custom_command(OUTPUT "${_voltrane_metainfo}"
    COMMAND "${CMAKE_COMMAND}"
        "-DTEMPLATE=${_voltrane_packaging_dir}/${VOLTRANE_PACKAGE_ID}.metainfo.xml.in"
        "-DCHANGELOG=${_voltrane_packaging_dir}/changelog"
        "-DOUTPUT=${_voltrane_metainfo}"
        "-DAPPSTREAM_ID=${VOLTRANE_APPSTREAM_ID}"
        "-DPACKAGE_ID=${VOLTRANE_PACKAGE_ID}"
        "-DBINARIES=${_voltrane_bin_programs}"
        -P "${PROJECT_SOURCE_DIR}/cmake/WriteMetainfo.cmake"
    DEPENDS "${_voltrane_packaging_dir}/${VOLTRANE_PACKAGE_ID}.metainfo.xml.in"
        "${_voltrane_packaging_dir}/changelog"
        "${PROJECT_SOURCE_DIR}/cmake/WriteMetainfo.cmake"
    VERBATIM)
add_custom_target(voltrane_metainfo ALL DEPENDS "${_voltrane_metainfo}")
install(FILES "${_voltrane_metainfo}" DESTINATION "${CMAKE_INSTALL_DATADIR}/metainfo")

# Icons in the hicolor theme, named after the desktop entry's Icon= key.
foreach(_size IN ITEMS 16 32 48 64 128 256)
    install(FILES "${_voltrane_icons_dir}/voltrane-${_size}.png"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/${_size}x${_size}/apps"
        RENAME "${VOLTRANE_PACKAGE_ID}.png")
endforeach()
install(FILES "${_voltrane_icons_dir}/voltrane.svg"
    DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps"
    RENAME "${VOLTRANE_PACKAGE_ID}.svg")

# The README, with the two pictures it shows (it links them as docs/images/*.png).
set(_voltrane_docdir "${CMAKE_INSTALL_DATAROOTDIR}/doc/${VOLTRANE_PACKAGE_ID}")
install(FILES "${PROJECT_SOURCE_DIR}/README.md" DESTINATION "${_voltrane_docdir}")
install(DIRECTORY "${PROJECT_SOURCE_DIR}/docs/images"
    DESTINATION "${_voltrane_docdir}/docs"
    FILES_MATCHING PATTERN "*.png")

# Debian's documentation files: the licence in the machine-readable copyright format, and the
# changelog. Debian wants the changelog and the manual pages compressed with gzip -9, without a
# timestamp (-n) so that the same sources give the same package.
install(FILES "${_voltrane_packaging_dir}/copyright" DESTINATION "${_voltrane_docdir}")
file(STRINGS "${_voltrane_packaging_dir}/changelog" _voltrane_changelog_top LIMIT_COUNT 1)
if(NOT _voltrane_changelog_top MATCHES "^${VOLTRANE_PACKAGE_ID} \\(${PROJECT_VERSION}\\) ")
    message(FATAL_ERROR "packaging/changelog has no entry for version ${PROJECT_VERSION} on top")
endif()
set(_voltrane_gzipped_dir "${PROJECT_BINARY_DIR}/packaging")
set(_voltrane_gzipped "")
foreach(_source IN ITEMS changelog LISTS _voltrane_bin_programs)
    set(_name "${_source}")
    if(NOT _source STREQUAL "changelog")
        set(_name "${_source}.1")
    endif()
    add_custom_command(OUTPUT "${_voltrane_gzipped_dir}/${_name}.gz"
        COMMAND gzip -9 -n -c "${_voltrane_packaging_dir}/${_name}" > "${_name}.gz"
        DEPENDS "${_voltrane_packaging_dir}/${_name}"
        WORKING_DIRECTORY "${_voltrane_gzipped_dir}"
        VERBATIM)
    list(APPEND _voltrane_gzipped "${_voltrane_gzipped_dir}/${_name}.gz")
endforeach()
file(MAKE_DIRECTORY "${_voltrane_gzipped_dir}")
add_custom_target(voltrane_gzipped_docs ALL DEPENDS ${_voltrane_gzipped})
install(FILES "${_voltrane_gzipped_dir}/changelog.gz" DESTINATION "${_voltrane_docdir}")
list(REMOVE_ITEM _voltrane_gzipped "${_voltrane_gzipped_dir}/changelog.gz")
install(FILES ${_voltrane_gzipped} DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")

# ---- CPack: the Debian package ----------------------------------------------------------------

set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "${VOLTRANE_PACKAGE_ID}")
set(CPACK_PACKAGE_VENDOR "Quillmarsh")
set(CPACK_PACKAGE_CONTACT "Quillmarsh <support@quillmarsh.invalid>")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "PC utility for the Voltrane fence-energizer meter")
# The long description, in lines of under 80 characters; an empty line starts a paragraph.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Voltrane Meter reads the Voltrane hand-held meter over a serial port.\n"
    "Technicians who test electric-fence energizers use it to fetch the\n"
    "meter's four stored data sets (pulse waveform, peak voltage, pulse\n"
    "energy, time between pulses, pulse width and load), to show them as\n"
    "values and as a waveform, and to print a one-page A4 test report.\n"
    "\n"
    "The package also holds voltrane-meter-sim, a meter simulated on a\n"
    "pseudo-terminal, for trying the program without a meter.")
# Binaries without debug information in the package, whatever the build type.
set(CPACK_STRIP_FILES ON)
# The package installs into /usr; CMAKE_INSTALL_PREFIX (/usr/local) is for cmake --install.
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")

set(CPACK_DEBIAN_PACKAGE_NAME "${VOLTRANE_PACKAGE_ID}")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)         # voltrane-meter_<version>_<arch>.deb
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SECTION "electronics")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_COMPRESSION_TYPE "xz")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The architecture comes from `dpkg --print-architecture` (CPack's default for DEB).

# Depends: the shared libraries the programs link, as dpkg-shlibdeps finds them (with the
# version each needs), plus qt6-qpa-plugins, Qt's further platform plugins, and the SQLite
# driver of Qt SQL, which holds the test records: plugins are loaded at run time, so
# dpkg-shlibdeps cannot see them. (In Debian 12 the xcb and offscreen platform
# plugins come with libqt6gui6; qt6-qpa-plugins adds vnc and the TUIO touch input.) Nor can it
# see fonts-liberation2: Liberation Sans is the face of the windows laid out in twips.
# Without dpkg-shlibdeps (package dpkg-dev) or file, the same packages are listed by hand,
# without versions.
set(_voltrane_runtime_plugins "qt6-qpa-plugins, libqt6sql6-sqlite, fonts-liberation2")
find_program(VOLTRANE_DPKG_SHLIBDEPS dpkg-shlibdeps)
find_program(VOLTRANE_FILE_PROGRAM file)
mark_as_advanced(VOLTRANE_DPKG_SHLIBDEPS VOLTRANE_FILE_PROGRAM)
if(VOLTRANE_DPKG_SHLIBDEPS AND VOLTRANE_FILE_PROGRAM)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "${_voltrane_runtime_plugins}")
else()
    message(STATUS "dpkg-shlibdeps or file not found: the .deb's Depends is the fixed list")
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS OFF)
    string(JOIN ", " CPACK_DEBIAN_PACKAGE_DEPENDS
        libc6 libstdc++6 libgcc-s1
        libqt6core6 libqt6gui6 libqt6widgets6 libqt6serialport6 libqt6printsupport6 libqt6sql6
        libcups2
        ${_voltrane_runtime_plugins})
endif()
# Qt draws text with whatever fonts there are; without any the windows show no text. Qt's
# PostgreSQL driver, a plugin too, is needed only to share the records on a team server.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-dejavu-core, libqt6sql6-psql")

include(CPack)
