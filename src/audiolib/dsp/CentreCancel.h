// Takes out of a stereo signal what sounds the same in both channels (a lead voice or
// instrument mixed to the centre) in the band where voices live, and leaves the bass, the
// highest octave and everything panned to one side as it was.
//
// Works on short overlapping spectra: a frequency bin whose left and right parts agree in
// level and phase is mostly centre and is turned down in proportion; a bin present in one
// channel only passes unchanged. Delays its input by latency() frames.
//
// Threads: one thread at a time. No allocation after construction.
#ifndef TONVERA_AUDIOLIB_DSP_CENTRECANCEL_H
#define TONVERA_AUDIOLIB_DSP_CENTRECANCEL_H

#include <cstddef>
#include <memory>

namespace audiolib {

class CentreCancel {
  public:
    explicit CentreCancel(int rate);
    ~CentreCancel();
    CentreCancel(const CentreCancel&) = delete;
    CentreCancel& operator=(const CentreCancel&) = delete;

    std::size_t latency() const;
    // Interleaved stereo frames, in place.
    void process(float* frames, std::size_t count);
    // Silence in every buffer, as after construction.
    void reset();

  private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace audiolib

#endif
