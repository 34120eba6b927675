// Where a playing stream stands, published by the audio callback and read by any thread without
// a lock (a sequence lock: the single writer never waits, readers retry while it writes).
//
// Threads: the audio callback publishes; before the voice reaches the mixer, the thread making
// the playback does (nobody else can yet). Any thread reads.
#ifndef TONVERA_AUDIOLIB_PLAYBACK_PLAYPOSITION_H
#define TONVERA_AUDIOLIB_PLAYBACK_PLAYPOSITION_H

#include <cstdint>

#include "audiolib/core/SeqLock.h"

namespace audiolib {

struct PlayPositionValue {
    double source = 0.0;   // source frame being heard
    double history = 0.0;  // matching frame of the data history
    std::uint32_t generation = 0;
};

class PlayPosition {
  public:
    void publish(const PlayPositionValue& value) { value_.write(value); }
    PlayPositionValue read() const { return value_.read(); }

  private:
    SeqLock<PlayPositionValue> value_;
};

}  // namespace audiolib

#endif
