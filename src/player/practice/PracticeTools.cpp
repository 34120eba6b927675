#include "player/practice/PracticeTools.h"

#include <QAction>
#include <QBoxLayout>
#include <QGroupBox>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <algorithm>

#include "engine/SoundEngine.h"
#include "player/PlayerControls.h"
#include "player/practice/CountInTool.h"
#include "player/practice/KeyboardShortcutsWindow.h"
#include "player/practice/LoopTool.h"
#include "player/practice/MarkerTools.h"
#include "player/practice/PracticeKeyHandler.h"
#include "player/practice/SpeedTrainer.h"

PracticeTools::PracticeTools(PlayerControls& controls, SoundEngine& engine)
    : QObject(nullptr), controls_(controls), engine_(engine) {
    const auto seek = [this](double seconds) { seekTo(seconds); };
    loop_ = std::make_unique<LoopTool>(engine_, seek);
    trainer_ = std::make_unique<SpeedTrainer>(controls_, engine_, *loop_);
    countIn_ = std::make_unique<CountInTool>(controls_, engine_, *loop_);
    markers_ = std::make_unique<MarkerTools>(
        engine_, controls_.window(),
        MarkerTools::Actions{seek, [this](const LoopRange& range) { loop_->loopBetween(range); }});
    keys_ = std::make_unique<PracticeKeyHandler>(controls_, engine_, *loop_, *markers_, seek);
    buildRow();
    buildMenus();
    connectTools();
}

PracticeTools::~PracticeTools() = default;

void PracticeTools::buildRow() {
    QMainWindow* window = controls_.window();
    auto* group = new QGroupBox(tr("Practice"), window->centralWidget());
    group->setObjectName(QStringLiteral("groupPractice"));
    auto* rows = new QVBoxLayout(group);
    auto* loopRow = new QHBoxLayout;
    auto* toolRow = new QHBoxLayout;
    rows->addLayout(loopRow);
    rows->addLayout(toolRow);
    loop_->addControls(group, loopRow);
    markers_->addControls(group, loopRow);
    loop_->addPositionSeconds(window);
    trainer_->addControls(group, toolRow);
    countIn_->addControls(group, toolRow);
    // Below the metronome, whose beat the count-in uses.
    if (auto* main = qobject_cast<QBoxLayout*>(window->centralWidget()->layout())) {
        main->addWidget(group);
    }
}

void PracticeTools::buildMenus() {
    QMenuBar* bar = controls_.window()->menuBar();
    // Alt+A: the other letters are taken by the window's own mnemonics.
    QMenu* practice = bar->addMenu(tr("Pr&actice"));
    practice->setObjectName(QStringLiteral("menuPractice"));
    loop_->addMenuItems(practice);
    practice->addSeparator();
    trainer_->addMenuItem(practice);
    practice->addSeparator();
    markers_->addMenuItems(practice);

    QMenu* help = bar->addMenu(tr("&Help"));
    help->setObjectName(QStringLiteral("menuHelp"));
    QAction* shortcuts = help->addAction(tr("&Keyboard Shortcuts"));
    shortcuts->setShortcut(QKeySequence(Qt::Key_F1));
    shortcuts->setShortcutContext(Qt::WindowShortcut);
    connect(shortcuts, &QAction::triggered, this, &PracticeTools::menuKeyboardShortcuts);
}

void PracticeTools::connectTools() {
    // What runs on the loop follows it, in this order: the count-in between passes, then the
    // trainer; the window last.
    connect(loop_.get(), &LoopTool::aboutToClear, trainer_.get(), [this] {
        if (trainer_->plan().on) {
            trainer_->stop();
        }
    });
    connect(loop_.get(), &LoopTool::changed, countIn_.get(), &CountInTool::applyPassCountIn);
    connect(loop_.get(), &LoopTool::changed, trainer_.get(), &SpeedTrainer::loopChanged);
    connect(loop_.get(), &LoopTool::changed, this, &PracticeTools::loopChanged);
    connect(markers_.get(), &MarkerTools::changed, this, &PracticeTools::markersChanged);
    connect(keys_.get(), &PracticeKeyHandler::soundChosen, this, &PracticeTools::soundChosen);
    connect(trainer_.get(), &SpeedTrainer::tempoChosen, this,
            [this](float percent) { emit soundChosen(PracticeControls::Slider::Tempo, percent); });
    connect(trainer_.get(), &SpeedTrainer::tempoHeard, this, &PracticeTools::tempoHeard);
}

bool PracticeTools::handleKey(const QKeyEvent& key, QWidget* focus) {
    return keys_->handleKey(key, focus);
}

void PracticeTools::perform(PracticeAction action) {
    keys_->perform(action);
}

void PracticeTools::musicOpened() {
    keys_->musicOpened();
    loop_->musicOpened();
    trainer_->musicOpened();
    countIn_->musicOpened();
    markers_->set({});
    emit loopChanged(loop_->loop());
}

bool PracticeTools::startMusic() {
    loop_->playStarted();
    return countIn_->startMusic();
}

void PracticeTools::musicPaused() {
    countIn_->musicPaused();
}

void PracticeTools::tick() {
    loop_->showPositionSeconds();
    trainer_->tick();
}

LoopRange PracticeTools::loop() const {
    return loop_->loop();
}

TrainerPlan PracticeTools::trainer() const {
    return trainer_->plan();
}

CountIn PracticeTools::countIn() const {
    return countIn_->countIn();
}

void PracticeTools::apply(const LoopRange& loop, const TrainerPlan& trainer,
                          const CountIn& countIn) {
    countIn_->set(countIn);
    loop_->set(loop);
    if (trainer.on && loop_->loop().isSet()) {
        trainer_->start(trainer);
    } else {
        trainer_->keep(trainer);
    }
}

void PracticeTools::menuKeyboardShortcuts() {
    if (!shortcutsWindow_) {
        shortcutsWindow_ = new KeyboardShortcutsWindow(controls_.window());
        shortcutsWindow_->setAttribute(Qt::WA_DeleteOnClose);
    }
    shortcutsWindow_->show();
    shortcutsWindow_->raise();
    shortcutsWindow_->activateWindow();
}

void PracticeTools::seekTo(double seconds) {
    if (!engine_.musicAvailable()) {
        return;
    }
    const double last = std::max(0.0, engine_.lengthSeconds() - 0.01);
    engine_.seekSeconds(std::clamp(seconds, 0.0, last));
    emit positionMoved();
}

QLineEdit* PracticeTools::loopEndField() const {
    return loop_->endField();
}
QLabel* PracticeTools::positionSecondsLabel() const {
    return loop_->positionSecondsLabel();
}
QComboBox* PracticeTools::countInBox() const {
    return countIn_->countInBox();
}
QComboBox* PracticeTools::meterBox() const {
    return countIn_->meterBox();
}
QCheckBox* PracticeTools::everyPassBox() const {
    return countIn_->everyPassBox();
}
QWidget* PracticeTools::shortcutsWindow() const {
    return shortcutsWindow_;
}
