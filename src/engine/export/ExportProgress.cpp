#include "engine/export/ExportProgress.h"

namespace exportprogress {

namespace {

// position × steps needs up to 96 bits; both compilers we build with have a 128-bit integer.
__extension__ using WideCount = unsigned __int128;

}  // namespace

bool lengthKnown(std::uint64_t length) {
    return length != 0 && length != ~std::uint64_t{0};
}

std::uint32_t stepsDone(std::uint64_t position, std::uint64_t length, std::uint32_t steps) {
    if (!lengthKnown(length))
        return 0;
    // A stretched stream's last position can pass its length by a frame of rounding.
    if (position >= length)
        return steps;
    return static_cast<std::uint32_t>(static_cast<WideCount>(position) * steps / length);
}

}  // namespace exportprogress
