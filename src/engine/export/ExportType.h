// The export's file types, chosen by the output name's extension.
//
// Threads: plain functions of their arguments, for any thread.
#ifndef TONVERA_ENGINE_EXPORT_EXPORTTYPE_H
#define TONVERA_ENGINE_EXPORT_EXPORTTYPE_H

#include <cstdint>
#include <string>

namespace exporttype {

constexpr std::int32_t kWav = 0;
constexpr std::int32_t kMp4 = 1;
constexpr std::int32_t kM4a = 2;

// "mp4" gives MP4 (AAC) and "m4a" M4A (ALAC), in any letter case ("Song.M4A" must not receive
// WAV data under an M4A name); every other extension, or none, gives WAV.
std::int32_t forPath(const std::string& path);
// The extension as the path spells it, without the dot; empty when there is none.
std::string extensionOf(const std::string& path);

}  // namespace exporttype

#endif
