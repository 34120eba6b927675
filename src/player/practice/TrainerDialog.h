// The speed trainer's dialog: start and target tempo, the step and how many passes each tempo
// is played. Start begins the plan from the loop start; Stop ends a running one.
#ifndef TONVERA_PLAYER_PRACTICE_TRAINERDIALOG_H
#define TONVERA_PLAYER_PRACTICE_TRAINERDIALOG_H

#include <QDialog>

#include "formats/PracticeSetup.h"

class QDoubleSpinBox;
class QSpinBox;

class TrainerDialog : public QDialog {
    Q_OBJECT

  public:
    enum Choice { Cancelled = 0, Start = 1, Stop = 2 };

    // Tempos are held within minimumTempo..maximumTempo, the tempo control's range.
    TrainerDialog(const TrainerPlan& plan, float minimumTempo, float maximumTempo,
                  QWidget* parent = nullptr);

    TrainerPlan plan() const;

  private:
    QDoubleSpinBox* start_ = nullptr;
    QDoubleSpinBox* target_ = nullptr;
    QDoubleSpinBox* step_ = nullptr;
    QSpinBox* passes_ = nullptr;
    bool wasOn_ = false;
};

#endif
