// The metronome row, the practice settings files, the settings window of the player window, and
// how the window shows what its parts changed.
#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QPushButton>
#include <cmath>

#include "metronome/Metronom.h"
#include "metronome/MetronomControls.h"
#include "player/BpmFieldValidator.h"
#include "player/DisplayFormat.h"
#include "player/PlayerWindowControls.h"
#include "player/TonveraAppDelegate.h"
#include "player/overview/OverviewController.h"
#include "player/practice/PracticeTools.h"
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
        *windowControls_, std::move(dialogs),
        [this](const QString& path) { recentFiles_->record(path); });
}

void TonveraAppDelegate::menuSaveSettingsFile() {
    practiceCommands_->menuSaveSettingsFile();
}

void TonveraAppDelegate::menuOpenSettingsFile() {
    practiceCommands_->menuOpenSettingsFile();
}

void TonveraAppDelegate::connectParts() {
    PracticeTools* tools = practiceTools_.get();
    connect(tools, &PracticeTools::soundChosen, this, &TonveraAppDelegate::showChosenSound);
    connect(tools, &PracticeTools::tempoHeard, this, &TonveraAppDelegate::followHeardTempo);
    connect(tools, &PracticeTools::positionMoved, this, &TonveraAppDelegate::updatePositionSlider);
    connect(tools, &PracticeTools::loopChanged, this, &TonveraAppDelegate::showLoop);
    connect(tools, &PracticeTools::markersChanged, overview_.get(),
            &OverviewController::setMarkers);
    connect(overview_.get(), &OverviewController::positionMoved, this,
            &TonveraAppDelegate::updatePositionSlider);
}

void TonveraAppDelegate::showChosenSound(Sound sound, float value) {
    // Silent: the engine has the value already, and the slider's action would set it again.
    windowControls_->setSliderValue(sound, value);
    showSoundSet(sound, value);
}

void TonveraAppDelegate::followHeardTempo(float percent) {
    ValueSlider* slider = ui_->sliderTempo;
    QLineEdit* field = ui_->labelTempo;
    if (std::fabs(slider->floatValue() - percent) > 0.005F) {
        slider->setFloatValue(percent);
        if (!(field->hasFocus() && field->isModified())) {
            field->setText(display::formatNumber(slider->floatValue()));
        }
    }
}

void TonveraAppDelegate::showLoop(const LoopRange& loop) {
    const bool wraps = loop.isSet() && loop.on;
    ui_->sliderPosition->setHighlight(wraps ? static_cast<float>(loop.start) : 0.0F,
                                      wraps ? static_cast<float>(loop.end) : 0.0F);
    overview_->setLoop(loop);
    showExportLoopItem();
}

void TonveraAppDelegate::addExportLoopItem() {
    menuItemExportLoop_ = new QAction(tr("Export Loo&p..."), window_.get());
    menuItemExportLoop_->setObjectName(QStringLiteral("menuItemExportLoop"));
    menuItemExportLoop_->setEnabled(false);
    connect(menuItemExportLoop_, &QAction::triggered, this, &TonveraAppDelegate::menuExportLoop);
    QMenu* file = ui_->menuFile;
    const QList<QAction*> items = file->actions();
    const auto exportAt = items.indexOf(ui_->menuItemExportAsWAV);
    file->insertAction(exportAt >= 0 && exportAt + 1 < items.size() ? items[exportAt + 1] : nullptr,
                       menuItemExportLoop_);
}

void TonveraAppDelegate::showExportLoopItem() {
    menuItemExportLoop_->setEnabled(practiceTools_->loop().isSet() && !exportRunning_);
}
