#include "visualisation/SettingsController.h"

#include <QButtonGroup>
#include <QRadioButton>
#include <QShortcut>

#include "logging/Console.h"
#include "ui_Settings.h"
#include "visualisation/GlobalSettings.h"

SettingsController* SettingsController::showNew(QWidget* parent, GlobalSettings* settings) {
    // Owned by Qt: deleted on close (and with its parent, if any).
    auto* controller = new SettingsController(parent, settings);
    controller->show();
    controller->raise();
    controller->activateWindow();
    return controller;
}

SettingsController::SettingsController(QWidget* parent, GlobalSettings* settings)
    : QWidget(parent, Qt::Window),
      ui_(std::make_unique<Ui::Settings>()),
      settings_(settings != nullptr ? *settings : GlobalSettings::sharedSingleton()) {
    setAttribute(Qt::WA_DeleteOnClose);
    // Esc closes it, as it closes a dialog.
    auto* closeKey = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(closeKey, &QShortcut::activated, this, &QWidget::close);
    ui_->setupUi(this);
    ui_->maxtrixVisualization->setId(ui_->buttonFFT, RowFFT);
    ui_->maxtrixVisualization->setId(ui_->buttonWave, RowWave);
    ui_->maxtrixVisualization->setId(ui_->buttonNone, RowNone);
    connect(ui_->buttonFFT, &QRadioButton::clicked, this,
            &SettingsController::clickedOptionSpectrumTypeFFT);
    connect(ui_->buttonWave, &QRadioButton::clicked, this,
            &SettingsController::clickedOptionSpectrumTypeWaveForm);
    connect(ui_->buttonNone, &QRadioButton::clicked, this,
            &SettingsController::clickedOptionSpectrumTypeNone);
    connect(ui_->buttonQualityBest, &QRadioButton::clicked, this,
            &SettingsController::clickedOptionSoundQualityBest);
    connect(ui_->buttonQualityLight, &QRadioButton::clicked, this,
            &SettingsController::clickedOptionSoundQualityLight);
    windowDidLoad();
}

SettingsController::~SettingsController() = default;

QRadioButton* SettingsController::buttonFFT() const {
    return ui_->buttonFFT;
}
QRadioButton* SettingsController::buttonWave() const {
    return ui_->buttonWave;
}
QRadioButton* SettingsController::buttonNone() const {
    return ui_->buttonNone;
}
QButtonGroup* SettingsController::maxtrixVisualization() const {
    return ui_->maxtrixVisualization;
}

QRadioButton* SettingsController::buttonQualityBest() const {
    return ui_->buttonQualityBest;
}
QRadioButton* SettingsController::buttonQualityLight() const {
    return ui_->buttonQualityLight;
}

int SettingsController::rowForType(std::int32_t type) {
    if (type == SpectrumTypeFFT)
        return RowFFT;
    if (type == SpectrumTypeNone)
        return RowNone;
    return RowWave;
}

void SettingsController::windowDidLoad() {
    // Only set here; afterwards the group follows the user's clicks.
    if (QAbstractButton* row =
            ui_->maxtrixVisualization->button(rowForType(settings_.spectrumType()))) {
        row->setChecked(true);
    }
    (settings_.soundQuality() == 1 ? ui_->buttonQualityLight : ui_->buttonQualityBest)
        ->setChecked(true);
}

void SettingsController::clickedOptionSpectrumTypeFFT() {
    console("clicked fft");
    settings_.setSpectrumType(SpectrumTypeFFT);
}

void SettingsController::clickedOptionSpectrumTypeWaveForm() {
    console("clicked waveform");
    settings_.setSpectrumType(SpectrumTypeWaveForm);
}

void SettingsController::clickedOptionSpectrumTypeNone() {
    console("clicked none");
    settings_.setSpectrumType(SpectrumTypeNone);
}

void SettingsController::clickedOptionSoundQualityBest() {
    console("clicked sound quality best");
    settings_.setSoundQuality(0);
}

void SettingsController::clickedOptionSoundQualityLight() {
    console("clicked sound quality light");
    settings_.setSoundQuality(1);
}
