// The hearing tools of the player window: the tuning in cents on top of the pitch and its
// detection, the focus filter, the centre cancel and the channels heard. It builds its own row
// of controls in the window it is given and hands what is chosen to the engine, which keeps the
// hearing for the next music and starts each music at a tuning of 0.
//
// Threads: main thread only. Detecting the tuning decodes on a thread of the detector's own,
// polled here by a timer; the engine passes the hearing to the feeder thread under its lock.
#ifndef TONVERA_PLAYER_PRACTICE_HEARINGTOOLS_H
#define TONVERA_PLAYER_PRACTICE_HEARINGTOOLS_H

#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>

#include "formats/HearingSettings.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QWidget;
class PlayerControls;
class SoundEngine;
class TuningDetector;

class HearingTools : public QObject {
    Q_OBJECT

  public:
    // Asks whether to take the tuning the detection found; true for yes.
    using TuningQuestion = std::function<bool(QWidget* parent, const QString& text)>;
    // The custom focus band's dialog: the band chosen, or nullopt when cancelled.
    using BandChooser = std::function<std::optional<formats::FocusSpec>(
        QWidget* parent, const formats::FocusSpec& band)>;

    // Both must outlive this object; the window of `controls` gets the hearing row here.
    HearingTools(PlayerControls& controls, SoundEngine& engine);
    ~HearingTools() override;

    // New music is open: the engine has set its tuning to 0, and a detection of the old music
    // is dropped. The focus, centre cancel and channels stay as chosen.
    void musicOpened();

    // Listens to the first minute of the open music and, when it can tell, offers the tuning
    // that brings it to A = 440.
    void detectTuning();
    bool detecting() const { return detector_ != nullptr; }

    // ---- the set-up, for the settings files
    float tuning() const;
    formats::HearingSettings hearing() const;
    // A stored set-up applied to the music just opened (bad values are refused, not applied).
    void apply(float tuningCents, const formats::HearingSettings& hearing);

    // ---- seams and outlets for tests and the window
    void setTuningQuestion(TuningQuestion question) { question_ = std::move(question); }
    void setBandChooser(BandChooser chooser) { chooser_ = std::move(chooser); }
    QGroupBox* group() const { return group_; }
    QSpinBox* tuningBox() const { return tuningBox_; }
    QPushButton* detectButton() const { return detectButton_; }
    QLabel* tuningLabel() const { return tuningLabel_; }
    QComboBox* focusBox() const { return focusBox_; }
    QCheckBox* centreCancelBox() const { return centreCancelBox_; }
    QComboBox* channelsBox() const { return channelsBox_; }

  private:
    void buildRow();
    void tuningChosen(int cents);
    // The focus list's entry `index` picked by the user (the custom one opens its dialog).
    void focusPicked(int index);
    // Hands `hearing` to the engine; on refusal the user is told and the controls show what
    // the engine kept.
    void setHearing(const formats::HearingSettings& hearing);
    void showHearing();
    void pollDetector();

    PlayerControls& controls_;
    SoundEngine& engine_;
    TuningQuestion question_;
    BandChooser chooser_;
    // The custom band last chosen, offered again when Custom is picked.
    formats::FocusSpec customBand_;
    std::unique_ptr<TuningDetector> detector_;
    QTimer detectorPoll_;

    // Children of the window (Qt owns them).
    QGroupBox* group_ = nullptr;
    QSpinBox* tuningBox_ = nullptr;
    QPushButton* detectButton_ = nullptr;
    QLabel* tuningLabel_ = nullptr;
    QComboBox* focusBox_ = nullptr;
    QCheckBox* centreCancelBox_ = nullptr;
    QComboBox* channelsBox_ = nullptr;
};

#endif
