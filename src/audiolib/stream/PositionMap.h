// Where a tempo stream's output stands in source time. A stretcher holds frames made at the old
// settings for a while, so a new ratio of source frames per output frame takes hold only once
// they are out; a change of the engine's heard lead moves the position gradually; and at a loop
// seam fed into the stretcher the position runs back to the loop's start only when the output
// reaches it. Source frames are counted without wrapping at a loop, so that nothing in between
// needs a special case; position() takes the seams the output has passed off again.
//
// Threads: used only by whoever renders the tempo stream (it holds the stream's mutex()).
#ifndef TONVERA_AUDIOLIB_STREAM_POSITIONMAP_H
#define TONVERA_AUDIOLIB_STREAM_POSITIONMAP_H

#include <array>
#include <cstddef>
#include <cstdint>

namespace audiolib {

class PositionMap {
  public:
    // A change of the heard lead is taken into the position over about one splice period of a
    // WSOLA engine, the time its output takes to settle into the new pattern.
    static constexpr double kLeadShiftFrames = 4096.0;

    // Starts again: the next output frame is `sourceFrame`, `ratio` source frames pass per
    // output frame, and the engine's heard lead is `lead`. Forgets pending changes and seams.
    void restart(double sourceFrame, double ratio, double lead);
    // From `framesAhead` output frames after the next one on, `ratio` source frames pass per
    // output frame; `lead` is the engine's heard lead for the settings that made it.
    void changeRatio(std::uint64_t framesAhead, double ratio, double lead);
    // A loop seam went into the stretcher: from unwrapped source frame `at` on, positions are
    // `offset` lower.
    void addWrap(double at, double offset);
    // Moves on by `frames` output frames; returns how many seams they went through.
    std::size_t advance(std::size_t frames);

    // Source frame of the next output frame, with the seams passed taken off.
    double position() const { return unwrapped_ - loopOffset_; }
    // The same, counted on through every seam.
    double unwrapped() const { return unwrapped_; }
    // Source frames per output frame at the output now.
    double ratio() const { return ratio_; }
    bool wrapAhead() const { return wrapCount_ > 0; }
    // Output frames until the next seam, at least one; only while wrapAhead().
    std::size_t framesUntilWrap() const;

  private:
    // From one output frame on, `ratio` source frames pass per output frame, and what is heard
    // moves `shift` source frames ahead of that (the engine's heard lead changed).
    struct RatioChange {
        std::uint64_t atFrame;
        double ratio;
        double shift;
    };
    // Where the loop ran back: from unwrapped source frame `at` on, positions are `offset`
    // lower.
    struct Wrap {
        double at;
        double offset;
    };

    double unwrapped_ = 0.0;
    double ratio_ = 1.0;
    // Output frames since the last restart, and the ratio changes that have not reached the
    // output yet.
    std::uint64_t emitted_ = 0;
    std::array<RatioChange, 16> changes_{};
    std::size_t changeCount_ = 0;
    // The engine's heard lead for the newest settings, and the part of the lead changes that
    // has reached the output but not yet the position, which takes it in gradually.
    double latestLead_ = 0.0;
    double shiftLeft_ = 0.0;
    double shiftPerFrame_ = 0.0;
    // Seams fed but not yet reached by the output, and the offset the output is at.
    std::array<Wrap, 8> wraps_{};
    std::size_t wrapCount_ = 0;
    double loopOffset_ = 0.0;
};

}  // namespace audiolib

#endif
