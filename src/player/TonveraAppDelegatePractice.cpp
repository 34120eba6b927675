// The metronome row, the practice settings files and the settings window of the player window.
#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>

#include "metronome/Metronom.h"
#include "metronome/MetronomControls.h"
#include "player/BpmFieldValidator.h"
#include "player/PlayerPracticeControls.h"
#include "player/TonveraAppDelegate.h"
#include "player/recent/RecentFilesMenu.h"
#include "player/settingsfile/PracticeSettingsCommands.h"
#include "ui/ResourcePaths.h"
#include "ui/ValueSlider.h"
#include "ui_MainWindow.h"
#include "visualisation/SettingsController.h"

void TonveraAppDelegate::setUpMetronomField() {
    ui_->labelMetronomBPM->setValidator(new BpmFieldValidator(
        Metronom::kFieldMinimumBpm, Metronom::kFieldMaximumBpm, ui_->labelMetronomBPM));
}

void TonveraAppDelegate::createMetronom() {
    metronom_ = std::make_unique<Metronom>();
    // Loads click.wav once; without it the metronome ticks in silence and the engine logs why.
    metronom_->appendSoundEngine(soundEngine_);
    // The slider is not read here: the clicks play at this volume until it is first moved.
    metronom_->setVolume(Metronom::kStartVolume);

    Ui::MainWindow& ui = *ui_;
    const MetronomControls::Widgets widgets{ui.labelMetronomBPM, ui.buttonMetronomStartWithMusic,
                                            ui.buttonMetronomPlay, ui.sliderMetronomVolume};
    // Off, the button shows what a click on it does: play; running, it shows pause.
    metronomControls_ = std::make_unique<MetronomControls>(
        widgets, *metronom_, resources::path(resources::kIconPlayFormat),
        resources::path(resources::kIconPauseFormat));
    metronomControls_->connectControls();
}

void TonveraAppDelegate::menuClickedSettings() {
    // One settings window: a second choice of the command brings the open one forward.
    if (settingsWindow_) {
        settingsWindow_->show();
        settingsWindow_->raise();
        settingsWindow_->activateWindow();
        return;
    }
    settingsWindow_ = SettingsController::showNew(window_.get());
}

void TonveraAppDelegate::setPracticeSettingsDialogs(PracticeSettingsDialogs dialogs) {
    practiceCommands_ = std::make_unique<PracticeSettingsCommands>(
        *practiceControls_, std::move(dialogs),
        [this](const QString& path) { recentFiles_->record(path); });
}

void TonveraAppDelegate::menuSaveSettingsFile() {
    practiceCommands_->menuSaveSettingsFile();
}

void TonveraAppDelegate::menuOpenSettingsFile() {
    practiceCommands_->menuOpenSettingsFile();
}
