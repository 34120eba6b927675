#include "player/practice/SpeedTrainer.h"

#include <QAction>
#include <QApplication>
#include <QBoxLayout>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QPushButton>
#include <limits>

#include "engine/SoundEngine.h"
#include "logging/Console.h"
#include "player/PlayerControls.h"
#include "player/practice/LoopTool.h"
#include "player/practice/TrainerDialog.h"
#include "player/practice/TrainerStatus.h"

SpeedTrainer::SpeedTrainer(PlayerControls& controls, SoundEngine& engine, LoopTool& loop)
    : QObject(nullptr), controls_(controls), engine_(engine), loop_(loop) {}

SpeedTrainer::~SpeedTrainer() = default;

void SpeedTrainer::addControls(QWidget* group, QBoxLayout* row) {
    button_ = new QPushButton(tr("Trainer..."), group);
    button_->setToolTip(tr("Start the loop slow and let it speed up"));
    connect(button_, &QPushButton::clicked, this, &SpeedTrainer::menuTrainer);
    label_ = new QLabel(group);
    label_->setObjectName(QStringLiteral("labelTrainer"));
    row->addWidget(button_);
    row->addWidget(label_, 1);
    show();
}

void SpeedTrainer::addMenuItem(QMenu* menu) {
    connect(menu->addAction(tr("Speed &Trainer...")), &QAction::triggered, this,
            &SpeedTrainer::menuTrainer);
}

void SpeedTrainer::menuTrainer() {
    using Slider = PracticeControls::Slider;
    // The dialog holds its tempos within the tempo control's range.
    const float lowest =
        controls_.heldSliderValue(Slider::Tempo, std::numeric_limits<float>::lowest());
    const float highest =
        controls_.heldSliderValue(Slider::Tempo, std::numeric_limits<float>::max());
    TrainerDialog dialog(plan_, lowest, highest, controls_.window());
    const int choice = dialog.exec();
    if (choice == TrainerDialog::Start) {
        start(dialog.plan());
    } else if (choice == TrainerDialog::Stop) {
        stop();
    }
}

void SpeedTrainer::start(const TrainerPlan& plan) {
    plan_ = plan;
    plan_.on = false;
    if (!loop_.loop().isSet() || !engine_.musicAvailable()) {
        label_->setText(tr("Set a loop first (A and B)"));
        QApplication::beep();
        return;
    }
    plan_.on = true;
    const float tempo = controls_.heldSliderValue(PracticeControls::Slider::Tempo, plan.start);
    engine_.setTempo(tempo);
    toldTempo_ = tempo;
    emit tempoChosen(tempo);
    // The loop hands the running plan to the engine as it changes (loopChanged).
    loop_.playFromStart();
    console("trainer: from %f to %f in steps of %f every %i passes",
            static_cast<double>(plan.start), static_cast<double>(plan.target),
            static_cast<double>(plan.step), plan.passesPerStep);
}

void SpeedTrainer::stop() {
    plan_.on = false;
    engine_.setTrainer(0.0F, 0.0F, 0);
    show();
}

void SpeedTrainer::keep(const TrainerPlan& plan) {
    plan_ = plan;
    stop();
}

void SpeedTrainer::loopChanged(const LoopRange& /*loop*/) {
    if (plan_.on) {
        // A new loop counts its passes afresh; the trainer goes on from the tempo it reached.
        engine_.setTrainer(plan_.target, plan_.step,
                           static_cast<std::uint32_t>(plan_.passesPerStep));
    }
    show();
}

void SpeedTrainer::musicOpened() {
    plan_.on = false;
    show();
}

void SpeedTrainer::tick() {
    if (!plan_.on) {
        return;
    }
    // The trainer steps the tempo inside the audio layer; the controls follow what is heard.
    const float tempo = engine_.tempo();
    if (tempo != toldTempo_) {
        toldTempo_ = tempo;
        emit tempoHeard(tempo);
    }
    show();
}

void SpeedTrainer::show() {
    if (!plan_.on) {
        label_->setText(tr("Trainer off"));
        return;
    }
    if (!loop_.loop().on) {
        label_->setText(tr("Trainer waits for the loop"));
        return;
    }
    label_->setText(practicesetup::trainerStatus(plan_, engine_.loopPasses(), engine_.tempo()));
}
