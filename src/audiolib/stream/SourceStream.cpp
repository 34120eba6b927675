#include "audiolib/stream/SourceStream.h"

#include <algorithm>
#include <cmath>

#include "audiolib/audiolib.h"
#include "audiolib/core/ReadableFile.h"

namespace audiolib {

std::shared_ptr<SourceStream> SourceStream::open(std::weak_ptr<Device> device,
                                                 std::uint64_t deviceSerial,
                                                 const std::string& utf8Path, std::uint32_t flags,
                                                 int* errorCode, std::string* reason) {
    auto file = ReadableFile::open(utf8Path, reason);
    if (!file) {
        *errorCode = BASS_ERROR_FILEOPEN;
        return nullptr;
    }
    const auto measure = (flags & BASS_STREAM_PRESCAN) != 0 ? AudioDecoder::Measure::Now
                                                            : AudioDecoder::Measure::InBackground;
    auto decoder = AudioDecoder::open(std::move(file), reason, measure);
    if (!decoder) {
        *errorCode = BASS_ERROR_FILEFORM;
        return nullptr;
    }
    if (decoder->channels() < 1 || decoder->channels() > kMaxChannels ||
        decoder->sampleRate() < 1000 || decoder->sampleRate() > 1'000'000) {
        *errorCode = BASS_ERROR_FORMAT;
        *reason = "unsupported channel count or sample rate";
        return nullptr;
    }
    return std::make_shared<SourceStream>(std::move(device), deviceSerial, flags,
                                          std::move(decoder), utf8Path);
}

SourceStream::SourceStream(std::weak_ptr<Device> device, std::uint64_t deviceSerial,
                           std::uint32_t flags, std::unique_ptr<AudioDecoder> decoder,
                           std::string filename)
    : Stream(std::move(device), deviceSerial, flags,
             StreamFormat{decoder->sampleRate(), decoder->channels(), decoder->sourceBits(),
                          decoder->channelMask()},
             decoder->lengthFrames(), std::move(filename)),
      decoder_(std::move(decoder)) {}

std::size_t SourceStream::render(float* out, std::size_t frames) {
    std::size_t done = 0;
    int emptyReads = 0;
    while (done < frames && !ended_) {
        const std::size_t got = decoder_->read(out + done * channels(), frames - done);
        done += got;
        if (done == frames)
            break;
        // A short read is the end of the file (or of what could be decoded of it). A file that
        // yields nothing even right after wrapping must not spin forever.
        emptyReads = got == 0 ? emptyReads + 1 : 0;
        if (looping() && lengthFrames() > 0 && emptyReads < 2 && decoder_->seek(0))
            continue;
        ended_ = true;
    }
    return done;
}

bool SourceStream::ended() const {
    // An estimated length does not end the stream; the end of the file does.
    return ended_ ||
           (!looping() && decoder_->lengthFinal() && decoder_->positionFrames() >= lengthFrames());
}

double SourceStream::position() const {
    return static_cast<double>(decoder_->positionFrames());
}

bool SourceStream::seek(std::uint64_t frame) {
    if (frame > lengthFrames())
        return false;
    // Within the reported length a seek lands or clamps: a damaged file may turn out shorter
    // than it was measured, and then its end is the nearest playable position.
    if (!decoder_->seek(std::min(frame, decoder_->lengthFrames())))
        return false;
    ended_ = false;
    return true;
}

int SourceStream::playbackInputRate() const {
    return static_cast<int>(std::lround(frequency()));
}

}  // namespace audiolib
