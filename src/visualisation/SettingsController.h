// The small "Settings" window where the user picks what the spectrum view shows and the sound
// quality (the stretch engine) of music opened from then on. Each opening
// makes a new window that deletes itself when closed; nothing but GlobalSettings carries the
// choice from one window to the next.
//
// Threads: main thread only.
#ifndef TONVERA_VISUALISATION_SETTINGSCONTROLLER_H
#define TONVERA_VISUALISATION_SETTINGSCONTROLLER_H

#include <QWidget>
#include <cstdint>
#include <memory>

class GlobalSettings;
class QAbstractButton;
class QButtonGroup;
class QRadioButton;

namespace Ui {
class Settings;
}

class SettingsController : public QWidget {
    Q_OBJECT

  public:
    // Rows of the radio group, top to bottom.
    enum Row { RowFFT = 0, RowWave = 1, RowNone = 2 };

    // Makes, shows and raises a new settings window. With a parent the window stays on top of it
    // and goes with it; either way it deletes itself when closed, so the caller keeps nothing.
    // `settings` (default: the shared instance) must outlive the window.
    static SettingsController* showNew(QWidget* parent, GlobalSettings* settings = nullptr);

    explicit SettingsController(QWidget* parent = nullptr, GlobalSettings* settings = nullptr);
    ~SettingsController() override;

    QRadioButton* buttonFFT() const;
    QRadioButton* buttonWave() const;
    QRadioButton* buttonNone() const;
    QButtonGroup* maxtrixVisualization() const;
    QRadioButton* buttonQualityBest() const;
    QRadioButton* buttonQualityLight() const;

    // The row that shows a spectrum type: unknown values show as the waveform row.
    static int rowForType(std::int32_t type);

  public slots:
    void clickedOptionSpectrumTypeFFT();
    void clickedOptionSpectrumTypeWaveForm();
    void clickedOptionSpectrumTypeNone();
    void clickedOptionSoundQualityBest();
    void clickedOptionSoundQualityLight();

  private:
    void windowDidLoad();

    std::unique_ptr<Ui::Settings> ui_;
    GlobalSettings& settings_;
};

#endif
