// Beats on the device clock: a sample started at exact output frames (the metronome and the
// count-in), so the beat does not take on the jitter of whoever asked for it.
//
// Threads: one API thread at a time writes (the caller serialises), the audio callback reads.
// The callback never waits: a read that overlaps a write fails, and the callback keeps the
// schedule it had until its next callback.
#ifndef TONVERA_AUDIOLIB_PLAYBACK_BEATSCHEDULE_H
#define TONVERA_AUDIOLIB_PLAYBACK_BEATSCHEDULE_H

#include <cmath>
#include <cstdint>

#include "audiolib/core/SeqLock.h"

namespace audiolib {

struct BeatSchedule {
    std::uint64_t firstFrame = 0;  // device frame of beat 0
    double intervalFrames = 0.0;   // 0: no beats
    std::uint64_t count = 0;       // beats in all; 0 = until cancelled
    int beatsPerBar = 4;
    bool accent = false;  // beat 0 of every bar sounds higher
    std::uint32_t serial = 0;

    bool active() const { return intervalFrames > 0.0; }
    // Rounded once from the start, so rounding never accumulates into drift.
    std::uint64_t frameOf(std::uint64_t beat) const {
        return firstFrame +
               static_cast<std::uint64_t>(std::llround(static_cast<double>(beat) * intervalFrames));
    }
    bool accented(std::uint64_t beat) const {
        return accent && beatsPerBar > 0 && beat % static_cast<std::uint64_t>(beatsPerBar) == 0;
    }
};

// Written by the API thread, read by the callback with tryRead(), which never waits.
using BeatScheduleSlot = SeqLock<BeatSchedule>;

}  // namespace audiolib

#endif
