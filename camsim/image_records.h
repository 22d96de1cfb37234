// The image records the SDK hands out: their handles, and the frame each one holds.
#pragma once

#include "image.h"
#include "sdk.h"

#include <memory>
#include <mutex>

namespace camsim
{

// An image record's contents; two threads using one record take turns.
struct ImageSlot {
    std::mutex mutex;
    Image image;
};

// The record's contents, or null for a record the SDK never filled.
std::shared_ptr<ImageSlot> find_image(const image_record *record);

} // namespace camsim
