// The transport and sound controls, opening music, and the position tick of the player window.
#include <QApplication>
#include <QFileInfo>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPixmap>
#include <QPushButton>

#include "engine/SoundEngine.h"
#include "logging/Console.h"
#include "metronome/MetronomControls.h"
#include "player/DisplayFormat.h"
#include "ui/ResourcePaths.h"
#include "player/TonveraAppDelegate.h"
#include "ui/ValueSlider.h"
#include "ui_MainWindow.h"
#include "visualisation/SpectrumView.h"

namespace {

constexpr float kVolumeOnOpen = 75.0F;

}  // namespace

QString TonveraAppDelegate::formatNumber(float value) {
    return display::formatNumber(value);
}

void TonveraAppDelegate::setPlayButtonImage(bool playing) {
    // The image shows what a click will do.
    const QString file =
        resources::path(playing ? resources::kIconPauseFormat : resources::kIconPlayFormat);
    const QPixmap image(file);
    QPushButton* button = ui_->playButton;
    button->setIcon(QIcon(image));
    // Without its image file the button must still say what it does.
    button->setText(image.isNull() ? (playing ? tr("Pause") : tr("Play")) : QString());
    button->setAccessibleName(playing ? tr("Pause") : tr("Play"));
}

void TonveraAppDelegate::clickedPlayButton() {
    SoundEngine& engine = *soundEngine_;
    if (engine.isPlaying()) {
        engine.pause();
        // However the metronome was started, pausing the music stops it.
        if (metronomControls_) {
            metronomControls_->musicPaused();
        }
    } else if (engine.musicAvailable()) {
        engine.play();
        // With the start-with-music box ticked, the metronome starts at the BPM field's whole
        // number.
        if (metronomControls_) {
            metronomControls_->musicStarted();
        }
    } else {
        menuOpenFile();  // a file chosen there is opened, not started
    }
    if (engine.musicAvailable()) {
        setPlayButtonImage(engine.isPlaying());
    }
}

void TonveraAppDelegate::sliderTempoMoved() {
    const float value = ui_->sliderTempo->floatValue();
    soundEngine_->setTempo(value);
    ui_->labelTempo->setText(formatNumber(value));
    console("slideTempoMoved: %f", static_cast<double>(value));
}

void TonveraAppDelegate::sliderPitchMoved() {
    const float value = ui_->sliderPitch->floatValue();
    soundEngine_->setPitch(value);
    ui_->labelPitch->setText(formatNumber(value));
}

void TonveraAppDelegate::sliderRateMoved() {
    const float value = ui_->sliderRate->floatValue();
    soundEngine_->setSamplerate(value);
    ui_->labelRate->setText(formatNumber(value));
}

void TonveraAppDelegate::sliderVolumeMoved() {
    soundEngine_->setVolume(ui_->sliderVolume->floatValue());
}

std::optional<float> TonveraAppDelegate::takeTypedValue(QLineEdit* field, ValueSlider* slider) {
    // Return on an unchanged field (or leaving it) must not re-send the shown, rounded value:
    // 12.34 shown as "12,35" would otherwise become 12.35.
    if (!field->isModified()) {
        return std::nullopt;
    }
    field->setModified(false);
    const std::optional<float> value = display::parseNumber(field->text());
    if (!value) {
        console("%s: not a number: \"%s\"", qUtf8Printable(field->objectName()),
                qUtf8Printable(field->text()));
        QApplication::beep();
        field->setText(formatNumber(slider->floatValue()));
    }
    return value;
}

void TonveraAppDelegate::textTempoChanged() {
    if (const auto value = takeTypedValue(ui_->labelTempo, ui_->sliderTempo)) {
        // The engine gets the value as typed, even beyond the slider's range; the field keeps
        // the typed text.
        soundEngine_->setTempo(*value);
        ui_->sliderTempo->setFloatValue(*value);
        console("textTempoChanged: %f", static_cast<double>(*value));
    }
}

void TonveraAppDelegate::textPitchChanged() {
    if (const auto value = takeTypedValue(ui_->labelPitch, ui_->sliderPitch)) {
        soundEngine_->setPitch(*value);
        ui_->sliderPitch->setFloatValue(*value);
        console("textPitchChanged: %f", static_cast<double>(*value));
    }
}

void TonveraAppDelegate::textRateChanged() {
    if (const auto value = takeTypedValue(ui_->labelRate, ui_->sliderRate)) {
        soundEngine_->setSamplerate(*value);
        ui_->sliderRate->setFloatValue(*value);
        console("textRateChanged: %f", static_cast<double>(*value));
    }
}

void TonveraAppDelegate::menuOpenFile() {
    const QString path = fileChooser_ ? fileChooser_(window_.get(), openFileTypes()) : QString();
    if (path.isEmpty()) {
        return;  // cancelled: nothing happens, nothing is logged
    }
    console("opening: %s", qUtf8Printable(path));
    open(path);
}

void TonveraAppDelegate::open(const QString& path) {
    SoundEngine& engine = *soundEngine_;
    if (!engine.open(path.toStdString())) {
        return;  // the engine has logged it; the window keeps what the previous music set
    }
    Ui::MainWindow& ui = *ui_;
    setPlayButtonImage(false);
    const QString name = QFileInfo(path).fileName();
    ui.labelFilename->setText(QStringLiteral(">> %1 << ").arg(name));
    ui.labelFilename->setToolTip(path);
    window_->setWindowTitle(tr("%1 - Tonvera").arg(name));

    ui.sliderTempo->setFloatValue(engine.tempo());
    ui.labelTempo->setText(formatNumber(ui.sliderTempo->floatValue()));
    ui.sliderPitch->setFloatValue(engine.pitch());
    ui.labelPitch->setText(formatNumber(ui.sliderPitch->floatValue()));

    const float rate = engine.samplerate();
    const display::RateRange range = display::rateRange(rate);
    ui.sliderRate->setFloatRange(static_cast<float>(range.minimum),
                                 static_cast<float>(range.maximum));
    ui.sliderVolume->setFloatValue(kVolumeOnOpen);
    engine.setVolume(kVolumeOnOpen);
    ui.sliderRate->setFloatValue(rate);
    ui.labelRate->setText(formatNumber(ui.sliderRate->floatValue()));

    ui.sliderPosition->setFloatRange(0.0F, static_cast<float>(engine.length()));
    // One position timer for the whole run: start() on a running timer restarts it.
    updateTimer_.start();
}

void TonveraAppDelegate::updatePositionSlider() {
    std::lock_guard<std::recursive_mutex> lock(controllerLock_);
    SoundEngine& engine = *soundEngine_;
    ValueSlider* position = ui_->sliderPosition;
    // While the user holds the handle, the tick must not pull it away; the time display then
    // previews the place under the handle.
    if (!position->isSliderDown()) {
        position->setFloatValue(static_cast<float>(engine.currentpos()));
    }
    const double value = position->isSliderDown() ? position->sliderPosition() : position->value();
    if (const auto text =
            display::playingTimeText(value, position->maximum(), engine.tempoRatio())) {
        ui_->labelTime->setText(*text);
    }
    // While paused the view keeps its last picture.
    SpectrumView* view = ui_->spectrumView;
    std::lock_guard<std::recursive_mutex> dataLock(view->dataLock());
    if (engine.isPlaying()) {
        view->updateData();
        view->repaint();
    }
}

void TonveraAppDelegate::sliderPositionMoved() {
    const float seconds = ui_->sliderPosition->floatValue();
    soundEngine_->setCurrentPosition(seconds > 0.0F ? static_cast<std::uint32_t>(seconds) : 0U);
}
