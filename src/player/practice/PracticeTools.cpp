#include "player/practice/PracticeTools.h"
#include "player/practice/TrainerStatus.h"

#include <QAbstractSlider>
#include <QAction>
#include <QApplication>
#include <QBoxLayout>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QToolButton>
#include <algorithm>
#include <cmath>

#include "engine/SoundEngine.h"
#include "formats/NumberText.h"
#include "logging/Console.h"
#include "metronome/Metronom.h"
#include "player/DisplayFormat.h"
#include "player/TonveraAppDelegate.h"
#include "player/practice/KeyboardShortcutsWindow.h"
#include "player/practice/MarkerTools.h"
#include "player/practice/TrainerDialog.h"
#include "ui/ValueSlider.h"

namespace {

// The count-in's first click comes this long after the press: enough for the click to be
// scheduled before the mixer reaches its frame.
constexpr double kCountInLeadSeconds = 0.1;
// A loop shorter than this is no passage, and the seam's crossfade would fill it.
constexpr double kShortestLoopSeconds = 0.05;

QString timeText(double seconds) {
    const double shown = std::max(0.0, seconds);
    const int minutes = static_cast<int>(shown / 60.0);
    const double rest = shown - minutes * 60.0;
    return QStringLiteral("%1:%2").arg(minutes).arg(rest, 5, 'f', 2, QLatin1Char('0'));
}

}  // namespace

PracticeTools::PracticeTools(TonveraAppDelegate& controller)
    : QObject(nullptr), controller_(controller) {
    markers_ = std::make_unique<MarkerTools>(
        engine(), controller_.window(),
        MarkerTools::Actions{[this](double seconds) { seekTo(seconds); },
                             [this](const LoopRange& range) { loopBetween(range); }});
    buildRow();
    buildMenus();
    showLoop();
    showTrainer();
}

PracticeTools::~PracticeTools() = default;

SoundEngine& PracticeTools::engine() const {
    return controller_.soundEngine();
}

