// Moves practice settings between the window and a PracticeSettings value. Applying puts the
// stored values into the controls first and then hands the controls' values to the engine and
// the metronome, so what they receive is what the controls accepted (a stored rate outside the
// rate slider's range ends at its nearer end).
#ifndef TONVERA_PLAYER_SETTINGSFILE_PRACTICESETTINGSAPPLIER_H
#define TONVERA_PLAYER_SETTINGSFILE_PRACTICESETTINGSAPPLIER_H

#include "formats/PracticeSettings.h"
#include "player/settingsfile/PracticeControls.h"

class PracticeSettingsApplier {
  public:
    explicit PracticeSettingsApplier(PracticeControls& controls) : controls_(controls) {}

    // The set-up to save. The BPM field's whole number becomes the metronome's BPM on the way
    // (a running metronome keeps its rate until its next start), so the saved BPM is the
    // field's value even while the metronome runs at another.
    PracticeSettings collect();

    // loadSettingsFile:overloadMusic: — with `overloadMusic` the stored music file is opened
    // first (replacing, and so stopping, the open music), then the controls, the engine and the
    // metronome get the stored values. Starts and stops nothing else. Holds the controller's lock
    // throughout.
    void apply(const PracticeSettings& settings, bool overloadMusic);

  private:
    PracticeControls& controls_;
};

#endif
