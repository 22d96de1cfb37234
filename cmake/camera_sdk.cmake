# Chooses the camera SDK every program links: an installed one, or the simulated camera.
# Programs link both libraries by soname, with a RUNPATH, so LD_LIBRARY_PATH can swap in
# another build of the SDK without relinking.

# RUNPATH rather than RPATH, so LD_LIBRARY_PATH takes precedence.
add_link_options("LINKER:--enable-new-dtags")

find_library(CAMERA_SDK_C_LIBRARY NAMES libflycapture-c.so.2 flycapture-c)
find_library(CAMERA_SDK_LIBRARY NAMES libflycapture.so.2 flycapture)

if(CAMERA_SDK STREQUAL "system" OR
   (CAMERA_SDK STREQUAL "auto" AND CAMERA_SDK_C_LIBRARY AND CAMERA_SDK_LIBRARY))
    if(NOT CAMERA_SDK_C_LIBRARY OR NOT CAMERA_SDK_LIBRARY)
        message(FATAL_ERROR "CAMERA_SDK=system: libflycapture-c.so.2 and libflycapture.so.2 "
                            "were not found (set CMAKE_PREFIX_PATH or CMAKE_LIBRARY_PATH)")
    endif()
    set(CAMKIT_SIMULATOR OFF)
    get_filename_component(sdk_dir ${CAMERA_SDK_C_LIBRARY} DIRECTORY)
    add_library(camera_sdk INTERFACE)
    target_link_libraries(camera_sdk INTERFACE ${CAMERA_SDK_C_LIBRARY} ${CAMERA_SDK_LIBRARY})
    target_link_options(camera_sdk INTERFACE "LINKER:--no-as-needed" "LINKER:-rpath,${sdk_dir}")
    message(STATUS "Camera SDK: installed (${sdk_dir})")
elseif(CAMERA_SDK STREQUAL "sim" OR CAMERA_SDK STREQUAL "auto")
    set(CAMKIT_SIMULATOR ON)
    add_subdirectory(${PROJECT_SOURCE_DIR}/camsim ${CMAKE_BINARY_DIR}/camsim)
    add_library(camera_sdk INTERFACE)
    target_link_libraries(camera_sdk INTERFACE camsim_sdk camsim_camera)
    target_link_options(camera_sdk INTERFACE "LINKER:--no-as-needed")
    message(STATUS "Camera SDK: simulated camera (build/lib)")
else()
    message(FATAL_ERROR "CAMERA_SDK must be auto, system or sim, not '${CAMERA_SDK}'")
endif()