void PracticeTools::buildRow() {
    QMainWindow* window = controller_.window();
    group_ = new QGroupBox(tr("Practice"), window->centralWidget());
    group_->setObjectName(QStringLiteral("groupPractice"));
    auto* rows = new QVBoxLayout(group_);
    auto* loopRow = new QHBoxLayout;
    auto* toolRow = new QHBoxLayout;
    rows->addLayout(loopRow);
    rows->addLayout(toolRow);

    // A and B set the loop's ends here; their arrows hold the nudges.
    const auto endButton = [this](const QString& text, const QString& tip, bool isEnd) {
        auto* button = new QToolButton(group_);
        button->setText(text);
        button->setToolTip(tip);
        button->setPopupMode(QToolButton::MenuButtonPopup);
        auto* menu = new QMenu(button);
        for (const double ms : {-100.0, -10.0, 10.0, 100.0}) {
            QAction* move =
                menu->addAction(ms < 0 ? tr("%1 ms earlier").arg(-ms) : tr("%1 ms later").arg(ms));
            connect(move, &QAction::triggered, this, [this, ms, isEnd] {
                nudgeEnd_ = isEnd;
                nudge(ms / 1000.0);
            });
        }
        button->setMenu(menu);
        return button;
    };
    buttonA_ = endButton(tr("A"), tr("Set the loop start here ( [ )"), false);
    buttonB_ = endButton(tr("B"), tr("Set the loop end here ( ] )"), true);
    connect(buttonA_, &QToolButton::clicked, this, &PracticeTools::setLoopStart);
    connect(buttonB_, &QToolButton::clicked, this, &PracticeTools::setLoopEnd);
    buttonLoop_ = new QPushButton(tr("Loop"), group_);
    buttonLoop_->setCheckable(true);
    buttonLoop_->setToolTip(tr("Loop on or off (L)"));
    connect(buttonLoop_, &QPushButton::clicked, this, &PracticeTools::setLoopOn);
    buttonClear_ = new QPushButton(tr("Clear"), group_);
    buttonClear_->setToolTip(tr("Clear the loop"));
    connect(buttonClear_, &QPushButton::clicked, this, &PracticeTools::clearLoop);
    loopLabel_ = new QLabel(group_);
    loopLabel_->setObjectName(QStringLiteral("labelLoop"));
    // The ends in seconds, to be read and typed exactly; shown while a loop is set.
    const auto endField = [this](const QString& name, const QString& tip, bool isEnd) {
        auto* field = new QLineEdit(group_);
        field->setObjectName(name);
        field->setToolTip(tip);
        field->setMaximumWidth(field->fontMetrics().horizontalAdvance(QStringLiteral("00000.00")));
        connect(field, &QLineEdit::editingFinished, this,
                [this, field, isEnd] { typedLoopEnd(field, isEnd); });
        return field;
    };
    fieldA_ = endField(QStringLiteral("fieldLoopStart"), tr("Loop start in seconds"), false);
    fieldB_ = endField(QStringLiteral("fieldLoopEnd"), tr("Loop end in seconds"), true);
    for (QWidget* widget : std::initializer_list<QWidget*>{
             buttonA_, buttonB_, buttonLoop_, buttonClear_, loopLabel_, fieldA_, fieldB_}) {
        loopRow->addWidget(widget);
    }
    loopRow->addStretch(1);
    auto* addMarker = new QPushButton(tr("Add &Marker"), group_);
    addMarker->setToolTip(tr("A marker at the heard place (Ctrl+M)"));
    connect(addMarker, &QPushButton::clicked, markers_.get(), &MarkerTools::add);
    auto* listMarkers = new QPushButton(tr("Markers..."), group_);
    listMarkers->setObjectName(QStringLiteral("buttonMarkers"));
    listMarkers->setToolTip(tr("Name, delete and loop between the markers"));
    connect(listMarkers, &QPushButton::clicked, markers_.get(), &MarkerTools::showList);
    loopRow->addWidget(addMarker);
    loopRow->addWidget(listMarkers);

    // Seconds with tenths beside the time display, while a loop asks for that precision.
    positionSeconds_ = new QLabel(window);
    positionSeconds_->setObjectName(QStringLiteral("labelPositionSeconds"));
    positionSeconds_->setToolTip(tr("The position in seconds of the music"));
    if (auto* transport = window->findChild<QBoxLayout*>(QStringLiteral("layoutTransport"))) {
        transport->addWidget(positionSeconds_);
    }

    buttonTrainer_ = new QPushButton(tr("Trainer..."), group_);
    buttonTrainer_->setToolTip(tr("Start the loop slow and let it speed up"));
    connect(buttonTrainer_, &QPushButton::clicked, this, &PracticeTools::menuTrainer);
    trainerLabel_ = new QLabel(group_);
    trainerLabel_->setObjectName(QStringLiteral("labelTrainer"));
    countInBox_ = new QComboBox(group_);
    countInBox_->setObjectName(QStringLiteral("boxCountIn"));
    countInBox_->addItems({tr("No count-in"), tr("Count in 1 bar"), tr("Count in 2 bars")});
    meterBox_ = new QComboBox(group_);
    meterBox_->setObjectName(QStringLiteral("boxBeatsPerBar"));
    meterBox_->setToolTip(tr("Beats per bar"));
    for (int beats = CountIn::kMinimumBeatsPerBar; beats <= CountIn::kMaximumBeatsPerBar; ++beats) {
        meterBox_->addItem(QStringLiteral("%1/4").arg(beats), beats);
    }
    meterBox_->setCurrentIndex(countIn_.beatsPerBar - CountIn::kMinimumBeatsPerBar);
    accentBox_ = new QCheckBox(tr("Accent beat &1"), group_);
    accentBox_->setToolTip(tr("The metronome's first beat of each bar sounds higher"));
    everyPassBox_ = new QCheckBox(tr("Every pa&ss"), group_);
    everyPassBox_->setToolTip(tr("Count in again before every pass through the loop"));
    const auto countInChosen = [this] {
        setCountIn(CountIn{countInBox_->currentIndex(), meterBox_->currentData().toInt(),
                           everyPassBox_->isChecked()});
    };
    connect(countInBox_, &QComboBox::currentIndexChanged, this, countInChosen);
    connect(meterBox_, &QComboBox::currentIndexChanged, this, countInChosen);
    connect(accentBox_, &QCheckBox::toggled, this, countInChosen);
    connect(everyPassBox_, &QCheckBox::toggled, this, countInChosen);
    toolRow->addWidget(buttonTrainer_);
    toolRow->addWidget(trainerLabel_, 1);
    // Alt+N: the letters of the other controls are taken.
    auto* countInCaption = new QLabel(tr("Cou&nt-in:"), group_);
    countInCaption->setBuddy(countInBox_);
    toolRow->addWidget(countInCaption);
    toolRow->addWidget(countInBox_);
    toolRow->addWidget(meterBox_);
    toolRow->addWidget(everyPassBox_);
    toolRow->addWidget(accentBox_);

    // Below the metronome, whose beat the count-in uses.
    auto* main = qobject_cast<QBoxLayout*>(window->centralWidget()->layout());
    if (main != nullptr) {
        main->addWidget(group_);
    }
}

