// A practice set-up as kept in a practice settings file (".sps"): the music file and how it
// plays, and the metronome's beat rate, auto-start and volume.
#ifndef TONVERA_PLAYER_SETTINGSFILE_PRACTICESETTINGS_H
#define TONVERA_PLAYER_SETTINGSFILE_PRACTICESETTINGS_H

#include <QString>
#include <QVariant>
#include <optional>

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
};

#endif
