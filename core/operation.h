// The SDK's 13 operations, listed once: the entry points, the call log, fault injection and
// the tests name them from this list.
#pragma once

#include <array>
#include <cstddef>
#include <string>

namespace core
{

// Each operation: its name in the list, and the C entry point's.
#define CORE_OPERATIONS(X)                                                                         \
    X(create_context, fc2CreateContext)                                                            \
    X(get_num_of_cameras, fc2GetNumOfCameras)                                                      \
    X(get_camera_from_index, fc2GetCameraFromIndex)                                                \
    X(connect, fc2Connect)                                                                         \
    X(get_property, fc2GetProperty)                                                                \
    X(set_property, fc2SetProperty)                                                                \
    X(start_capture, fc2StartCapture)                                                              \
    X(create_image, fc2CreateImage)                                                                \
    X(retrieve_buffer, fc2RetrieveBuffer)                                                          \
    X(convert_image_to, fc2ConvertImageTo)                                                         \
    X(save_image, fc2SaveImage)                                                                    \
    X(stop_capture, fc2StopCapture)                                                                \
    X(destroy_context, fc2DestroyContext)

enum class Operation {
#define CORE_OPERATION_ENUMERATOR(name, entry) name,
    CORE_OPERATIONS(CORE_OPERATION_ENUMERATOR)
#undef CORE_OPERATION_ENUMERATOR
};

constexpr std::array operation_names{
#define CORE_OPERATION_NAME(name, entry) #entry,
    CORE_OPERATIONS(CORE_OPERATION_NAME)
#undef CORE_OPERATION_NAME
};

constexpr size_t operation_count = operation_names.size();

inline const char *name_of(Operation operation)
{
    return operation_names[static_cast<size_t>(operation)];
}

// The operation with this entry point's name; false when there is none.
inline bool operation_named(const std::string &name, Operation &operation)
{
    for (size_t i = 0; i < operation_count; ++i)
        if (name == operation_names[i]) {
            operation = static_cast<Operation>(i);
            return true;
        }
    return false;
}

} // namespace core