void PracticeTools::buildMenus() {
    QMenuBar* bar = controller_.window()->menuBar();
    // Alt+A: the other letters are taken by the window's own mnemonics.
    QMenu* practice = bar->addMenu(tr("Pr&actice"));
    practice->setObjectName(QStringLiteral("menuPractice"));
    connect(practice->addAction(tr("Set Loop &Start (A)\t[")), &QAction::triggered, this,
            &PracticeTools::setLoopStart);
    connect(practice->addAction(tr("Set Loop &End (B)\t]")), &QAction::triggered, this,
            &PracticeTools::setLoopEnd);
    loopAction_ = practice->addAction(tr("&Loop\tL"));
    loopAction_->setCheckable(true);
    connect(loopAction_, &QAction::triggered, this, &PracticeTools::setLoopOn);
    connect(practice->addAction(tr("&Clear Loop")), &QAction::triggered, this,
            &PracticeTools::clearLoop);
    connect(practice->addAction(tr("&Back to Start\tHome")), &QAction::triggered, this,
            &PracticeTools::backToStart);
    practice->addSeparator();
    connect(practice->addAction(tr("Speed &Trainer...")), &QAction::triggered, this,
            &PracticeTools::menuTrainer);
    practice->addSeparator();
    connect(practice->addAction(tr("Add &Marker\tCtrl+M")), &QAction::triggered, markers_.get(),
            &MarkerTools::add);
    connect(practice->addAction(tr("&Next Marker\tPgDown")), &QAction::triggered, markers_.get(),
            &MarkerTools::next);
    connect(practice->addAction(tr("&Previous Marker\tPgUp")), &QAction::triggered, markers_.get(),
            &MarkerTools::previous);
    connect(practice->addAction(tr("Loop to Next Mar&ker\tShift+L")), &QAction::triggered,
            markers_.get(), &MarkerTools::loopToNext);
    connect(practice->addAction(tr("Mar&kers...")), &QAction::triggered, markers_.get(),
            &MarkerTools::showList);

    // File › Export Loop…, right after the whole export.
    exportLoopAction_ = new QAction(tr("Export Loo&p..."), this);
    exportLoopAction_->setObjectName(QStringLiteral("menuItemExportLoop"));
    exportLoopAction_->setEnabled(false);
    connect(exportLoopAction_, &QAction::triggered, &controller_,
            &TonveraAppDelegate::menuExportLoop);
    QMenu* file = controller_.menuFile();
    const QList<QAction*> items = file->actions();
    const auto exportAt = items.indexOf(controller_.menuItemExportAsWAV());
    file->insertAction(exportAt >= 0 && exportAt + 1 < items.size() ? items[exportAt + 1] : nullptr,
                       exportLoopAction_);

    QMenu* help = bar->addMenu(tr("&Help"));
    help->setObjectName(QStringLiteral("menuHelp"));
    shortcutsAction_ = help->addAction(tr("&Keyboard Shortcuts"));
    shortcutsAction_->setShortcut(QKeySequence(Qt::Key_F1));
    shortcutsAction_->setShortcutContext(Qt::WindowShortcut);
    connect(shortcutsAction_, &QAction::triggered, this, &PracticeTools::menuKeyboardShortcuts);
}

bool PracticeTools::handleKey(const QKeyEvent& key, QWidget* focus) {
    const auto modifiers = key.modifiers();
    if (qobject_cast<QLineEdit*>(focus) != nullptr &&
        practicekeys::valueFieldKeeps(key.key(), modifiers)) {
        return false;
    }
    // A slider the user has given the focus moves with the bare arrows, as sliders do.
    if (qobject_cast<QAbstractSlider*>(focus) != nullptr &&
        practicekeys::sliderKeeps(key.key(), modifiers)) {
        return false;
    }
    const std::optional<PracticeAction> action = practicekeys::actionFor(key.key(), modifiers);
    if (!action) {
        return false;
    }
    perform(*action);
    return true;
}

