# Chooses the camera SDK every program links: an installed one, or the simulated camera.
# The simulated camera is built either way (the tests and the camsim launcher run on it).
# Programs link both libraries by soname, with a RUNPATH, so LD_LIBRARY_PATH can swap in
# another build of the SDK without relinking.

# RUNPATH rather than RPATH, so LD_LIBRARY_PATH takes precedence.
add_link_options("LINKER:--enable-new-dtags")

add_subdirectory(${PROJECT_SOURCE_DIR}/sdk ${CMAKE_BINARY_DIR}/sdk)
add_subdirectory(${PROJECT_SOURCE_DIR}/core ${CMAKE_BINARY_DIR}/core)
add_subdirectory(${PROJECT_SOURCE_DIR}/camsim ${CMAKE_BINARY_DIR}/camsim)

if(NOT CAMERA_SDK MATCHES "^(auto|system|sim)$")
    message(FATAL_ERROR "CAMERA_SDK must be auto, system or sim, not '${CAMERA_SDK}'")
endif()

if(NOT CAMERA_SDK STREQUAL "sim")
    find_library(CAMERA_SDK_C_LIBRARY NAMES libflycapture-c.so.2 flycapture-c)
    find_library(CAMERA_SDK_LIBRARY NAMES libflycapture.so.2 flycapture)
endif()

add_library(camera_sdk INTERFACE)
target_link_libraries(camera_sdk INTERFACE sdk)
target_link_options(camera_sdk INTERFACE "LINKER:--no-as-needed")

if(CAMERA_SDK STREQUAL "sim" OR
   (CAMERA_SDK STREQUAL "auto" AND NOT (CAMERA_SDK_C_LIBRARY AND CAMERA_SDK_LIBRARY)))
    if(CAMERA_SDK STREQUAL "auto")
        # Where find_library looked: the prefixes it was given, then the system's.
        string(REPLACE ":" ";" env_prefixes "$ENV{CMAKE_PREFIX_PATH}")
        set(searched ${CMAKE_PREFIX_PATH} ${CMAKE_LIBRARY_PATH} ${env_prefixes}
                     ${CMAKE_SYSTEM_PREFIX_PATH})
        list(REMOVE_DUPLICATES searched)
        list(JOIN searched ", " searched)
        message(WARNING "CAMERA_SDK=auto: libflycapture-c.so.2 and libflycapture.so.2 were "
                        "not both found (searched the lib directories of: ${searched}), so "
                        "the build in ${CMAKE_BINARY_DIR} uses the SIMULATED camera. Point "
                        "CMAKE_PREFIX_PATH at the SDK, or set CAMERA_SDK=system to make a "
                        "missing SDK an error, or CAMERA_SDK=sim to choose the simulator.")
    endif()
    set(CAMKIT_SIMULATOR ON)
    target_link_libraries(camera_sdk INTERFACE camsim_sdk camsim_base)
    set(CAMKIT_SDK_DIR ${CMAKE_LIBRARY_OUTPUT_DIRECTORY})
    set(CAMKIT_SDK_DESCRIPTION "the simulated camera")
    # Installed programs carry no RUNPATH: they load the SDK installed on the system, or
    # the simulated camera through the camsim launcher.
    set(CAMKIT_INSTALL_RPATH "")
else()
    if(NOT CAMERA_SDK_C_LIBRARY OR NOT CAMERA_SDK_LIBRARY)
        message(FATAL_ERROR "CAMERA_SDK=system: libflycapture-c.so.2 and libflycapture.so.2 "
                            "were not found (set CMAKE_PREFIX_PATH or CMAKE_LIBRARY_PATH)")
    endif()
    set(CAMKIT_SIMULATOR OFF)
    target_link_libraries(camera_sdk INTERFACE ${CAMERA_SDK_C_LIBRARY} ${CAMERA_SDK_LIBRARY})
    get_filename_component(CAMKIT_SDK_DIR ${CAMERA_SDK_C_LIBRARY} DIRECTORY)
    set(CAMKIT_SDK_DESCRIPTION "the installed camera SDK")
    # A RUNPATH to the SDK unless the loader searches its directory anyway.
    set(system_dirs ${CMAKE_PLATFORM_IMPLICIT_LINK_DIRECTORIES} ${CMAKE_C_IMPLICIT_LINK_DIRECTORIES}
                    ${CMAKE_CXX_IMPLICIT_LINK_DIRECTORIES})
    if(CAMKIT_SDK_DIR IN_LIST system_dirs)
        set(CAMKIT_INSTALL_RPATH "")
    else()
        set(CAMKIT_INSTALL_RPATH ${CAMKIT_SDK_DIR})
    endif()
endif()
