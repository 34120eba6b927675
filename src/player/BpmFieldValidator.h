// What the metronome's BPM field accepts while the user types: an optional sign, digits and one
// decimal separator (a comma or a point), as a number is written. Only the whole-number part
// counts, as everywhere the field is read, so "120,5" means 120. Anything that is not a whole
// number inside the range is let through while typing and, when the user leaves the field or
// presses Return, becomes its whole-number part held at the nearer end of the range: the field
// always shows the beat rate the metronome will play.
//
// Threads: main thread only.
#ifndef TONVERA_PLAYER_BPMFIELDVALIDATOR_H
#define TONVERA_PLAYER_BPMFIELDVALIDATOR_H

#include <QIntValidator>

class BpmFieldValidator : public QIntValidator {
    Q_OBJECT

  public:
    BpmFieldValidator(int minimum, int maximum, QObject* parent = nullptr);

    State validate(QString& input, int& pos) const override;
    // The whole-number part held within the range; text without digits becomes the lowest
    // value.
    void fixup(QString& input) const override;
};

#endif
