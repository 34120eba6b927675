// The user's choice of what the spectrum view shows, kept in the per-user settings so it survives
// restarts.
//
// Threads: the shared instance is made safely from any thread; spectrumType() and
// setSpectrumType() take no lock and are called on the main thread only (the settings window, the
// view's drawing and the position tick). The cached value is atomic so a stray reader elsewhere
// still sees a whole value.
#ifndef TONVERA_VISUALISATION_GLOBALSETTINGS_H
#define TONVERA_VISUALISATION_GLOBALSETTINGS_H

#include <QString>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>

class QSettings;

// Stored as a plain integer under settingskeys::kSpectrumType: never renumber.
enum SpectrumType : std::int32_t {
    SpectrumTypeNone = 0,
    SpectrumTypeFFT = 1,
    SpectrumTypeWaveForm = 2,
};

namespace settingskeys {
// Organisation and application name of the per-user settings store.
inline constexpr char kOrganisation[] = "Tonvera";
inline constexpr char kApplication[] = "Tonvera";
inline constexpr char kSpectrumType[] = "SPECTRUM_TYPE";
// The stretch engine: a SoundQuality number (0 Best, 1 Light).
inline constexpr char kSoundQuality[] = "SOUND_QUALITY";
}  // namespace settingskeys

class GlobalSettings {
  public:
    // The process-wide instance over the user's settings; lives until the program ends.
    static GlobalSettings& sharedSingleton();

    // Over the user's settings (organisation and application "Tonvera").
    GlobalSettings();
    // Over an INI file of its own, so tests never touch the user's settings.
    explicit GlobalSettings(const QString& settingsFile);
    GlobalSettings(const GlobalSettings&) = delete;
    GlobalSettings& operator=(const GlobalSettings&) = delete;

    // Reads the stored value on first use (0 when absent) and answers from memory afterwards.
    std::int32_t spectrumType();
    // Not validated: an unknown value is kept and shows as a black panel.
    void setSpectrumType(std::int32_t type);

    // The stretch engine for music opened from now on, as a SoundQuality number: Best (0) when
    // absent or unknown. Not cached: read when music is opened.
    std::int32_t soundQuality() const;
    void setSoundQuality(std::int32_t quality);

  private:
    std::unique_ptr<QSettings> openStore() const;

    // -1 until the store has been read.
    std::atomic<std::int32_t> m_pSpectrumType{-1};
    std::optional<QString> settingsFile_;
};

#endif
