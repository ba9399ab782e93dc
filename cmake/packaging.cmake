# What `cmake --install` puts where, and the release packages CPack makes of it: a Debian
# package of the native tools (cpack -G DEB) and, in the Windows cross build, a ZIP of the
# Windows programs (cpack -G ZIP).
#
# Native layout (prefix /usr in the Debian package):
#   bin/stitch, bin/orvo
#   lib/<multiarch>/orvo/     the stand-in platform layer and SDK the programs and the
#                             plug-in load, and the plug-in module saveorvo.bmi
#   share/orvo/viewer/        the web viewer, where orvo web looks for it (<exe>/../share)
#   share/man/man1/           stitch.1.gz, orvo.1.gz from the programs' --help
#   share/doc/orvo/           README.md
# Windows layout (one folder): stitch.exe, orvo.exe, saveorvo.bmi, viewer\ (where orvo.exe
# looks beside itself), README.md and INSTALL.txt.
include(GNUInstallDirs)

set(ORVO_PACKAGE_MAINTAINER "Orvo maintainers" CACHE STRING
    "Maintainer field of the Debian package")

if(WIN32)
    set(orvo_bin_dir .)
    set(orvo_module_dir .)
    set(orvo_viewer_dir viewer)
    set(orvo_doc_dir .)
else()
    set(orvo_bin_dir ${CMAKE_INSTALL_BINDIR})
    # In the multiarch folder on Debian, whatever the prefix: libraries there are found by
    # their programs alone, so the package needs no ldconfig scripts.
    if(CMAKE_LIBRARY_ARCHITECTURE AND CMAKE_INSTALL_LIBDIR STREQUAL "lib")
        set(orvo_private_dir lib/${CMAKE_LIBRARY_ARCHITECTURE}/orvo)
    else()
        set(orvo_private_dir ${CMAKE_INSTALL_LIBDIR}/orvo)
    endif()
    set(orvo_module_dir ${orvo_private_dir})
    set(orvo_viewer_dir ${CMAKE_INSTALL_DATADIR}/orvo/viewer)
    set(orvo_doc_dir ${CMAKE_INSTALL_DATADIR}/doc/orvo)
endif()

# The programs. orvo.exe joins the Windows folder once the Windows build makes it.
set(orvo_programs stitch)
if(TARGET orvo_tool)
    list(APPEND orvo_programs orvo_tool)
endif()
install(TARGETS ${orvo_programs} RUNTIME DESTINATION ${orvo_bin_dir})
install(TARGETS saveorvo LIBRARY DESTINATION ${orvo_module_dir}
                         RUNTIME DESTINATION ${orvo_module_dir})

if(NOT WIN32)
    # The platform layer and the SDK stand-in are shared libraries of this project alone;
    # they live in a folder of their own that the programs and the module find relative to
    # themselves.
    install(TARGETS platform LIBRARY DESTINATION ${orvo_private_dir})
    file(RELATIVE_PATH orvo_bin_to_private /${orvo_bin_dir} /${orvo_private_dir})
    set_target_properties(${orvo_programs} PROPERTIES
        INSTALL_RPATH "$ORIGIN/${orvo_bin_to_private}")
    set_target_properties(saveorvo PROPERTIES INSTALL_RPATH "$ORIGIN")
    if(NOT ORVO_MAXSDK_DIR)
        install(TARGETS maxsdk LIBRARY DESTINATION ${orvo_private_dir})
        set_target_properties(maxsdk PROPERTIES INSTALL_RPATH "$ORIGIN")
    endif()
endif()

# The viewer's own files, as orvo web copies them: not its tests, their npm packages or
# hidden files.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/viewer/ DESTINATION ${orvo_viewer_dir}
        PATTERN tests EXCLUDE
        PATTERN node_modules EXCLUDE
        PATTERN ".*" EXCLUDE)

# The project has a README and no licence text to install.
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${orvo_doc_dir})

