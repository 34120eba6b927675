// Drives a stream's playback path by hand, without a device or threads: the test plays the
// feeder (topUp) and the audio callback (Mixer::process) in turn, so what comes out is exactly
// reproducible.
#ifndef TONVERA_TESTS_AUDIOLIB_PIPELINEHARNESS_H
#define TONVERA_TESTS_AUDIOLIB_PIPELINEHARNESS_H

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "audiolib/audiolib.h"
#include "audiolib/playback/Mixer.h"
#include "audiolib/playback/StreamPlayback.h"
#include "audiolib/stream/SourceStream.h"
#include "audiolib/stream/TempoStream.h"

namespace audiolibtest {

class PipelineHarness {
  public:
    static constexpr int kDeviceRate = 44100;
    static constexpr int kCallbackFrames = 512;

    // A plain stream over the file (no tempo processing) or a tempo stream over it.
    PipelineHarness(const std::string& path, bool tempo, DWORD flags = 0);

    audiolib::Stream& stream() { return *stream_; }
    audiolib::StreamPlayback& playback() { return *playback_; }
    audiolib::Mixer& mixer() { return mixer_; }
    bool ok() const { return stream_ != nullptr; }

    // Runs feeder and callback in turn for at least `frames` output frames; returns the stereo
    // output of those callbacks.
    std::vector<float> run(int frames);

  private:
    std::shared_ptr<audiolib::Stream> stream_;
    audiolib::StreamPlayback* playback_ = nullptr;
    audiolib::Mixer mixer_{kDeviceRate};
};

}  // namespace audiolibtest

#endif
