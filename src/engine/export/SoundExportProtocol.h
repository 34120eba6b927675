// What a running export tells its caller.
//
// Threads: all are called on the exporting thread; a receiver that drives widgets hands the
// values to the UI thread itself.
#ifndef TONVERA_ENGINE_EXPORT_SOUNDEXPORTPROTOCOL_H
#define TONVERA_ENGINE_EXPORT_SOUNDEXPORTPROTOCOL_H

#include <cstdint>

class SoundExportProtocol {
  public:
    virtual ~SoundExportProtocol() = default;
    // Once, before any update: the rendered stream's length in bytes (low 32 bits).
    virtual void exportLength(std::uint32_t length) = 0;
    // After every rendered block: the stream's byte position (low 32 bits, same unit).
    virtual void exportUpdate(std::uint32_t position) = 0;

    // What the exporter sends: the full 64-bit length and positions. A render past 4 GiB wraps
    // in 32 bits, so a receiver that shows progress overrides these; the others keep getting
    // the low 32 bits through the two above.
    virtual void exportLength64(std::uint64_t length) {
        exportLength(static_cast<std::uint32_t>(length));
    }
    virtual void exportUpdate64(std::uint64_t position) {
        exportUpdate(static_cast<std::uint32_t>(position));
    }
};

#endif
