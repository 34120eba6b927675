// The custom focus band: its centre, its width in octaves and how far it is raised (or, with a
// negative gain, cut).
#ifndef TONVERA_PLAYER_PRACTICE_FOCUSBANDDIALOG_H
#define TONVERA_PLAYER_PRACTICE_FOCUSBANDDIALOG_H

#include <QDialog>

#include "formats/HearingSettings.h"

class QDoubleSpinBox;

class FocusBandDialog : public QDialog {
    Q_OBJECT

  public:
    // The fields are held within the filter's limits; `band` gives their first values.
    explicit FocusBandDialog(const formats::FocusSpec& band, QWidget* parent = nullptr);

    // A Custom spec of the fields' values.
    formats::FocusSpec band() const;

  private:
    QDoubleSpinBox* centre_ = nullptr;
    QDoubleSpinBox* width_ = nullptr;
    QDoubleSpinBox* gain_ = nullptr;
};

#endif
