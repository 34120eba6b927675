// Spectrum and waveform data of what the music channel is sounding now. Both run on the main
// thread (the position tick) and hold the engine's recursive lock for their whole run, so they
// never overlap each other; the view's data lock is always taken before this one.
#include <algorithm>
#include <mutex>

#include "audiolib/audiolib.h"
#include "engine/SoundEngine.h"
#include "engine/VisualData.h"

std::optional<std::vector<int>> SoundEngine::spectrumData(int size, int height) {
    std::lock_guard<std::recursive_mutex> guard(dataLock_);
    if (!isPlaying())
        return std::nullopt;
    // Missing data (a failed call) reads as silence rather than as whatever the stack held.
    float bins[visualdata::kFftBins] = {};
    BASS_ChannelGetData(musicChannel(), bins, BASS_DATA_FFT2048);
    return visualdata::scaleSpectrum(bins, size, height);
}

std::vector<std::vector<int>> SoundEngine::waveData(int size, int height) {
    std::lock_guard<std::recursive_mutex> guard(dataLock_);
    BASS_CHANNELINFO info{};
    if (!BASS_ChannelGetInfo(musicChannel(), &info) || info.chans == 0)
        return {};
    const int chans = static_cast<int>(std::min<DWORD>(info.chans, 64));
    const int frames = std::clamp(size, 0, visualdata::kMaxWaveFrames);
    std::vector<float> samples(static_cast<std::size_t>(chans) * frames, 0.0F);
    if (frames > 0) {
        const DWORD bytes = static_cast<DWORD>(samples.size() * sizeof(float));
        BASS_ChannelGetData(musicChannel(), samples.data(), bytes | BASS_DATA_FLOAT);
    }
    return visualdata::traceWaveform(samples.data(), chans, frames, size, height);
}
