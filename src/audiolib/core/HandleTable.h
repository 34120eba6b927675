// Maps 32-bit handles to library objects. Handles count up from 1 and are never reused within a
// run, so a stale handle can never reach a newer object. Thread-safe; the audio callback never
// uses it (the mixer holds its own pointers).
#ifndef TONVERA_AUDIOLIB_CORE_HANDLETABLE_H
#define TONVERA_AUDIOLIB_CORE_HANDLETABLE_H

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "audiolib/core/LibObject.h"

namespace audiolib {

class HandleTable {
  public:
    static HandleTable& instance();

    // 0 when the handle space is exhausted (after four billion objects).
    std::uint32_t add(std::shared_ptr<LibObject> object);
    std::shared_ptr<LibObject> find(std::uint32_t handle) const;
    // The object of the given kind, or nullptr when the handle names nothing or something else.
    template <typename T>
    std::shared_ptr<T> findAs(std::uint32_t handle) const {
        return std::dynamic_pointer_cast<T>(find(handle));
    }
    // Removes and returns the object (nullptr when unknown).
    std::shared_ptr<LibObject> remove(std::uint32_t handle);
    // Every object for which the predicate holds, in handle order.
    std::vector<std::shared_ptr<LibObject>> select(
        const std::function<bool(const LibObject&)>& predicate) const;

  private:
    mutable std::mutex mutex_;
    std::unordered_map<std::uint32_t, std::shared_ptr<LibObject>> objects_;
    std::uint32_t lastHandle_ = 0;
};

}  // namespace audiolib

#endif
