# Installing the kit (programs, manual pages, documents) and packaging it as a .deb and a
# .tar.gz. The simulated camera and its launcher are installed from camsim/.

install(TARGETS ${CAMKIT_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        COMPONENT programs)
# Built on the simulated camera, the programs' RUNPATH points into the build tree: installed
# programs have none.
if(CAMKIT_SIMULATOR)
    foreach(program ${CAMKIT_PROGRAMS})
        install(CODE "file(RPATH_REMOVE FILE
            \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/$<TARGET_FILE_NAME:${program}>\")"
            COMPONENT programs)
    endforeach()
endif()
install(FILES README.md CHANGELOG.md DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT docs)
# The pictures and the developers' notes the README links to.
install(DIRECTORY docs/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs COMPONENT docs
        FILES_MATCHING PATTERN "*.png" PATTERN "*.md")

# Manual pages, beside each program's source, and the kit's own page in docs/:
# <name>.<section> in English, <name>.es.<section> in Spanish, installed compressed as Debian
# keeps them.
set(man_pages)
foreach(program ${CAMKIT_PROGRAMS})
    list(APPEND man_pages tools/${program}/${program}.1)
endforeach()
list(APPEND man_pages camsim/camsim.1 docs/camkit.7)
set(man_outputs)
foreach(page ${man_pages})
    get_filename_component(name ${page} NAME_WE)
    get_filename_component(directory ${page} DIRECTORY)
    get_filename_component(extension ${page} LAST_EXT)
    string(SUBSTRING ${extension} 1 -1 section)
    foreach(language en es)
        if(language STREQUAL "en")
            set(source ${PROJECT_SOURCE_DIR}/${page})
            set(section_dir man${section})
        else()
            set(source ${PROJECT_SOURCE_DIR}/${directory}/${name}.${language}.${section})
            set(section_dir ${language}/man${section})
        endif()
        set(output ${CMAKE_BINARY_DIR}/man/${section_dir}/${name}.${section}.gz)
        add_custom_command(OUTPUT ${output}
                           COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man/${section_dir}
                           COMMAND gzip -9 -n -c ${source} > ${output}
                           DEPENDS ${source} VERBATIM)
        install(FILES ${output} DESTINATION ${CMAKE_INSTALL_MANDIR}/${section_dir} COMPONENT man)
        list(APPEND man_outputs ${output})
    endforeach()
endforeach()
add_custom_target(man_pages ALL DEPENDS ${man_outputs})

# The package's maintainer, also named in the changelog and the copyright file.
set(CPACK_PACKAGE_CONTACT "camkit maintainers <camkit@example.org>" CACHE STRING
    "Maintainer field of the package")

# What Debian asks of every package's documentation directory: the changelog, in Debian's
# format, made from CHANGELOG.md and compressed reproducibly (no name, no time stamp), and the
# licence in the machine-readable copyright format, made from LICENSE so the two never differ.
# Lintian's overrides go with the package.
set(changelog ${CMAKE_BINARY_DIR}/doc/changelog.gz)
set(changelog_script ${PROJECT_SOURCE_DIR}/packaging/debian_changelog.awk)
add_custom_command(OUTPUT ${changelog}
                   COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/doc
                   COMMAND awk -v package=${PROJECT_NAME} -v maintainer=${CPACK_PACKAGE_CONTACT}
                               -f ${changelog_script} ${PROJECT_SOURCE_DIR}/CHANGELOG.md
                               > ${CMAKE_BINARY_DIR}/doc/changelog
                   COMMAND gzip -9 -n -f ${CMAKE_BINARY_DIR}/doc/changelog
                   DEPENDS ${PROJECT_SOURCE_DIR}/CHANGELOG.md ${changelog_script} VERBATIM)
add_custom_target(changelog ALL DEPENDS ${changelog})
install(FILES ${changelog} DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT docs)

file(READ ${PROJECT_SOURCE_DIR}/LICENSE licence)
# The licence's terms without its title and copyright line, as a copyright file's license
# paragraph holds them: each line indented by one space, an empty line as " .".
string(FIND "${licence}" "Permission is hereby granted" terms_start)
string(SUBSTRING "${licence}" ${terms_start} -1 terms)
string(STRIP "${terms}" terms)
string(REGEX REPLACE "\n\n" "\n.\n" terms "${terms}")
string(REGEX REPLACE "\n" "\n " CAMKIT_LICENSE_TEXT " ${terms}")
file(READ ${PROJECT_SOURCE_DIR}/packaging/copyright.in copyright)
string(REGEX REPLACE "^#[^\n]*\n" "" copyright "${copyright}")
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/doc/copyright CONTENT "${copyright}" @ONLY)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${PROJECT_SOURCE_DIR}/packaging/copyright.in ${PROJECT_SOURCE_DIR}/LICENSE)
install(FILES ${CMAKE_BINARY_DIR}/doc/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR}
        COMPONENT docs)
install(FILES packaging/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
        RENAME camkit COMPONENT docs)

# A stripped install (cmake --install --strip, and both packages) also drops the compiler's
# .comment section from every program and library, as Debian's own packages do.
set(elf_files)
foreach(program ${CAMKIT_PROGRAMS})
    list(APPEND elf_files "${CMAKE_INSTALL_BINDIR}/$<TARGET_FILE_NAME:${program}>")
endforeach()
foreach(library camsim_base camsim_sdk)
    list(APPEND elf_files "${CMAKE_INSTALL_LIBDIR}/camkit/$<TARGET_FILE_NAME:${library}>")
endforeach()
install(CODE "
    if(CMAKE_INSTALL_DO_STRIP)
        foreach(file ${elf_files})
            execute_process(COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment
                                    \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/\${file}\"
                            COMMAND_ERROR_IS_FATAL ANY)
        endforeach()
    endif()" COMPONENT programs)

set(CPACK_GENERATOR DEB TGZ)
set(CPACK_PACKAGE_NAME camkit)
set(CPACK_PACKAGE_VENDOR "camkit")
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
# Set by hand, as dpkg-shlibdeps finds them (CI checks the two agree): CPack's own
# dpkg-shlibdeps run would also add ldconfig calls to the maintainer scripts for the
# simulated camera's private libraries, which Debian no longer wants. The simulated camera
# needs libpng.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libc6 (>= 2.34), libgcc-s1 (>= 3.0), libpng16-16 (>= 1.6.2-1), libstdc++6 (>= 12)")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "man-db")
include(CPack)
