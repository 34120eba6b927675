// What a running export tells its caller.
//
// Threads: both are called on the exporting thread; a receiver that drives widgets hands the
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
};

#endif
