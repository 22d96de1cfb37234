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
if(CAMKIT_ARAVIS_BUILT)
    list(APPEND man_pages camaravis/camaravis.1)
endif()
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
        # camaravis's pages go in its own package.
        set(component man)
        if(name STREQUAL "camaravis")
            set(component aravis)
        endif()
        install(FILES ${output} DESTINATION ${CMAKE_INSTALL_MANDIR}/${section_dir}
                COMPONENT ${component})
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
set(changelog_script ${PROJECT_SOURCE_DIR}/packaging/debian_changelog.awk)
set(packages ${PROJECT_NAME})
if(CAMKIT_ARAVIS_BUILT)
    list(APPEND packages ${PROJECT_NAME}-aravis)
endif()
set(changelogs)
foreach(package ${packages})
    set(changelog ${CMAKE_BINARY_DIR}/doc/${package}/changelog.gz)
    add_custom_command(OUTPUT ${changelog}
                       COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/doc/${package}
                       COMMAND awk -v package=${package} -v maintainer=${CPACK_PACKAGE_CONTACT}
                                   -f ${changelog_script} ${PROJECT_SOURCE_DIR}/CHANGELOG.md
                                   > ${CMAKE_BINARY_DIR}/doc/${package}/changelog
                       COMMAND gzip -9 -n -f ${CMAKE_BINARY_DIR}/doc/${package}/changelog
                       DEPENDS ${PROJECT_SOURCE_DIR}/CHANGELOG.md ${changelog_script} VERBATIM)
    list(APPEND changelogs ${changelog})
endforeach()
add_custom_target(changelog ALL DEPENDS ${changelogs})
install(FILES ${CMAKE_BINARY_DIR}/doc/${PROJECT_NAME}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR}
        COMPONENT docs)

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
if(CAMKIT_ARAVIS_BUILT)
    install(FILES ${CMAKE_BINARY_DIR}/doc/copyright
                  ${CMAKE_BINARY_DIR}/doc/${PROJECT_NAME}-aravis/changelog.gz
            DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${PROJECT_NAME}-aravis COMPONENT aravis)
endif()
install(FILES packaging/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
        RENAME camkit COMPONENT docs)

# A stripped install (cmake --install --strip, and both packages) also drops the compiler's
# .comment section from every program and library, as Debian's own packages do.
function(strip_comments component)
    install(CODE "
        if(CMAKE_INSTALL_DO_STRIP)
            foreach(file ${ARGN})
                execute_process(COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment
                                        \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/\${file}\"
                                COMMAND_ERROR_IS_FATAL ANY)
            endforeach()
        endif()" COMPONENT ${component})
endfunction()
set(elf_files)
foreach(program ${CAMKIT_PROGRAMS})
    list(APPEND elf_files "${CMAKE_INSTALL_BINDIR}/$<TARGET_FILE_NAME:${program}>")
endforeach()
strip_comments(programs ${elf_files})
# Each camera's libraries with their own component: a package installs its components alone.
set(camsim_dir ${CMAKE_INSTALL_LIBDIR}/camkit)
strip_comments(simulator "${camsim_dir}/$<TARGET_FILE_NAME:camsim_sdk>"
                         "${camsim_dir}/$<TARGET_FILE_NAME:camsim_base>")
if(CAMKIT_ARAVIS_BUILT)
    strip_comments(aravis "${camsim_dir}/aravis/$<TARGET_FILE_NAME:camaravis_sdk>"
                          "${camsim_dir}/aravis/$<TARGET_FILE_NAME:camaravis_base>")
endif()

set(CPACK_GENERATOR DEB TGZ)
set(CPACK_PACKAGE_NAME camkit)
set(CPACK_PACKAGE_VENDOR "camkit")
# Two Debian packages: camkit (the programs, the simulated camera, the pages and documents)
# and, with the camera over Aravis built, camkit-aravis (its libraries, launcher and pages,
# for camkit's programs). The .tar.gz holds everything.
set(CPACK_DEB_COMPONENT_INSTALL ON)
foreach(component PROGRAMS SIMULATOR MAN DOCS)
    set(CPACK_COMPONENT_${component}_GROUP kit)
endforeach()
set(CPACK_COMPONENT_ARAVIS_GROUP aravis)
set(CPACK_DEBIAN_KIT_PACKAGE_NAME camkit)
set(CPACK_DEBIAN_ARAVIS_PACKAGE_NAME camkit-aravis)
# Each package's description starts with its own summary line: CPack would put a summary
# set here before both.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "")
# The long descriptions, in lines short enough for the package tools.
string(CONCAT CPACK_DEBIAN_KIT_DESCRIPTION "${PROJECT_DESCRIPTION}\n"
    "Seven small programs that take ten-frame BMP series from the first camera\n"
    "the camera SDK finds (as it stands, with auto exposure off, or with the\n"
    "exposure and gain from two settings files), set its exposure time or gain\n"
    "from a typed value, and print them. The operator dialogue is in Spanish.\n"
    "The kit carries a simulated camera, installed in a private directory and\n"
    "run through the camsim launcher, so it can be tried without a camera.")
string(CONCAT CPACK_DEBIAN_ARAVIS_DESCRIPTION
    "camkit's programs on GigE Vision and USB3 Vision cameras, through Aravis\n"
    "The camera SDK's operations over the Aravis library, so that camkit's seven\n"
    "programs drive industrial cameras that speak GigE Vision or USB3 Vision\n"
    "(GenICam) and print the same lines. Installed in a private directory and\n"
    "run through the camaravis launcher, as in: camaravis captura_simple.")
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Set by hand, as dpkg-shlibdeps finds them (CI checks the two agree): CPack's own
# dpkg-shlibdeps run would also add ldconfig calls to the maintainer scripts for the
# simulated camera's private libraries, which Debian no longer wants. The simulated camera
# needs libpng.
set(CPACK_DEBIAN_KIT_PACKAGE_DEPENDS
    "libc6 (>= 2.34), libgcc-s1 (>= 3.0), libpng16-16 (>= 1.6.2-1), libstdc++6 (>= 12)")
# The camera over Aravis needs Aravis and GLib, and camkit's programs to run on it.
string(CONCAT CPACK_DEBIAN_ARAVIS_PACKAGE_DEPENDS
    "libaravis-0.8-0 (>= 0.8.26), libc6 (>= 2.34), libgcc-s1 (>= 3.0), libglib2.0-0 (>= 2.28.0), "
    "libstdc++6 (>= 12), camkit (= ${PROJECT_VERSION})")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "man-db")
include(CPack)
