#include "audiolib/core/HandleTable.h"

#include <algorithm>
#include <limits>

namespace audiolib {

HandleTable& HandleTable::instance() {
    static HandleTable table;
    return table;
}

std::uint32_t HandleTable::add(std::shared_ptr<LibObject> object) {
    std::lock_guard lock(mutex_);
    if (!object || lastHandle_ == std::numeric_limits<std::uint32_t>::max())
        return 0;
    const std::uint32_t handle = ++lastHandle_;
    object->setHandle(handle);
    objects_.emplace(handle, std::move(object));
    return handle;
}

std::shared_ptr<LibObject> HandleTable::find(std::uint32_t handle) const {
    std::lock_guard lock(mutex_);
    const auto it = objects_.find(handle);
    return it == objects_.end() ? nullptr : it->second;
}

std::shared_ptr<LibObject> HandleTable::remove(std::uint32_t handle) {
    std::lock_guard lock(mutex_);
    const auto it = objects_.find(handle);
    if (it == objects_.end())
        return nullptr;
    auto object = std::move(it->second);
    objects_.erase(it);
    return object;
}

std::vector<std::shared_ptr<LibObject>> HandleTable::select(
    const std::function<bool(const LibObject&)>& predicate) const {
    std::vector<std::shared_ptr<LibObject>> result;
    {
        std::lock_guard lock(mutex_);
        for (const auto& [handle, object] : objects_) {
            if (predicate(*object))
                result.push_back(object);
        }
    }
    std::sort(result.begin(), result.end(),
              [](const auto& a, const auto& b) { return a->handle() < b->handle(); });
    return result;
}

}  // namespace audiolib