void PracticeTools::perform(PracticeAction action) {
    using A = PracticeAction;
    switch (action) {
        case A::PlayPause:
            controller_.clickedPlayButton();
            break;
        case A::SeekBack5:
            seekBy(-5.0);
            break;
        case A::SeekForward5:
            seekBy(5.0);
            break;
        case A::SeekBack1:
            seekBy(-1.0);
            break;
        case A::SeekForward1:
            seekBy(1.0);
            break;
        case A::BackToStart:
            backToStart();
            break;
        case A::TempoDown1:
            changeTempo(-1.0F);
            break;
        case A::TempoUp1:
            changeTempo(1.0F);
            break;
        case A::TempoDown5:
            changeTempo(-5.0F);
            break;
        case A::TempoUp5:
            changeTempo(5.0F);
            break;
        case A::PitchDown:
            changePitch(-1.0F);
            break;
        case A::PitchUp:
            changePitch(1.0F);
            break;
        case A::ResetSound:
            resetSound();
            break;
        case A::SetLoopStart:
            setLoopStart();
            break;
        case A::SetLoopEnd:
            setLoopEnd();
            break;
        case A::ToggleLoop:
            setLoopOn(!loop_.on);
            break;
        case A::NudgeBack10:
            nudge(-0.010);
            break;
        case A::NudgeForward10:
            nudge(0.010);
            break;
        case A::NudgeBack100:
            nudge(-0.100);
            break;
        case A::NudgeForward100:
            nudge(0.100);
            break;
        case A::ToggleMetronome:
            toggleMetronome();
            break;
        case A::AddMarker:
            markers_->add();
            break;
        case A::NextMarker:
            markers_->next();
            break;
        case A::PreviousMarker:
            markers_->previous();
            break;
        case A::LoopToNextMarker:
            markers_->loopToNext();
            break;
    }
}

// ---- hooks ------------------------------------------------------------------------------------

void PracticeTools::musicOpened() {
    nativeRate_ = engine().samplerate();
    loop_ = LoopRange{};
    trainer_.on = false;
    playStartedAt_ = 0.0;
    countInPending_ = false;
    markers_->set({});
    showLoop();
    showTrainer();
}

bool PracticeTools::startMusic() {
    SoundEngine& sound = engine();
    playStartedAt_ = sound.positionSeconds();
    // The BPM field or the click's volume may have changed since the loop was set.
    applyPassCountIn();
    if (countIn_.bars <= 0) {
        return false;
    }
    Metronom* metronom = controller_.metronom();
    const std::optional<double> interval = beatInterval();
    const std::optional<SoundEngine::Clock> clock = sound.clock();
    if (!interval || !clock || metronom == nullptr || metronom->soundClick() == 0) {
        console("count-in: no beat rate or no click, the music starts at once");
        return false;
    }
    const int beats = countIn_.bars * countIn_.beatsPerBar;
    const double rate = clock->rate;
    const std::uint64_t first =
        clock->frame + static_cast<std::uint64_t>(std::llround(kCountInLeadSeconds * rate));
    // A metronome that ticks already is the count-in: the music comes in on its beat, after
    // the bars counted from its next one.
    if (const std::optional<std::int64_t> next = metronom->beatAtOrAfter(first)) {
        const std::uint64_t onBeat = *metronom->beatFrame(*next + beats);
        if (!sound.playAt(onBeat)) {
            return false;
        }
        console(
            "count-in: %i beats of the running metronome, the music starts on device "
            "frame %llu",
            beats, static_cast<unsigned long long>(onBeat));
        return true;
    }
    const std::uint64_t musicAt =
        first + static_cast<std::uint64_t>(std::llround(beats * *interval * rate));
    metronom->setBar(countIn_.beatsPerBar, accentBox_->isChecked());
    if (controller_.buttonMetronomStartWithMusic()->isChecked()) {
        // The metronome that starts with the music is the count-in: one beat, no seam.
        metronom->setNumberBPM(
            QVariant(numbertext::integerValue(controller_.labelMetronomBPM()->text())));
        metronom->startAt(first);
    } else {
        countInPending_ =
            sound.playBeats(metronom->soundClick(), first, *interval,
                            static_cast<std::uint32_t>(beats), countIn_.beatsPerBar, true);
    }
    if (!sound.playAt(musicAt)) {
        return false;
    }
    console("count-in: %i beats, the music starts on device frame %llu", beats,
            static_cast<unsigned long long>(musicAt));
    return true;
}

