# Installing the kit (programs, manual pages, documents) and packaging it as a .deb and a
# .tar.gz. The simulated camera and its launcher are installed from camsim/.

install(TARGETS ${CAMKIT_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        COMPONENT programs)
install(FILES README.md CHANGELOG.md DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT docs)
install(DIRECTORY docs/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs COMPONENT docs
        FILES_MATCHING PATTERN "*.png")

# Manual pages, beside each program's source: <name>.1 in English, <name>.es.1 in Spanish,
# installed compressed as Debian keeps them.
set(man_pages)
foreach(program ${CAMKIT_PROGRAMS})
    list(APPEND man_pages tools/${program}/${program})
endforeach()
list(APPEND man_pages camsim/camsim)
set(man_outputs)
foreach(page ${man_pages})
    get_filename_component(name ${page} NAME)
    foreach(language en es)
        if(language STREQUAL "en")
            set(source ${PROJECT_SOURCE_DIR}/${page}.1)
            set(section_dir man1)
        else()
            set(source ${PROJECT_SOURCE_DIR}/${page}.${language}.1)
            set(section_dir ${language}/man1)
        endif()
        set(output ${CMAKE_BINARY_DIR}/man/${section_dir}/${name}.1.gz)
        add_custom_command(OUTPUT ${output}
                           COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man/${section_dir}
                           COMMAND gzip -9 -n -c ${source} > ${output}
                           DEPENDS ${source} VERBATIM)
        install(FILES ${output} DESTINATION ${CMAKE_INSTALL_MANDIR}/${section_dir} COMPONENT man)
        list(APPEND man_outputs ${output})
    endforeach()
endforeach()
add_custom_target(man_pages ALL DEPENDS ${man_outputs})

set(CPACK_GENERATOR DEB TGZ)
set(CPACK_PACKAGE_NAME camkit)
set(CPACK_PACKAGE_VENDOR "camkit")
set(CPACK_PACKAGE_CONTACT "camkit maintainers <camkit@example.org>" CACHE STRING
    "Maintainer field of the package")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
# The long description, in lines short enough for the package tools.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Seven small programs that take ten-frame BMP series from the first camera\n"
    "the camera SDK finds (as it stands, with auto exposure off, or with the\n"
    "exposure and gain from two settings files), set its exposure time or gain\n"
    "from a typed value, and print them. The operator dialogue is in Spanish.\n"
    "The kit carries a simulated camera, installed in a private directory and\n"
    "run through the camsim launcher, so it can be tried without a camera.")
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Set by hand: dpkg-shlibdeps cannot resolve the camera SDK the programs link, which no
# Debian package provides. The simulated camera needs libpng.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libc6 (>= 2.34), libgcc-s1 (>= 3.0), libstdc++6 (>= 12), libpng16-16 (>= 1.6.2)")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "man-db")
include(CPack)
