// What the SDK hands out by handle (contexts, image records): each under a handle never
// given twice in the process, found by it until it is removed.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

namespace core
{

template <class Thing> class Handles
{
  public:
    // Handles are `tag` with a number from 1 in its low bits.
    explicit Handles(uint64_t tag = 0) : tag_(tag) {}

    // Keeps the thing under a new handle, returned.
    uint64_t add(std::shared_ptr<Thing> thing)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const uint64_t handle = tag_ | ++made_;
        things_[handle] = std::move(thing);
        return handle;
    }

    // The thing under the handle, or null.
    std::shared_ptr<Thing> find(uint64_t handle) const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto found = things_.find(handle);
        return found == things_.end() ? nullptr : found->second;
    }

    // Takes the thing out from under the handle; null when there is none.
    std::shared_ptr<Thing> remove(uint64_t handle)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto found = things_.find(handle);
        if (found == things_.end())
            return nullptr;
        std::shared_ptr<Thing> thing = std::move(found->second);
        things_.erase(found);
        return thing;
    }

  private:
    const uint64_t tag_;
    mutable std::mutex mutex_;
    uint64_t made_ = 0;
    std::map<uint64_t, std::shared_ptr<Thing>> things_;
};

} // namespace core