void PracticeTools::exportRunning(bool running) {
    exporting_ = running;
    showLoop();
}

void PracticeTools::musicPaused() {
    if (countInPending_) {
        if (Metronom* metronom = controller_.metronom()) {
            engine().stopBeats(metronom->soundClick());
        }
        countInPending_ = false;
    }
}

void PracticeTools::tick() {
    showPositionSeconds();
    if (!trainer_.on) {
        return;
    }
    // The trainer steps the tempo inside the audio layer; the controls follow what is heard.
    const float tempo = engine().tempo();
    ValueSlider* slider = controller_.sliderTempo();
    QLineEdit* field = controller_.labelTempo();
    if (std::fabs(slider->floatValue() - tempo) > 0.005F) {
        slider->setFloatValue(tempo);
        if (!(field->hasFocus() && field->isModified())) {
            field->setText(display::formatNumber(slider->floatValue()));
        }
    }
    showTrainer();
}

// ---- the loop ---------------------------------------------------------------------------------

void PracticeTools::setLoopStart() {
    if (!engine().musicAvailable()) {
        QApplication::beep();
        return;
    }
    const double here = engine().positionSeconds();
    loop_.start = here;
    if (loop_.end <= here + kShortestLoopSeconds) {
        loop_.end = 0.0;
        loop_.on = false;
    }
    nudgeEnd_ = false;
    applyLoop();
}

void PracticeTools::setLoopEnd() {
    if (!engine().musicAvailable()) {
        QApplication::beep();
        return;
    }
    const double here = engine().positionSeconds();
    if (here < loop_.start + kShortestLoopSeconds) {
        console("loop: the end must come after the start");
        QApplication::beep();
        return;
    }
    loop_.end = here;
    // Setting both ends is asking for the loop.
    loop_.on = true;
    nudgeEnd_ = true;
    applyLoop();
    // Where the end was set, playback has already passed it: go round at once.
    seekTo(loop_.start);
}

void PracticeTools::setLoopOn(bool on) {
    if (on && !loop_.isSet()) {
        QApplication::beep();
        on = false;
    }
    loop_.on = on;
    applyLoop();
    const double here = engine().positionSeconds();
    if (on && (here < loop_.start || here >= loop_.end)) {
        seekTo(loop_.start);
    }
}

void PracticeTools::clearLoop() {
    if (trainer_.on) {
        stopTrainer();
    }
    loop_ = LoopRange{};
    applyLoop();
}

void PracticeTools::nudge(double seconds) {
    const double length = engine().lengthSeconds();
    if (nudgeEnd_ && loop_.isSet()) {
        loop_.end = std::clamp(loop_.end + seconds, loop_.start + kShortestLoopSeconds, length);
    } else {
        const double latest = loop_.isSet() ? loop_.end - kShortestLoopSeconds : length;
        loop_.start = std::clamp(loop_.start + seconds, 0.0, std::max(0.0, latest));
    }
    applyLoop();
}

void PracticeTools::loopBetween(const LoopRange& range) {
    if (!range.isSet() || !engine().musicAvailable()) {
        QApplication::beep();
        return;
    }
    loop_ = LoopRange{range.start, range.end, true};
    nudgeEnd_ = true;
    applyLoop();
    seekTo(loop_.start);
}

void PracticeTools::typedLoopEnd(QLineEdit* field, bool isEnd) {
    if (!field->isModified()) {
        return;
    }
    field->setModified(false);
    bool number = false;
    const double value = QLocale::c().toDouble(
        field->text().trimmed().replace(QLatin1Char(','), QLatin1Char('.')), &number);
    const std::optional<double> typed =
        number && std::isfinite(value) ? std::optional<double>(value) : std::nullopt;
    const double length = engine().lengthSeconds();
    LoopRange changed = loop_;
    (isEnd ? changed.end : changed.start) = typed.value_or(-1.0);
    // A typed end keeps the loop a passage inside the song; anything else is refused.
    if (!typed || changed.start < 0.0 || changed.end > length ||
        changed.end < changed.start + kShortestLoopSeconds) {
        console("loop: %s is no %s for this loop", qUtf8Printable(field->text()),
                isEnd ? "end" : "start");
        QApplication::beep();
        showLoop();
        return;
    }
    loop_ = changed;
    nudgeEnd_ = isEnd;
    applyLoop();
    const double here = engine().positionSeconds();
    if (loop_.on && (here < loop_.start || here >= loop_.end)) {
        seekTo(loop_.start);
    }
}

