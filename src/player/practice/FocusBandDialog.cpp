#include "player/practice/FocusBandDialog.h"

#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace {

QDoubleSpinBox* numberBox(double minimum, double maximum, int decimals, double step,
                          const QString& suffix, double value, QWidget* parent) {
    auto* box = new QDoubleSpinBox(parent);
    box->setRange(minimum, maximum);
    box->setDecimals(decimals);
    box->setSingleStep(step);
    box->setSuffix(suffix);
    box->setValue(value);
    return box;
}

}  // namespace

FocusBandDialog::FocusBandDialog(const formats::FocusSpec& band, QWidget* parent)
    : QDialog(parent) {
    using formats::FocusSpec;
    setWindowTitle(tr("Custom Focus Band"));
    auto* layout = new QVBoxLayout(this);
    auto* intro = new QLabel(
        tr("Raise one band to hear an instrument better, or cut it (a negative gain) to hear "
           "around it."),
        this);
    intro->setWordWrap(true);
    layout->addWidget(intro);

    auto* form = new QFormLayout;
    centre_ = numberBox(FocusSpec::kMinCentre, FocusSpec::kMaxCentre, 0, 10.0, tr(" Hz"),
                        band.centreHz, this);
    width_ = numberBox(FocusSpec::kMinWidth, FocusSpec::kMaxWidth, 1, 0.1, tr(" octaves"),
                       band.widthOctaves, this);
    gain_ =
        numberBox(-FocusSpec::kMaxGain, FocusSpec::kMaxGain, 1, 1.0, tr(" dB"), band.gainDb, this);
    form->addRow(tr("&Centre:"), centre_);
    form->addRow(tr("&Width:"), width_);
    form->addRow(tr("&Gain:"), gain_);
    layout->addLayout(form);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

formats::FocusSpec FocusBandDialog::band() const {
    formats::FocusSpec spec;
    spec.band = formats::FocusBand::Custom;
    spec.centreHz = static_cast<float>(centre_->value());
    spec.widthOctaves = static_cast<float>(width_->value());
    spec.gainDb = static_cast<float>(gain_->value());
    return spec;
}
