// Writes interleaved float frames to an audio file through FFmpeg: WAV (16-bit PCM), MP4 with AAC,
// or M4A with ALAC. Samples beyond full scale are saturated, never wrapped.
// Not thread-safe: the thread that pulls data through the tapped channel feeds it.
#ifndef TONVERA_AUDIOLIB_FILEENCODER_H
#define TONVERA_AUDIOLIB_FILEENCODER_H

#include <cstddef>
#include <memory>
#include <string>

namespace audiolib {

enum class EncodedFormat { Wav16, Mp4Aac, M4aAlac };

class FileEncoder {
  public:
    virtual ~FileEncoder() = default;

    // nullptr when the file cannot be created or the codec is unavailable; *error holds why.
    static std::unique_ptr<FileEncoder> create(const std::string& utf8Path, EncodedFormat format,
                                               int sampleRate, int channels, std::string* error);

    // False once writing has failed (full disk, codec error); the encoder is then dead and
    // later writes do nothing.
    virtual bool write(const float* interleaved, std::size_t frames) = 0;
    // Flushes the codec and closes the file; idempotent. False when anything failed.
    virtual bool finish() = 0;
    virtual bool alive() const = 0;
    // Why the encoder died or its file could not be completed; empty while all is well.
    virtual std::string lastError() const = 0;
};

}  // namespace audiolib

#endif
