// A level that glides to a new value over a few milliseconds instead of jumping, so that moving a
// volume slider does not click. Used by one thread (the audio callback); no allocation.
#ifndef TONVERA_AUDIOLIB_DSP_LEVELRAMP_H
#define TONVERA_AUDIOLIB_DSP_LEVELRAMP_H

namespace audiolib {

class LevelRamp {
  public:
    // The ramp lasts `frames` frames; the level starts at `initial`.
    LevelRamp(int frames, float initial)
        : frames_(frames > 0 ? frames : 1), from_(initial), to_(initial) {}

    // Aims at a new level; a change while gliding starts from where the glide stands.
    void setTarget(float level) {
        if (level == to_)
            return;
        from_ = current();
        to_ = level;
        step_ = 0;
    }
    // Takes the level at once (nothing is sounding, so nothing can click).
    void jumpTo(float level) {
        from_ = to_ = level;
        step_ = frames_;
    }
    // The level for the next frame.
    float next() {
        if (step_ >= frames_)
            return to_;
        return from_ + (to_ - from_) * (static_cast<float>(step_++) / frames_);
    }
    float current() const {
        return step_ >= frames_ ? to_
                                : from_ + (to_ - from_) * (static_cast<float>(step_) / frames_);
    }

  private:
    int frames_;
    float from_;
    float to_;
    int step_ = 1 << 30;
};

}  // namespace audiolib

#endif
