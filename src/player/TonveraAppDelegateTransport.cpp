// The transport and sound controls, opening music, and the position tick of the player window.
#include <QApplication>
#include <QFileInfo>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPixmap>
#include <QPushButton>
#include <algorithm>
#include <utility>

#include "engine/SoundEngine.h"
#include "logging/Console.h"
#include "metronome/MetronomControls.h"
#include "player/DisplayFormat.h"
#include "player/OpenFailure.h"
#include "player/TonveraAppDelegate.h"
#include "player/overview/OverviewController.h"
#include "player/practice/HearingTools.h"
#include "player/practice/PracticeTools.h"
#include "player/recent/RecentFilesMenu.h"
#include "ui/ResourcePaths.h"
#include "ui/ValueSlider.h"
#include "ui_MainWindow.h"
#include "visualisation/GlobalSettings.h"
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
        // However the metronome was started, pausing the music stops it (and a count-in).
        if (metronomControls_) {
            metronomControls_->musicPaused();
        }
        practiceTools_->musicPaused();
    } else if (engine.musicAvailable()) {
        // A chosen count-in starts the music itself, on the beat after its clicks, and the
        // metronome that starts with the music with it.
        if (!practiceTools_->startMusic()) {
            engine.play();
            // With the start-with-music box ticked, the metronome starts at the BPM field's
            // whole number.
            if (metronomControls_) {
                metronomControls_->musicStarted();
            }
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
    showSoundSet(Sound::Tempo, value);
}

void TonveraAppDelegate::sliderPitchMoved() {
    const float value = ui_->sliderPitch->floatValue();
    soundEngine_->setPitch(value);
    showSoundSet(Sound::Pitch, value);
}

void TonveraAppDelegate::sliderRateMoved() {
    const float value = ui_->sliderRate->floatValue();
    soundEngine_->setSamplerate(value);
    showSoundSet(Sound::Rate, value);
}

void TonveraAppDelegate::showSoundSet(Sound sound, float value) {
    switch (sound) {
        case Sound::Tempo:
            keepWhileNoMusic(&KeptSound::tempo, value);
            ui_->labelTempo->setText(formatNumber(value));
            console("slideTempoMoved: %f", static_cast<double>(value));
            break;
        case Sound::Pitch:
            keepWhileNoMusic(&KeptSound::pitch, value);
            ui_->labelPitch->setText(formatNumber(value));
            break;
        case Sound::Rate:
            keepWhileNoMusic(&KeptSound::samplerate, value);
            ui_->labelRate->setText(formatNumber(value));
            break;
        case Sound::Volume:
        case Sound::MetronomVolume:
            break;  // no value field, nothing kept
    }
}

void TonveraAppDelegate::sliderVolumeMoved() {
    soundEngine_->setVolume(ui_->sliderVolume->floatValue());
}

void TonveraAppDelegate::applyTypedValue(QLineEdit* field, ValueSlider* slider, float playing,
                                         void (SoundEngine::*setter)(float), float KeptSound::*kept,
                                         const char* consoleFormat) {
    // Return on an unchanged field (or leaving it) must not re-send the shown, rounded value:
    // 12.34 shown as "12,35" would otherwise become 12.35.
    if (!field->isModified()) {
        return;
    }
    field->setModified(false);
    const std::optional<float> typed = display::parseNumber(field->text());
    if (!typed) {
        console("%s: not a number: \"%s\"", qUtf8Printable(field->objectName()),
                qUtf8Printable(field->text()));
        QApplication::beep();
        field->setText(formatNumber(playing));
        return;
    }
    // Held within the slider's range: beyond it the engine may refuse the value and go on with
    // the old one while the field showed the new. A value that had to be held is shown as
    // applied; one within the range keeps its typed text.
    const float value = std::clamp(*typed, slider->floatMinimum(), slider->floatMaximum());
    (soundEngine_->*setter)(value);
    keepWhileNoMusic(kept, value);
    slider->setFloatValue(value);
    if (value != *typed) {
        field->setText(formatNumber(value));
    }
    console(consoleFormat, static_cast<double>(value));
}

float TonveraAppDelegate::playingValue(float (SoundEngine::*getter)() const,
                                       const ValueSlider* slider) const {
    // The slider may hold a rounded or clamped copy; the engine has what is heard.
    return soundEngine_->musicAvailable() ? (soundEngine_->*getter)() : slider->floatValue();
}

void TonveraAppDelegate::textTempoChanged() {
    applyTypedValue(ui_->labelTempo, ui_->sliderTempo,
                    playingValue(&SoundEngine::tempo, ui_->sliderTempo), &SoundEngine::setTempo,
                    &KeptSound::tempo, "textTempoChanged: %f");
}

void TonveraAppDelegate::textPitchChanged() {
    applyTypedValue(ui_->labelPitch, ui_->sliderPitch,
                    playingValue(&SoundEngine::pitch, ui_->sliderPitch), &SoundEngine::setPitch,
                    &KeptSound::pitch, "textPitchChanged: %f");
}

void TonveraAppDelegate::textRateChanged() {
    applyTypedValue(ui_->labelRate, ui_->sliderRate,
                    playingValue(&SoundEngine::samplerate, ui_->sliderRate),
                    &SoundEngine::setSamplerate, &KeptSound::samplerate, "textRateChanged: %f");
}

void TonveraAppDelegate::menuOpenFile() {
    const QString path = fileChooser_ ? fileChooser_(window_.get(), openFileFilters()) : QString();
    if (path.isEmpty()) {
        return;  // cancelled: nothing happens, nothing is logged
    }
    console("opening: %s", qUtf8Printable(path));
    open(path);
}

void TonveraAppDelegate::open(const QString& path) {
    SoundEngine& engine = *soundEngine_;
    // The sound quality chosen in the settings window holds from the next open on.
    engine.setSoundQuality(
        static_cast<SoundQuality>(GlobalSettings::sharedSingleton().soundQuality()));
    if (const OpenResult opened = engine.open(path.toStdString()); !opened) {
        // The code of the call that failed, which the engine kept: the thread's last error is
        // already that of freeing what was half made.
        showNoMusic();
        tellUser(openFailureText(path, opened.errorCode));
        return;
    }
    practiceTools_->musicOpened();
    overview_->musicOpened(path);
    hearingTools_->musicOpened();
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
    applyKeptSound();
    // One position timer for the whole run: start() on a running timer restarts it.
    updateTimer_.start();
    recentFiles_->record(path);
}

void TonveraAppDelegate::showNoMusic() {
    Ui::MainWindow& ui = *ui_;
    updateTimer_.stop();
    setPlayButtonImage(false);
    ui.labelFilename->setText(noMusicFileText_);
    ui.labelFilename->setToolTip(QString());
    window_->setWindowTitle(noMusicTitle_);
    ui.labelTime->setText(noMusicTimeText_);
    ui.sliderPosition->setFloatRange(0.0F, 0.0F);
    if (overview_) {
        overview_->noMusic();
    }
    // The view goes black, as before anything played.
    SpectrumView* view = ui.spectrumView;
    view->setSpecData({});
    view->update();
}

void TonveraAppDelegate::keepForNextMusic(float tempo, float pitch, float samplerate) {
    keptSound_ = KeptSound{tempo, pitch, samplerate};
}

void TonveraAppDelegate::keepWhileNoMusic(float KeptSound::*member, float value) {
    if (keptSound_ && !soundEngine_->musicAvailable()) {
        (*keptSound_).*member = value;
    }
}

void TonveraAppDelegate::applyKeptSound() {
    if (!keptSound_) {
        return;
    }
    const KeptSound kept = *keptSound_;
    keptSound_.reset();
    // As a settings file applies them: the controls hold the values within their ranges, and
    // the engine gets what they accepted.
    Ui::MainWindow& ui = *ui_;
    ui.sliderTempo->setFloatValue(kept.tempo);
    ui.sliderPitch->setFloatValue(kept.pitch);
    ui.sliderRate->setFloatValue(kept.samplerate);
    ui.labelTempo->setText(formatNumber(ui.sliderTempo->floatValue()));
    ui.labelPitch->setText(formatNumber(ui.sliderPitch->floatValue()));
    ui.labelRate->setText(formatNumber(ui.sliderRate->floatValue()));
    soundEngine_->setPitch(ui.sliderPitch->floatValue());
    soundEngine_->setTempo(ui.sliderTempo->floatValue());
    soundEngine_->setSamplerate(ui.sliderRate->floatValue());
    console("open: applied the kept practice settings");
}

void TonveraAppDelegate::tellUser(const QString& text) {
    // Before the window is on screen a window-modal message would have nothing to sit on.
    if (!window_->isVisible()) {
        waitingMessages_ << text;
        return;
    }
    if (messageShower_) {
        messageShower_(window_.get(), text);
    }
}

void TonveraAppDelegate::showWaitingMessages() {
    const QStringList waiting = std::exchange(waitingMessages_, {});
    for (const QString& text : waiting) {
        tellUser(text);
    }
}

void TonveraAppDelegate::updatePositionSlider() {
    std::lock_guard<std::recursive_mutex> lock(controllerLock_);
    SoundEngine& engine = *soundEngine_;
    ValueSlider* position = ui_->sliderPosition;
    // A file whose container states no exact length is measured while it plays; once the
    // measurement is in, the slider's range follows it.
    if (const auto length = static_cast<float>(engine.length());
        length > 0.0F && length != position->floatMaximum()) {
        position->setFloatRange(0.0F, length);
    }
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
    practiceTools_->tick();
    overview_->tick();
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
