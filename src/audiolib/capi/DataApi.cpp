// Sample data and spectra of channels: pulled from a decoding stream (and passed on to its
// encoders), or taken from the recent history of a playing one.
#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

#include "audiolib/capi/ApiSupport.h"
#include "audiolib/dsp/FiniteSamples.h"
#include "audiolib/dsp/SampleFormat.h"
#include "audiolib/dsp/SpectrumAnalyzer.h"
#include "audiolib/playback/StreamPlayback.h"
#include "audiolib/sample/Sample.h"
#include "audiolib/stream/Stream.h"

using namespace audiolib;
using namespace audiolib::api;

namespace {

constexpr DWORD kByteMask = 0x0fffffff;
constexpr int kFftFrames = SpectrumAnalyzer::kSize;

// Working memory of the calling thread; grows to the largest request and stays.
float* scratch(std::size_t floats) {
    thread_local std::vector<float> buffer;
    if (buffer.size() < floats)
        buffer.resize(floats);
    return buffer.data();
}

DWORD writeSpectrum(const float* frames, int channels, void* buffer) {
    thread_local SpectrumAnalyzer analyzer;
    std::vector<float> mono(kFftFrames);
    for (int i = 0; i < kFftFrames; ++i) {
        float sum = 0.0F;
        for (int c = 0; c < channels; ++c)
            sum += frames[i * channels + c];
        mono[i] = sum / channels;
    }
    analyzer.magnitudes(mono.data(), static_cast<float*>(buffer));
    return SpectrumAnalyzer::kBins * sizeof(float);
}

void applyGains(const Stream& stream, float* frames, std::size_t count) {
    stream.gains().applyPerChannel(frames, count);
    const float all = stream.gains().allChannels();
    if (all != 1.0F) {
        const std::size_t samples = count * static_cast<std::size_t>(stream.channels());
        for (std::size_t i = 0; i < samples; ++i)
            frames[i] *= all;
    }
}

// The caller holds the stream's mutex.
DWORD pullDecoding(Stream& stream, void* buffer, DWORD length, bool fft, bool asFloat) {
    const int channels = stream.channels();
    const std::size_t width = static_cast<std::size_t>(channels);
    std::size_t frames = fft ? kFftFrames : (length & kByteMask) / ((asFloat ? 4U : 2U) * width);
    if (frames == 0)
        return succeed<DWORD>(0);
    float* pulled = (asFloat && !fft) ? static_cast<float*>(buffer) : scratch(frames * width);
    const std::size_t got = stream.render(pulled, frames);
    if (got == 0 && stream.ended())
        return fail(BASS_ERROR_ENDED, kBadDword);
    applyGains(stream, pulled, got);
    // The export's samples and its encoders get finite values whatever the stretcher gave.
    sanitiseSamples(pulled, got * width);
    if (!asFloat && !fft) {
        // The encoders get exactly the 16-bit samples the caller gets.
        auto* out = static_cast<std::int16_t*>(buffer);
        floatToInt16(pulled, out, got * width);
        if (!stream.encoders().empty())
            int16ToFloat(out, pulled, got * width);
    }
    stream.feedEncoders(pulled, got);
    if (fft) {
        std::fill(pulled + got * width, pulled + frames * width, 0.0F);
        return succeed(writeSpectrum(pulled, channels, buffer));
    }
    return succeed(static_cast<DWORD>(got * width * (asFloat ? 4U : 2U)));
}

DWORD peekPlaying(const Stream& stream, const StreamPlayback& playback, void* buffer, DWORD length,
                  bool fft, bool asFloat) {
    const int channels = stream.channels();
    const std::size_t width = static_cast<std::size_t>(channels);
    const std::size_t frames =
        fft ? kFftFrames : (length & kByteMask) / ((asFloat ? 4U : 2U) * width);
    if (frames == 0)
        return succeed<DWORD>(0);
    float* recent = (asFloat && !fft) ? static_cast<float*>(buffer) : scratch(frames * width);
    playback.recentFrames(recent, frames);
    if (fft)
        return succeed(writeSpectrum(recent, channels, buffer));
    if (!asFloat)
        floatToInt16(recent, static_cast<std::int16_t*>(buffer), frames * width);
    return succeed(static_cast<DWORD>(frames * width * (asFloat ? 4U : 2U)));
}

}  // namespace

extern "C" {

DWORD BASS_ChannelGetData(DWORD handle, void* buffer, DWORD length) {
    auto stream = findStream(handle);
    if (!stream) {
        return fail(findSampleChannel(handle) ? BASS_ERROR_NOTAVAIL : BASS_ERROR_HANDLE, kBadDword);
    }
    const bool fft = (length & 0x80000000U) != 0;
    if (fft && length != BASS_DATA_FFT2048)
        return fail(BASS_ERROR_ILLTYPE, kBadDword);
    if (!fft && (length & ~(kByteMask | BASS_DATA_FLOAT)) != 0) {
        return fail(BASS_ERROR_ILLTYPE, kBadDword);
    }
    if (!buffer && (length & kByteMask) != 0)
        return fail(BASS_ERROR_ILLPARAM, kBadDword);
    const bool asFloat = fft || (length & BASS_DATA_FLOAT) != 0 || stream->floatSamples();
    if (stream->decoding()) {
        std::lock_guard lock(stream->mutex());
        return pullDecoding(*stream, buffer, length, fft, asFloat);
    }
    const StreamPlayback* playback = stream->playback();
    if (!playback)
        return fail(BASS_ERROR_NOTAVAIL, kBadDword);  // never played: nothing heard
    return peekPlaying(*stream, *playback, buffer, length, fft, asFloat);
}

}  // extern "C"