void PracticeTools::showPositionSeconds() {
    const bool shown = loop_.isSet() && engine().musicAvailable();
    positionSeconds_->setVisible(shown);
    if (shown) {
        positionSeconds_->setText(display::secondsText(engine().positionSeconds()));
    }
}

void PracticeTools::backToStart() {
    seekTo(loop_.on && loop_.isSet() ? loop_.start : playStartedAt_);
}

void PracticeTools::applyLoop() {
    const bool wraps = loop_.on && loop_.isSet();
    if (wraps) {
        console("loop: A %.3f s, B %.3f s", loop_.start, loop_.end);
    } else {
        console("loop: off");
    }
    engine().setLoop(wraps ? loop_.start : 0.0, wraps ? loop_.end : 0.0);
    applyPassCountIn();
    if (trainer_.on) {
        // A new loop counts its passes afresh; the trainer goes on from the tempo it reached.
        engine().setTrainer(trainer_.target, trainer_.step,
                            static_cast<std::uint32_t>(trainer_.passesPerStep));
    }
    showLoop();
    showTrainer();
}

void PracticeTools::showLoop() {
    const bool shown = loop_.isSet();
    controller_.sliderPosition()->setHighlight(
        shown && loop_.on ? static_cast<float>(loop_.start) : 0.0F,
        shown && loop_.on ? static_cast<float>(loop_.end) : 0.0F);
    QString text;
    if (shown) {
        text = tr("A %1 \u2013 B %2").arg(timeText(loop_.start), timeText(loop_.end));
        if (!loop_.on)
            text += tr(" (off)");
    } else if (loop_.start > 0.0) {
        text = tr("A %1").arg(timeText(loop_.start));
    } else {
        text = tr("No loop");
    }
    loopLabel_->setText(text);
    fieldA_->setVisible(shown);
    fieldB_->setVisible(shown);
    for (QLineEdit* field : {fieldA_, fieldB_}) {
        if (!(field->hasFocus() && field->isModified())) {
            const double end = field == fieldA_ ? loop_.start : loop_.end;
            field->setText(QString::number(end, 'f', 3));
            field->setModified(false);
        }
    }
    showPositionSeconds();
    buttonLoop_->setChecked(loop_.on);
    loopAction_->setChecked(loop_.on);
    exportLoopAction_->setEnabled(loop_.isSet() && !exporting_);
}

// ---- trainer, count-in, metronome -------------------------------------------------------------

void PracticeTools::menuTrainer() {
    ValueSlider* tempo = controller_.sliderTempo();
    TrainerDialog dialog(trainer_, tempo->floatMinimum(), tempo->floatMaximum(),
                         controller_.window());
    const int choice = dialog.exec();
    if (choice == TrainerDialog::Start) {
        startTrainer(dialog.plan());
    } else if (choice == TrainerDialog::Stop) {
        stopTrainer();
    }
}

void PracticeTools::startTrainer(const TrainerPlan& plan) {
    trainer_ = plan;
    trainer_.on = false;
    if (!loop_.isSet() || !engine().musicAvailable()) {
        trainerLabel_->setText(tr("Set a loop first (A and B)"));
        QApplication::beep();
        return;
    }
    trainer_.on = true;
    ValueSlider* tempo = controller_.sliderTempo();
    tempo->setFloatValue(plan.start);
    controller_.sliderTempoMoved();
    loop_.on = true;
    applyLoop();
    seekTo(loop_.start);
    console("trainer: from %f to %f in steps of %f every %i passes",
            static_cast<double>(plan.start), static_cast<double>(plan.target),
            static_cast<double>(plan.step), plan.passesPerStep);
}

void PracticeTools::stopTrainer() {
    trainer_.on = false;
    engine().setTrainer(0.0F, 0.0F, 0);
    showTrainer();
}

void PracticeTools::showTrainer() {
    if (!trainer_.on) {
        trainerLabel_->setText(tr("Trainer off"));
        return;
    }
    if (!loop_.on) {
        trainerLabel_->setText(tr("Trainer waits for the loop"));
        return;
    }
    trainerLabel_->setText(
        practicesetup::trainerStatus(trainer_, engine().loopPasses(), engine().tempo()));
}

