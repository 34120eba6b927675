// How a running speed trainer stands, in the words the practice window shows.
#ifndef TONVERA_PLAYER_PRACTICE_TRAINERSTATUS_H
#define TONVERA_PLAYER_PRACTICE_TRAINERSTATUS_H

#include <QString>

#include "formats/PracticeSetup.h"

namespace practicesetup {
// "pass 3 of 4 at -20 %": where a running trainer stands. `passes` counts every pass through
// the loop since the trainer started; the count restarts with each tempo step.
QString trainerStatus(const TrainerPlan& plan, unsigned passes, float tempo);
}  // namespace practicesetup

#endif
