// How far an export has come, from the rendered stream's 64-bit byte counts: the one computation
// behind the export sheet's bar and the command line's percentage, so neither wraps past 4 GiB.
//
// Threads: pure functions, callable from any thread.
#ifndef TONVERA_ENGINE_EXPORT_EXPORTPROGRESS_H
#define TONVERA_ENGINE_EXPORT_EXPORTPROGRESS_H

#include <cstdint>

namespace exportprogress {

// False for the lengths that give no measure: 0, and the library's "unknown" (all bits set).
bool lengthKnown(std::uint64_t length);

// `position` of `length` in `steps` (100 for a percentage): rounded down, at most `steps`, and
// 0 when the length is not known. Exact over the whole 64-bit range.
std::uint32_t stepsDone(std::uint64_t position, std::uint64_t length, std::uint32_t steps);

}  // namespace exportprogress

#endif
