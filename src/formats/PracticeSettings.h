// A practice set-up as kept in a practice settings file (".sps"): the music file and how it
// plays, and the metronome's beat rate, auto-start and volume.
#ifndef TONVERA_FORMATS_PRACTICESETTINGS_H
#define TONVERA_FORMATS_PRACTICESETTINGS_H

#include <QString>
#include <QVariant>
#include <optional>
#include <vector>

#include "formats/HearingSettings.h"
#include "formats/PracticeSetup.h"

namespace practicekeys {
// The file's keys; files written by earlier versions use exactly these names.
inline constexpr char kMusicFile[] = "MUSIC_FILE";
inline constexpr char kMusicVolume[] = "MUSIC_VOLUME";
inline constexpr char kMusicTempo[] = "MUSIC_TEMP";
inline constexpr char kMusicSamplerate[] = "MUSIC_SAMPLERATE";
inline constexpr char kMusicPitch[] = "MUSIC_PITCH";
inline constexpr char kMetronomBpm[] = "METRONOM_BPM";
inline constexpr char kMetronomAutostart[] = "METRONOM_BPM_AUTOSTART";
inline constexpr char kMetronomVolume[] = "METRONOM_VOLUME";
// The practice tools' keys, each written only while its tool is set up: a file without them is
// a file of the keys above alone.
inline constexpr char kLoopStart[] = "LOOP_START";
inline constexpr char kLoopEnd[] = "LOOP_END";
inline constexpr char kLoopOn[] = "LOOP_ON";
inline constexpr char kTrainerStart[] = "TRAINER_START_TEMPO";
inline constexpr char kTrainerTarget[] = "TRAINER_TARGET_TEMPO";
inline constexpr char kTrainerStep[] = "TRAINER_STEP";
inline constexpr char kTrainerPasses[] = "TRAINER_PASSES_PER_STEP";
inline constexpr char kTrainerOn[] = "TRAINER_ON";
inline constexpr char kCountInBars[] = "COUNT_IN_BARS";
inline constexpr char kCountInBeatsPerBar[] = "COUNT_IN_BEATS_PER_BAR";
inline constexpr char kCountInEveryPass[] = "COUNT_IN_EVERY_PASS";
// An array of dictionaries, one a marker, in time order.
inline constexpr char kMarkers[] = "MARKERS";
inline constexpr char kMarkerTime[] = "TIME";  // seconds of the music, a real
inline constexpr char kMarkerName[] = "NAME";
// The hearing tools, written only while one is in use. The numbers of the channels and the
// focus band are those of ChannelChoice and FocusBand.
inline constexpr char kTuningCents[] = "TUNING_CENTS";
inline constexpr char kChannels[] = "CHANNELS";
inline constexpr char kFocusBand[] = "FOCUS_BAND";
inline constexpr char kFocusCentre[] = "FOCUS_CENTRE_HZ";  // the custom band's
inline constexpr char kFocusWidth[] = "FOCUS_WIDTH_OCTAVES";
inline constexpr char kFocusGain[] = "FOCUS_GAIN_DB";
inline constexpr char kCentreCancel[] = "CENTRE_CANCEL";
}  // namespace practicekeys

inline constexpr char kPracticeSettingsExtension[] = "sps";
inline constexpr char kPracticeSettingsProposedName[] = "mysettings.sps";

// A key missing from a file reads as 0 (and the music file as none), so a default-constructed
// value is what an empty file gives.
struct PracticeSettings {
    std::optional<QString> musicFile;  // full path
    float musicVolume = 0.0F;          // percent, 0..100
    float musicTempo = 0.0F;           // change in percent, 0 = unchanged
    float musicSamplerate = 0.0F;      // playback rate in Hz
    float musicPitch = 0.0F;           // change in semitones, 0 = unchanged
    // The beat rate as the number object it was stored as: an integer (qlonglong) or a real
    // (double); empty when the file has none.
    QVariant metronomBpm;
    int metronomAutostart = 0;    // 1 = start the metronome with the music
    float metronomVolume = 0.0F;  // percent, 0..100
    // The practice tools; none when the file has none of their keys (or they are not set up).
    std::optional<LoopRange> loop{};
    std::optional<TrainerPlan> trainer{};
    std::optional<CountIn> countIn{};
    std::optional<std::vector<Marker>> markers{};
    // The hearing tools; none when the file has none of their keys.
    std::optional<float> tuningCents{};
    std::optional<formats::HearingSettings> hearing{};
};

#endif
