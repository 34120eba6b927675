#include "audiolib/sample/SampleData.h"

#include <algorithm>
#include <new>

#include "audiolib/AudioDecoder.h"
#include "audiolib/audiolib.h"
#include "audiolib/core/ReadableFile.h"
#include "audiolib/dsp/Resampler.h"
#include "audiolib/dsp/StereoMapper.h"

namespace audiolib {

namespace {

// A sample lives in memory for the rest of the run: 32 Mi samples (128 MiB of floats, over five
// minutes of stereo at 48 kHz) is far beyond any one-shot sound and keeps a mistaken choice of
// file from exhausting memory.
constexpr std::uint64_t kMaxSamples = 32ULL << 20;

std::vector<float> fold(const std::vector<float>& in, int channels, std::uint64_t layoutMask,
                        bool mono) {
    const std::size_t frames = in.size() / channels;
    if (mono) {
        std::vector<float> out(frames);
        for (std::size_t i = 0; i < frames; ++i) {
            float sum = 0.0F;
            for (int c = 0; c < channels; ++c)
                sum += in[i * channels + c];
            out[i] = sum / channels;
        }
        return out;
    }
    if (channels <= 2)
        return in;
    std::vector<float> out(frames * 2);
    StereoMapper(channels, layoutMask).map(in.data(), out.data(), frames);
    return out;
}

std::vector<float> resample(const std::vector<float>& in, int channels, int from, int to) {
    Resampler resampler(channels, to);
    std::string error;
    if (!resampler.setInputRate(from, &error) || resampler.passthrough())
        return in;
    const int inFrames = static_cast<int>(in.size() / channels);
    std::vector<float> out(static_cast<std::size_t>(resampler.maxOutputFrames(inFrames) + 256) *
                           channels);
    const int capacity = static_cast<int>(out.size() / channels);
    int frames = resampler.process(in.data(), inFrames, out.data(), capacity);
    frames += resampler.process(nullptr, 0, out.data() + frames * channels, capacity - frames);
    out.resize(static_cast<std::size_t>(frames) * channels);
    return out;
}

}  // namespace

std::shared_ptr<const SampleData> SampleData::load(const std::string& utf8Path, bool mono,
                                                   int deviceRate, int* errorCode,
                                                   std::string* reason) {
    auto file = ReadableFile::open(utf8Path, reason);
    if (!file) {
        *errorCode = BASS_ERROR_FILEOPEN;
        return nullptr;
    }
    auto decoder = AudioDecoder::open(std::move(file), reason);
    if (!decoder) {
        *errorCode = BASS_ERROR_FILEFORM;
        return nullptr;
    }
    const int channels = decoder->channels();
    if (channels < 1 || channels > StereoMapper::kMaxChannels || decoder->sampleRate() < 1000) {
        *errorCode = BASS_ERROR_FORMAT;
        *reason = "unsupported channel count or sample rate";
        return nullptr;
    }
    if (decoder->lengthFrames() * static_cast<std::uint64_t>(channels) > kMaxSamples) {
        *errorCode = BASS_ERROR_MEM;
        *reason = "the sound is too long to be held in memory";
        return nullptr;
    }
    try {
        std::vector<float> decoded(static_cast<std::size_t>(decoder->lengthFrames()) * channels);
        const std::size_t got = decoder->read(decoded.data(), decoder->lengthFrames());
        decoded.resize(got * channels);

        auto data = std::make_shared<SampleData>();
        data->sourceRate = decoder->sampleRate();
        data->sourceChannels = channels;
        data->sourceBits = decoder->sourceBits();
        data->channels = mono ? 1 : std::min(channels, 2);
        data->rate = deviceRate;
        data->frames = resample(fold(decoded, channels, decoder->channelMask(), mono),
                                data->channels, data->sourceRate, deviceRate);
        return data;
    } catch (const std::bad_alloc&) {
        *errorCode = BASS_ERROR_MEM;
        *reason = "out of memory";
        return nullptr;
    }
}

}  // namespace audiolib
