// What the practice tools are set to: the A-B loop, the speed trainer, the count-in and the
// markers. Kept in practice settings files beside the sound controls.
#ifndef TONVERA_FORMATS_PRACTICESETUP_H
#define TONVERA_FORMATS_PRACTICESETUP_H

#include <QString>

// Seconds of the music; a loop exists once its end lies after its start.
struct LoopRange {
    double start = 0.0;
    double end = 0.0;
    bool on = false;
    bool isSet() const { return end > start; }
    bool operator==(const LoopRange&) const = default;
};

// Tempos in percent as the tempo control has them; the tempo moves `step` points toward the
// target every `passesPerStep` passes through the loop.
struct TrainerPlan {
    float start = -30.0F;
    float target = 0.0F;
    float step = 10.0F;
    int passesPerStep = 2;
    bool on = false;
    bool operator==(const TrainerPlan&) const = default;
};

// Metronome clicks before the music starts: `bars` bars (0: none) of `beatsPerBar` beats; with
// `everyPass`, also before every pass through the loop.
struct CountIn {
    static constexpr int kMinimumBeatsPerBar = 2;
    static constexpr int kMaximumBeatsPerBar = 7;
    int bars = 0;
    int beatsPerBar = 4;
    bool everyPass = false;
    bool operator==(const CountIn&) const = default;
};

// A named place in the music, in seconds.
struct Marker {
    double seconds = 0.0;
    QString name;
    bool operator==(const Marker&) const = default;
};

#endif
