# Whether to build the camera over Aravis (camaravis/): CAMKIT_ARAVIS=AUTO builds it when
# pkg-config finds aravis-0.8, ON requires it, OFF leaves it out. The configure summary says
# which (CAMKIT_ARAVIS_SUMMARY).
set(CAMKIT_ARAVIS AUTO CACHE STRING "Build the camera over Aravis: AUTO (when found), ON or OFF")
set_property(CACHE CAMKIT_ARAVIS PROPERTY STRINGS AUTO ON OFF)
string(TOUPPER "${CAMKIT_ARAVIS}" camkit_aravis)
if(NOT camkit_aravis MATCHES "^(AUTO|ON|OFF)$")
    message(FATAL_ERROR "CAMKIT_ARAVIS is AUTO, ON or OFF, not '${CAMKIT_ARAVIS}'")
endif()

set(CAMKIT_ARAVIS_BUILT OFF)
if(camkit_aravis STREQUAL "OFF")
    set(CAMKIT_ARAVIS_SUMMARY "not built (CAMKIT_ARAVIS=OFF)")
else()
    find_package(PkgConfig)
    if(PKG_CONFIG_FOUND)
        # Debian's libaravis-dev names libusb-1.0 in its pkg-config file: without
        # libusb-1.0-0-dev installed, aravis-0.8 is not found either.
        pkg_check_modules(ARAVIS QUIET IMPORTED_TARGET aravis-0.8)
    endif()
    if(ARAVIS_FOUND)
        set(CAMKIT_ARAVIS_BUILT ON)
        set(CAMKIT_ARAVIS_SUMMARY
            "built (CAMKIT_ARAVIS=${camkit_aravis}, aravis-0.8 ${ARAVIS_VERSION}): camaravis")
    elseif(camkit_aravis STREQUAL "ON")
        message(FATAL_ERROR "CAMKIT_ARAVIS=ON: pkg-config finds no aravis-0.8. Install it "
                            "(Debian: apt-get install libaravis-dev libusb-1.0-0-dev), or "
                            "configure with -DCAMKIT_ARAVIS=AUTO or OFF.")
    else()
        set(CAMKIT_ARAVIS_SUMMARY "not built (CAMKIT_ARAVIS=AUTO: pkg-config finds no "
                                  "aravis-0.8; Debian: libaravis-dev libusb-1.0-0-dev)")
    endif()
endif()
if(CAMKIT_ARAVIS_BUILT)
    add_subdirectory(${PROJECT_SOURCE_DIR}/camaravis ${CMAKE_BINARY_DIR}/camaravis)
endif()