void PracticeTools::setCountIn(const CountIn& countIn) {
    countIn_.bars = std::clamp(countIn.bars, 0, 2);
    countIn_.beatsPerBar =
        std::clamp(countIn.beatsPerBar, CountIn::kMinimumBeatsPerBar, CountIn::kMaximumBeatsPerBar);
    countIn_.everyPass = countIn.everyPass;
    const QSignalBlocker quietCountIn(countInBox_);
    const QSignalBlocker quietMeter(meterBox_);
    const QSignalBlocker quietEveryPass(everyPassBox_);
    everyPassBox_->setChecked(countIn_.everyPass);
    countInBox_->setCurrentIndex(countIn_.bars);
    meterBox_->setCurrentIndex(countIn_.beatsPerBar - CountIn::kMinimumBeatsPerBar);
    if (Metronom* metronom = controller_.metronom()) {
        metronom->setBar(countIn_.beatsPerBar, accentBox_->isChecked());
    }
    applyPassCountIn();
}

void PracticeTools::applyPassCountIn() {
    SoundEngine& sound = engine();
    if (!sound.musicAvailable()) {
        return;
    }
    Metronom* metronom = controller_.metronom();
    const std::optional<double> interval = beatInterval();
    const bool wanted = countIn_.everyPass && countIn_.bars > 0 && loop_.on && loop_.isSet() &&
                        interval && metronom != nullptr && metronom->soundClick() != 0;
    if (!wanted) {
        sound.setLoopCountIn(0, 0, 1.0, 1, false);
        return;
    }
    sound.setLoopCountIn(metronom->soundClick(), countIn_.bars * countIn_.beatsPerBar, *interval,
                         countIn_.beatsPerBar, true);
}

std::optional<double> PracticeTools::beatInterval() const {
    return Metronom::tickInterval(
        QVariant(numbertext::integerValue(controller_.labelMetronomBPM()->text())));
}

void PracticeTools::toggleMetronome() {
    QPushButton* button = controller_.buttonMetronomPlay();
    if (button->isEnabled()) {
        button->click();
    } else {
        // Started with the music: the box next to it rules.
        QApplication::beep();
    }
}

void PracticeTools::menuKeyboardShortcuts() {
    if (!shortcutsWindow_) {
        shortcutsWindow_ = new KeyboardShortcutsWindow(controller_.window());
        shortcutsWindow_->setAttribute(Qt::WA_DeleteOnClose);
    }
    shortcutsWindow_->show();
    shortcutsWindow_->raise();
    shortcutsWindow_->activateWindow();
}

QWidget* PracticeTools::shortcutsWindow() const {
    return shortcutsWindow_;
}

// ---- seeking and the sound controls -----------------------------------------------------------

void PracticeTools::seekTo(double seconds) {
    SoundEngine& sound = engine();
    if (!sound.musicAvailable()) {
        return;
    }
    const double last = std::max(0.0, sound.lengthSeconds() - 0.01);
    sound.seekSeconds(std::clamp(seconds, 0.0, last));
    controller_.updatePositionSlider();
}

void PracticeTools::seekBy(double seconds) {
    seekTo(engine().positionSeconds() + seconds);
}

void PracticeTools::changeTempo(float points) {
    ValueSlider* slider = controller_.sliderTempo();
    slider->setFloatValue(slider->floatValue() + points);
    controller_.sliderTempoMoved();
}

void PracticeTools::changePitch(float semitones) {
    ValueSlider* slider = controller_.sliderPitch();
    slider->setFloatValue(slider->floatValue() + semitones);
    controller_.sliderPitchMoved();
}

void PracticeTools::resetSound() {
    controller_.sliderTempo()->setFloatValue(0.0F);
    controller_.sliderTempoMoved();
    controller_.sliderPitch()->setFloatValue(0.0F);
    controller_.sliderPitchMoved();
    if (nativeRate_ > 0.0F) {
        controller_.sliderRate()->setFloatValue(nativeRate_);
        controller_.sliderRateMoved();
    }
}

// ---- the set-up -------------------------------------------------------------------------------

void PracticeTools::apply(const LoopRange& loop, const TrainerPlan& trainer,
                          const CountIn& countIn) {
    setCountIn(countIn);
    loop_ = loop;
    if (!loop_.isSet()) {
        loop_.on = false;
    }
    applyLoop();
    if (trainer.on && loop_.isSet()) {
        startTrainer(trainer);
    } else {
        trainer_ = trainer;
        trainer_.on = false;
        stopTrainer();
    }
}
