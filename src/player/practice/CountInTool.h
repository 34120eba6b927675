// The count-in of the practice row: one or two bars of clicks at the metronome's beat before the
// music comes in on the next beat, and before every pass through the loop when asked. With the
// metronome already ticking, its own beat counts in.
//
// Threads: main thread only. The engine hands the clicks and the music's start to the audio
// layer, which places them on the device's clock on the audio thread.
#ifndef TONVERA_PLAYER_PRACTICE_COUNTINTOOL_H
#define TONVERA_PLAYER_PRACTICE_COUNTINTOOL_H

#include <QObject>
#include <optional>

#include "formats/PracticeSetup.h"

class LoopTool;
class PlayerControls;
class QBoxLayout;
class QCheckBox;
class QComboBox;
class QWidget;
class SoundEngine;

class CountInTool : public QObject {
    Q_OBJECT

  public:
    // All three must outlive this object; the count-in between passes follows `loop`.
    CountInTool(PlayerControls& controls, SoundEngine& engine, const LoopTool& loop);
    ~CountInTool() override;

    void addControls(QWidget* group, QBoxLayout* row);

    CountIn countIn() const { return countIn_; }
    void set(const CountIn& countIn);

    // The play button asked to start the music: true when this started it (after a count-in),
    // false when the window should play it at once.
    bool startMusic();
    void musicPaused();
    void musicOpened();
    // Hands the count-in between passes to the engine (or takes it away).
    void applyPassCountIn();

    QComboBox* countInBox() const { return countInBox_; }
    QComboBox* meterBox() const { return meterBox_; }
    QCheckBox* everyPassBox() const { return everyPassBox_; }

  private:
    // The interval of the metronome's BPM field; nullopt when it holds no beat rate.
    std::optional<double> beatInterval() const;

    PlayerControls& controls_;
    SoundEngine& engine_;
    const LoopTool& loop_;
    CountIn countIn_;
    // Count-in clicks waiting on the click channel (not the metronome's own beat).
    bool countInPending_ = false;

    // Children of the window (Qt owns them).
    QComboBox* countInBox_ = nullptr;
    QComboBox* meterBox_ = nullptr;
    QCheckBox* accentBox_ = nullptr;
    QCheckBox* everyPassBox_ = nullptr;
};

#endif
