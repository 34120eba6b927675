#include "PipelineHarness.h"

namespace audiolibtest {

PipelineHarness::PipelineHarness(const std::string& path, bool tempo, DWORD flags) {
    int error = 0;
    std::string reason;
    // Under a tempo stream the flags (the loop flag above all) belong to the tempo stream, as
    // the engine makes them: the source itself never loops there.
    const DWORD sourceFlags =
        tempo ? BASS_STREAM_DECODE | BASS_SAMPLE_FLOAT : flags | BASS_SAMPLE_FLOAT;
    auto source = audiolib::SourceStream::open({}, 0, path, sourceFlags, &error, &reason);
    if (!source)
        return;
    if (tempo) {
        source->claim();
        stream_ = std::make_shared<audiolib::TempoStream>(flags | BASS_FX_FREESOURCE, source);
    } else {
        stream_ = source;
    }
    std::lock_guard lock(stream_->mutex());
    playback_ = &stream_->ensurePlayback({kDeviceRate, kCallbackFrames, nullptr});
    mixer_.add(&playback_->voice());
}

std::vector<float> PipelineHarness::run(int frames) {
    std::vector<float> out;
    std::vector<float> buffer(kCallbackFrames * 2);
    for (int done = 0; done < frames; done += kCallbackFrames) {
        playback_->topUp();
        mixer_.process(buffer.data(), kCallbackFrames);
        out.insert(out.end(), buffer.begin(), buffer.end());
    }
    return out;
}

}  // namespace audiolibtest
