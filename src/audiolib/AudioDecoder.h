// Reads one audio file (or the first audio track of a video file) through FFmpeg into interleaved
// 32-bit float frames at the file's own sample rate and channel count.
//
// Contracts the stream layer relies on:
// - lengthFrames() is exact: encoder delay and padding (MP3, AAC) are already trimmed, and a
//   container that lies about its duration has been scanned. The one exception is a decoder
//   opened with Measure::InBackground for a file whose length only a scan can tell (Matroska,
//   ASF, AVI...): until lengthFinal(), lengthFrames() is the container's estimate, and it changes
//   once, to the exact value, when the scan ends (seconds later; it never runs past
//   24 hours of audio). Every other file is exact at open in either mode. No file is longer
//   than 24 hours: a longer one is cut there, with a diagnostic line.
// - seek(frame) is sample-accurate: read() after seek(n) yields exactly the frames a straight read
//   would have yielded from frame n on.
// - read() returns fewer frames than asked only at the end of the file (0 = end). A damaged
//   stretch in the middle plays as silence of its length where the container's timestamps say
//   how long it was (PCM, FLAC, MP4, Ogg, raw MPEG audio / AAC), and is skipped elsewhere (a
//   long run of damage ends the file there); a truncated file plays what is there.
// Not thread-safe: one thread at a time (the stream's worker, or a decoding caller), except
// where a method says otherwise.
#ifndef TONVERA_AUDIOLIB_AUDIODECODER_H
#define TONVERA_AUDIOLIB_AUDIODECODER_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "audiolib/core/ReadableFile.h"

namespace audiolib {

class AudioDecoder {
  public:
    virtual ~AudioDecoder() = default;

    enum class Measure {
        Now,           // open returns with the exact length, scanning the file if need be
        InBackground,  // a needed scan runs on its own thread while the decoder is read
    };

    // nullptr on failure; *error (if given) then holds a readable reason. The decoder reads the
    // file's descriptor only, also when it starts over.
    static std::unique_ptr<AudioDecoder> open(std::shared_ptr<const ReadableFile> file,
                                              std::string* error, Measure measure = Measure::Now);
    // The same for a path, opened with ReadableFile::open.
    static std::unique_ptr<AudioDecoder> open(const std::string& utf8Path, std::string* error,
                                              Measure measure = Measure::Now);

    virtual int sampleRate() const = 0;
    virtual int channels() const = 0;
    // The speakers of the channels, in order, as FFmpeg's AV_CH_* bits (the bits of
    // WAVE_FORMAT_EXTENSIBLE's channel mask); 0 when the file does not name them.
    virtual std::uint64_t channelMask() const = 0;
    // Bits per sample of the source, 0 when not meaningful (lossy codecs).
    virtual int sourceBits() const = 0;
    // Any thread may call these two (the stream reports the length without its lock).
    virtual std::uint64_t lengthFrames() const = 0;
    virtual bool lengthFinal() const = 0;
    virtual std::size_t read(float* interleaved, std::size_t frames) = 0;
    virtual bool seek(std::uint64_t frame) = 0;
    // Frames delivered so far since open or the last seek, counted from the file's start.
    virtual std::uint64_t positionFrames() const = 0;
};

}  // namespace audiolib

#endif
