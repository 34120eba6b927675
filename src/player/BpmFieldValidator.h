// What the metronome's BPM field accepts while the user types: digits only, no sign, no
// separators. A number outside the range is let through while it may still grow into one inside
// it, and is held at the nearer end when the user leaves the field or presses Return, so the
// field never silently keeps a beat rate the metronome would play at.
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
    // Holds a number outside the range at the nearer end; text without digits becomes the lowest
    // value.
    void fixup(QString& input) const override;
};

#endif