if(WIN32)
    # Where the plug-in goes and how to run the programs, with CR LF line ends for every
    # editor on Windows.
    set(ORVO_INSTALL_ORVO_FILES)
    set(ORVO_INSTALL_ORVO_SECTION)
    if(TARGET orvo_tool)
        set(ORVO_INSTALL_ORVO_FILES
            "orvo.exe       shows what an Orvo file holds and opens it in the web viewer
viewer\\        the web viewer that orvo.exe copies beside a file; keep it there
")
        file(READ ${CMAKE_CURRENT_LIST_DIR}/INSTALL_orvo.txt.in ORVO_INSTALL_ORVO_SECTION)
        string(PREPEND ORVO_INSTALL_ORVO_SECTION "\n")
    endif()
    set(ORVO_INSTALL_SDK_NOTE)
    if(NOT ORVO_MAXSDK_DIR)
        set(ORVO_INSTALL_SDK_NOTE "
This saveorvo.bmi is built on the project's stand-in for the 3ds Max SDK (libmaxsdk.dll),
for tests without 3ds Max, and 3ds Max does not load it. The plug-in for 3ds Max is built
with the real SDK: configure with -DORVO_MAXSDK_DIR=<the SDK's folder>.
")
    endif()
    # A second pass turns the line ends of the values filled in as well.
    configure_file(${CMAKE_CURRENT_LIST_DIR}/INSTALL.txt.in
                   ${PROJECT_BINARY_DIR}/INSTALL.txt.lf @ONLY)
    configure_file(${PROJECT_BINARY_DIR}/INSTALL.txt.lf
                   ${PROJECT_BINARY_DIR}/INSTALL.txt @ONLY NEWLINE_STYLE CRLF)
    install(FILES ${PROJECT_BINARY_DIR}/INSTALL.txt DESTINATION .)
elseif(NOT CMAKE_CROSSCOMPILING)
    # Manual pages from the programs' own --help, written when the programs are built.
    find_program(ORVO_HELP2MAN help2man)
    if(NOT ORVO_HELP2MAN)
        message(FATAL_ERROR "help2man is missing (scripts/setup.sh installs it)")
    endif()
    # orvo's commands, export among them where the tool was built with it (OpenEXR found).
    set(orvo_commands "info|query|preview|web")
    if(TARGET orvo_tool)
        get_target_property(orvo_definitions orvo_tool COMPILE_DEFINITIONS)
        if("ORVO_HAS_EXPORT=1" IN_LIST orvo_definitions)
            string(APPEND orvo_commands "|export")
        endif()
    endif()
    set(pages)
    foreach(page "stitch|stitch|join six cube-face renders into one Orvo panorama|"
                 "orvo_tool|orvo|show what an Orvo file holds|${orvo_commands}")
        string(REPLACE "|" ";" page "${page}")
        list(GET page 0 target)
        list(GET page 1 name)
        list(GET page 2 summary)
        list(SUBLIST page 3 -1 commands)
        set(page ${PROJECT_BINARY_DIR}/man/${name}.1.gz)
        add_custom_command(
            OUTPUT ${page}
            COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/man
            COMMAND ${CMAKE_COMMAND} -DHELP2MAN=${ORVO_HELP2MAN} -DPROGRAM=$<TARGET_FILE:${target}>
                    "-DSUMMARY=${summary}" "-DCOMMANDS=${commands}" -DOUTPUT=${page}
                    -P ${CMAKE_CURRENT_LIST_DIR}/manual_page.cmake
            DEPENDS ${target} ${CMAKE_CURRENT_LIST_DIR}/manual_page.cmake
            COMMENT "Writing the manual page of ${name}"
            VERBATIM)
        list(APPEND pages ${page})
    endforeach()
    add_custom_target(manual_pages ALL DEPENDS ${pages})
    install(FILES ${pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()

# The packages.
set(CPACK_PACKAGE_NAME orvo)
set(CPACK_PACKAGE_VENDOR "Orvo")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Orvo files: stitch, the orvo inspector, the web viewer and the saveorvo plug-in")
set(CPACK_PACKAGE_DESCRIPTION
    "Orvo files are TIFF files that carry, pixel for pixel, a depth layer and an object-id \
layer with a table of object names and colours, and the camera that took the view.
stitch joins six cube-face renders into one panorama; orvo shows what a file holds, \
answers single pixels with their world positions, writes PNG previews of its layers and \
writes a folder with the web viewer that opens the file.")
set(CPACK_PACKAGE_CHECKSUM SHA256)
set(CPACK_STRIP_FILES ON)
if(WIN32)
    set(CPACK_GENERATOR ZIP)
    set(CPACK_SYSTEM_NAME win64)
else()
    set(CPACK_GENERATOR DEB)
    set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${ORVO_PACKAGE_MAINTAINER}")
    set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)
endif()
include(CPack)

# The packages as cpack makes them, inspected, unpacked and run: the Debian package in a
# scratch root, the ZIP under Wine (in the Wine session of the Windows tests).
set(orvo_package_test ${PROJECT_SOURCE_DIR}/tests/release_packages.py)
if(ORVO_BUILD_TESTS AND TARGET render_host)
    add_test(NAME Packages.Debian
             COMMAND ${ORVO_PYTHON} ${orvo_package_test} deb ${PROJECT_BINARY_DIR}
                     ${CMAKE_CPACK_COMMAND} $<TARGET_FILE:render_host> ${PROJECT_VERSION}
                     ${PROJECT_SOURCE_DIR})
    set_tests_properties(Packages.Debian PROPERTIES TIMEOUT 600)
elseif(WIN32 AND CMAKE_CROSSCOMPILING AND TARGET render_host)
    if(TARGET orvo_tool)
        set(orvo_has_tool 1)
    else()
        set(orvo_has_tool 0)
    endif()
    add_test(NAME Windows.ReleaseZip
             COMMAND /usr/bin/python3 ${orvo_package_test} zip ${PROJECT_BINARY_DIR}
                     ${CMAKE_CPACK_COMMAND} ${CMAKE_CROSSCOMPILING_EMULATOR}
                     ${PROJECT_VERSION} ${PROJECT_SOURCE_DIR} ${orvo_has_tool})
    set_tests_properties(Windows.ReleaseZip PROPERTIES TIMEOUT 600 FIXTURES_REQUIRED Wine
        ENVIRONMENT "WINEPREFIX=${ORVO_WINEPREFIX};WINEDEBUG=-all;LANG=C.UTF-8;WINEDLLOVERRIDES=mscoree,mshtml=")
endif()
