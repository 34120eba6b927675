#include "player/practice/TrainerDialog.h"

#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

QDoubleSpinBox* tempoBox(float value, float minimum, float maximum, QWidget* parent) {
    auto* box = new QDoubleSpinBox(parent);
    box->setRange(minimum, maximum);
    box->setDecimals(1);
    box->setSingleStep(1.0);
    box->setSuffix(QStringLiteral(" %"));
    box->setValue(value);
    return box;
}

}  // namespace

TrainerDialog::TrainerDialog(const TrainerPlan& plan, float minimumTempo, float maximumTempo,
                             QWidget* parent)
    : QDialog(parent), wasOn_(plan.on) {
    setWindowTitle(tr("Speed Trainer"));
    auto* layout = new QVBoxLayout(this);
    auto* intro = new QLabel(
        tr("The loop starts at the start tempo; every few passes the tempo moves by the step "
           "toward the target, right at the loop's seam, and stays there once reached."),
        this);
    intro->setWordWrap(true);
    layout->addWidget(intro);

    auto* form = new QFormLayout;
    start_ = tempoBox(plan.start, minimumTempo, maximumTempo, this);
    target_ = tempoBox(plan.target, minimumTempo, maximumTempo, this);
    step_ = tempoBox(plan.step, 0.1F, maximumTempo - minimumTempo, this);
    step_->setSuffix(tr(" points"));
    passes_ = new QSpinBox(this);
    passes_->setRange(1, 99);
    passes_->setValue(plan.passesPerStep);
    passes_->setSuffix(tr(" passes"));
    form->addRow(tr("&Start tempo:"), start_);
    form->addRow(tr("&Target tempo:"), target_);
    form->addRow(tr("Ste&p:"), step_);
    form->addRow(tr("&Every:"), passes_);
    layout->addLayout(form);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    QPushButton* start = buttons->addButton(tr("Start"), QDialogButtonBox::AcceptRole);
    start->setDefault(true);
    connect(start, &QPushButton::clicked, this, [this] { done(Start); });
    if (wasOn_) {
        QPushButton* stop = buttons->addButton(tr("Stop Trainer"), QDialogButtonBox::ResetRole);
        connect(stop, &QPushButton::clicked, this, [this] { done(Stop); });
    }
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

TrainerPlan TrainerDialog::plan() const {
    TrainerPlan plan;
    plan.start = static_cast<float>(start_->value());
    plan.target = static_cast<float>(target_->value());
    plan.step = static_cast<float>(step_->value());
    plan.passesPerStep = passes_->value();
    plan.on = wasOn_;
    return plan;
}
