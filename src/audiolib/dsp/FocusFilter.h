// The focus filters a player picks to hear one part better: the bass with the rest turned
// down, the low mids, the highs, or a band of its own choosing. Built from libavfilter's
// biquad filters, so they add no delay and keep their state from block to block.
//
// Threads: one thread at a time; set() allocates (a new filter graph), process() does not.
#ifndef TONVERA_AUDIOLIB_DSP_FOCUSFILTER_H
#define TONVERA_AUDIOLIB_DSP_FOCUSFILTER_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "formats/HearingSettings.h"

namespace audiolib {

using formats::FocusBand;
using formats::FocusSpec;

// The libavfilter chain for a spec ("" for Off), e.g. "treble=f=250:...".
std::string focusChain(const FocusSpec& spec, int rate);

class FocusFilter {
  public:
    FocusFilter(int rate, int channels);
    ~FocusFilter();
    FocusFilter(const FocusFilter&) = delete;
    FocusFilter& operator=(const FocusFilter&) = delete;

    // False (and the filter off) when the graph cannot be built.
    bool set(const FocusSpec& spec);
    const FocusSpec& spec() const { return spec_; }
    bool active() const;
    // Interleaved frames, in place; passes them untouched while off.
    void process(float* frames, std::size_t count);
    // Forgets the filters' state (a seek), keeping the spec.
    void reset();

  private:
    struct Graph;
    int rate_;
    int channels_;
    FocusSpec spec_;
    std::unique_ptr<Graph> graph_;
};

}  // namespace audiolib

#endif
