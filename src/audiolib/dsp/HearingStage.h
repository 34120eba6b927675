// The tools that help a player hear one part of the music: the centre cancelled, a choice of
// channels and a focus filter, one after the other in that order (the centre is found in the
// recording's own stereo image, before the channels are rearranged).
//
// Threads: request() on any thread; update(), process(), latency() and reset() on the one
// thread that renders (the feeder, or an export's thread). A request is taken at the start of
// the next rendered block, so a change is heard as soon as the blocks already made are.
#ifndef TONVERA_AUDIOLIB_DSP_HEARINGSTAGE_H
#define TONVERA_AUDIOLIB_DSP_HEARINGSTAGE_H

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

#include "audiolib/dsp/CentreCancel.h"
#include "audiolib/dsp/FocusFilter.h"
#include "formats/HearingSettings.h"

namespace audiolib {

using formats::HearingSettings;

class HearingStage {
  public:
    HearingStage(int rate, int channels);

    void request(const HearingSettings& settings);
    HearingSettings requested() const;

    // Takes the newest request. True when latency() changed with it: what comes out from now
    // on is delayed differently, so the caller starts its output again.
    bool update();
    // Frames the stage delays its input by (the centre cancel's, while it is on).
    std::size_t latency() const;
    void process(float* frames, std::size_t count);
    void reset();

  private:
    int channels_;
    mutable std::mutex mutex_;
    HearingSettings requested_;  // guarded by mutex_
    std::atomic<std::uint32_t> version_{0};
    std::uint32_t appliedVersion_ = 0;
    HearingSettings applied_;
    FocusFilter focus_;
    std::unique_ptr<CentreCancel> centreCancel_;  // stereo only
};

}  // namespace audiolib

#endif
