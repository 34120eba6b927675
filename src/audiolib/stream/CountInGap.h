// A count-in before every pass through a loop after the first: at each seam the music fades out,
// `beats` clicks sound `intervalFrames` apart over silence (the first beat of each bar with the
// accented click where there is one), and the next pass starts on the beat after them, fading in.
// The gap's frames are not music: the stream's position holds while they play.
//
// Threads: set() by an API thread holding the tempo stream's mutex(); everything else by whoever
// renders the stream (it holds the same mutex). The clicks are made before set() and only read
// here, so rendering never allocates.
#ifndef TONVERA_AUDIOLIB_STREAM_COUNTINGAP_H
#define TONVERA_AUDIOLIB_STREAM_COUNTINGAP_H

#include <cstddef>
#include <memory>
#include <utility>
#include <vector>

namespace audiolib {

class CountInGap {
  public:
    // Frames are those of the stream the gap plays in.
    struct Clicks {
        std::vector<float> click;        // mono
        std::vector<float> accentClick;  // mono; empty: every beat the same
        int beats = 0;
        double intervalFrames = 0.0;
        int beatsPerBar = 4;
        float level = 1.0F;  // the clicks' level as heard, after the stream's gains and volume
    };

    // Long enough that the music leaves and comes back without a click, short enough to keep the
    // first note's attack.
    static constexpr double kFadeSeconds = 0.01;

    CountInGap(int rate, int channels);

    // Null turns it off.
    void set(std::shared_ptr<const Clicks> clicks) { clicks_ = std::move(clicks); }
    // A seam is followed by a gap.
    bool armed() const { return clicks_ && clicks_->beats > 0; }
    // Forgets a gap or fade under way (a seek).
    void reset() { left_ = done_ = fadeInLeft_ = 0; }

    // The output reached a seam: the gap starts with the next frame. Only while armed().
    void begin();
    bool playing() const { return left_ > 0; }
    // Writes the next frames of the gap, at most `frames`, and returns how many. `gainAfter` is
    // what the stream's gains and volume will multiply them by, which the clicks' level undoes.
    std::size_t render(float* out, std::size_t frames, float gainAfter);

    // Fades out the music in `block`, whose first frame is `untilSeam` frames before the seam.
    void fadeOut(float* block, std::size_t frames, std::size_t untilSeam) const;
    // Fades in the music after a gap; nothing once the fade is through.
    void fadeIn(float* block, std::size_t frames);

  private:
    std::size_t fadeFrames() const;

    int rate_;
    std::size_t width_;
    std::shared_ptr<const Clicks> clicks_;
    std::size_t left_ = 0;        // frames of the gap still to play
    std::size_t done_ = 0;        // and already played
    std::size_t fadeInLeft_ = 0;  // frames of music still to fade in after it
};

}  // namespace audiolib

#endif
