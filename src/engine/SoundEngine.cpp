#include "engine/SoundEngine.h"

#include <algorithm>
#include <cmath>

#include "audiolib/audiolib.h"
#include "audiolib/core/Diagnostics.h"
#include "engine/OutputDevice.h"
#include "logging/Console.h"
#include "logging/Logger.h"

namespace {

Logger& log() {
    return Logger::sharedSingleton();
}

// Library results in seconds become whole seconds of the file, truncated toward zero. A failed
// conversion (-1) reads as 0 rather than wrapping around.
std::uint32_t wholeSeconds(double seconds) {
    if (!(seconds > 0.0))
        return 0;
    if (seconds >= 4294967295.0)
        return 4294967295U;
    return static_cast<std::uint32_t>(seconds);
}

// The same in seconds with their fractions; a failed conversion reads as 0 here too.
double secondsOf(DWORD channel, QWORD bytes) {
    const double seconds = BASS_ChannelBytes2Seconds(channel, bytes);
    return seconds > 0.0 ? seconds : 0.0;
}

}  // namespace

SoundEngine& SoundEngine::sharedSingleton() {
    // Made once, under the runtime's own lock for function-local statics.
    static SoundEngine instance;
    return instance;
}

int SoundEngine::versionString() {
    return static_cast<int>(BASS_GetVersion() >> 16);
}

bool SoundEngine::initialize() {
    // What the audio layer has to say (a feeder that fell behind, a limit a file hit) belongs in
    // our log beside the engine's own lines.
    audiolib::setDiagnosticSink([](const char* line) { Logger::sharedSingleton().write(line); });
    console("SoundEngine: FX-Version: %i", static_cast<int>(BASS_FX_GetVersion() >> 16));

    BASS_DEVICEINFO info{};
    for (DWORD n = 1; BASS_GetDeviceInfo(n, &info); ++n) {
        if ((info.flags & BASS_DEVICE_ENABLED) == 0)
            continue;
        log().write("--------------------------------------");
        log().writef("SoundEngine: device %i information name: %s", static_cast<int>(n),
                     info.name ? info.name : "");
        if (info.flags & BASS_DEVICE_DEFAULT) {
            log().write("SoundEngine: device is default");
        }
    }

    if (!BASS_Init(-1, 44100, 0, nullptr, nullptr)) {
        log().writef("SoundEngine: cannot initialize sound library / device: %i",
                     BASS_ErrorGetCode());
        return false;
    }
    bassDevice_ = static_cast<int>(BASS_GetDevice());
    log().writef("SoundEngine: initialized sound library / device: %i",
                 static_cast<int>(BASS_GetDevice()));
    log().writef("SoundEngine: volume %f", static_cast<double>(BASS_GetVolume()));

    BASS_INFO bi{};
    if (BASS_GetInfo(&bi)) {
        log().writef("SoundEngine: information flags: %u", bi.flags);
        log().writef("SoundEngine: information hwsize: %u", bi.hwsize);
        log().writef("SoundEngine: information hwfree: %u", bi.hwfree);
        log().writef("SoundEngine: information freesam: %u", bi.freesam);
        log().writef("SoundEngine: information free3d: %u", bi.free3d);
        log().writef("SoundEngine: information minrate: %u", bi.minrate);
        log().writef("SoundEngine: information maxrate: %u", bi.maxrate);
        log().writef("SoundEngine: information minbuf: %u", bi.minbuf);
        log().writef("SoundEngine: information latency: %u", bi.latency);
        log().writef("SoundEngine: information freq: %u", bi.freq);
    }
    return true;
}

OpenResult SoundEngine::open(const std::string& path) {
    // The old music goes first, so a failed open leaves none loaded (and silent at once).
    BASS_MusicFree(musicChannel());
    BASS_StreamFree(musicChannel());
    music_ = MusicChain(MusicChain::Use::Playback);

    MusicChain chain(MusicChain::Use::Playback);
    // The line that names the file stays as scripts read it; the code follows on its own line,
    // as the library's failures are logged elsewhere.
    if (!chain.openSource(path)) {
        log().writef("SoundEngine: failed to load file: %s", path.c_str());
        log().writef("SoundEngine.open: ERROR CODE: %i", chain.errorCode());
        return {false, chain.errorCode()};
    }
    if (!chain.makeTempoStream(tempoEngineFlags())) {
        log().writef("SoundEngine: failed to create fx channel for file: %s", path.c_str());
        log().writef("SoundEngine.open: ERROR CODE: %i", chain.errorCode());
        return {false, chain.errorCode()};
    }
    music_ = chain;
    log().writef("SoundEngine: sound quality %s", soundQuality() == SoundQuality::Light
                                                      ? "Light (SoundTouch)"
                                                      : "Best (Rubber Band R3)");
    music_.addGain();

    // Another recording has its own tuning; the hearing tools stay as the player set them.
    tuning_.store(0.0F, std::memory_order_relaxed);
    if (const formats::HearingSettings kept = hearing(); !kept.neutral())
        music_.setHearing(kept);

    setMusicFile(path);
    log().writef("SoundEngine: opened music file %s in channel: %u", musicFile().c_str(),
                 musicChannel());
    return {true, 0};
}

void SoundEngine::setSoundQuality(SoundQuality quality) {
    soundQuality_.store(quality, std::memory_order_relaxed);
}

SoundQuality SoundEngine::soundQuality() const {
    return soundQuality_.load(std::memory_order_relaxed);
}

std::uint32_t SoundEngine::tempoEngineFlags() const {
    return MusicChain::engineFlags(soundQuality());
}

bool SoundEngine::musicAvailable() const {
    return musicChannel() != 0;
}

void SoundEngine::play() {
    if (!BASS_ChannelPlay(musicChannel(), FALSE)) {
        log().writef("SoundEngine.play: channel: %u ERROR CODE: %i  device: %i", musicChannel(),
                     BASS_ErrorGetCode(), static_cast<int>(BASS_GetDevice()));
    }
}

void SoundEngine::pause() {
    BASS_ChannelPause(musicChannel());
    console("SoundEngine: pause");
}

bool SoundEngine::isPlaying() const {
    return BASS_ChannelIsActive(musicChannel()) == BASS_ACTIVE_PLAYING;
}

void SoundEngine::setVolume(float volume) {
    BASS_ChannelSetAttribute(musicChannel(), BASS_ATTRIB_VOL, volume / 100.0F);
}

// The live values go through the chain's own setters, as the export's do.
void SoundEngine::setTempo(float percent) {
    music_.setTempo(percent);
}

void SoundEngine::setPitch(float semitones) {
    music_.setPitch(semitones, tuning());
}

void SoundEngine::setSamplerate(float hz) {
    music_.setRate(hz);
}

namespace {
float attribute(DWORD channel, DWORD attrib) {
    float value = 0.0F;
    BASS_ChannelGetAttribute(channel, attrib, &value);
    return value;
}
}  // namespace

float SoundEngine::volume() const {
    return attribute(musicChannel(), BASS_ATTRIB_VOL);
}
float SoundEngine::tempo() const {
    return attribute(musicChannel(), BASS_ATTRIB_TEMPO);
}
float SoundEngine::pitch() const {
    const float heard = attribute(musicChannel(), BASS_ATTRIB_TEMPO_PITCH);
    const float cents = tuning();
    return cents == 0.0F || musicChannel() == 0 ? heard : heard - cents / 100.0F;
}
float SoundEngine::samplerate() const {
    return attribute(musicChannel(), BASS_ATTRIB_FREQ);
}

void SoundEngine::setCurrentPosition(std::uint32_t seconds) {
    const QWORD bytes = BASS_ChannelSeconds2Bytes(musicChannel(), static_cast<double>(seconds));
    BASS_ChannelSetPosition(musicChannel(), bytes, BASS_POS_BYTE);
}

std::uint32_t SoundEngine::currentpos() const {
    const QWORD bytes = BASS_ChannelGetPosition(musicChannel(), BASS_POS_BYTE);
    return wholeSeconds(BASS_ChannelBytes2Seconds(musicChannel(), bytes));
}

std::uint32_t SoundEngine::length() const {
    const QWORD bytes = BASS_ChannelGetLength(musicChannel(), BASS_POS_BYTE);
    return wholeSeconds(BASS_ChannelBytes2Seconds(musicChannel(), bytes));
}

void SoundEngine::seekSeconds(double seconds) {
    if (musicChannel() == 0 || !std::isfinite(seconds))
        return;
    const QWORD bytes = BASS_ChannelSeconds2Bytes(musicChannel(), std::max(0.0, seconds));
    BASS_ChannelSetPosition(musicChannel(), bytes, BASS_POS_BYTE);
}

double SoundEngine::positionSeconds() const {
    return musicChannel() == 0
               ? 0.0
               : secondsOf(musicChannel(), BASS_ChannelGetPosition(musicChannel(), BASS_POS_BYTE));
}

double SoundEngine::lengthSeconds() const {
    return musicChannel() == 0
               ? 0.0
               : secondsOf(musicChannel(), BASS_ChannelGetLength(musicChannel(), BASS_POS_BYTE));
}

float SoundEngine::tempoRatio() const {
    if (musicChannel() == 0)
        return 0.0F;
    return BASS_FX_TempoGetRateRatio(musicChannel());
}

std::uint32_t SoundEngine::numChannels() const {
    BASS_CHANNELINFO info{};
    if (!BASS_ChannelGetInfo(musicChannel(), &info))
        return 0;
    return info.chans;
}

void SoundEngine::switchToDevice() {
    switchThreadToDevice(bassDevice_);
}

bool SoundEngine::close() {
    if (!BASS_Free()) {
        console("SoundEngine.close: ERROR CODE: %i", BASS_ErrorGetCode());
        return false;
    }
    return true;
}

void SoundEngine::shutdown() {
    reset();
    // The device belongs to the thread that opened it; the engine's is the one to free.
    if (bassDevice_ != 0 && BASS_SetDevice(static_cast<DWORD>(bassDevice_)))
        close();
}

void SoundEngine::reset() {
    BASS_ChannelStop(musicChannel());
    BASS_MusicFree(musicChannel());
    BASS_StreamFree(musicChannel());
    // The handle is gone with the stream; keeping it would make musicAvailable() lie.
    music_ = MusicChain(MusicChain::Use::Playback);
}

std::string SoundEngine::musicFile() const {
    std::lock_guard<std::mutex> guard(musicFileMutex_);
    return musicFile_;
}

void SoundEngine::setMusicFile(const std::string& path) {
    std::lock_guard<std::mutex> guard(musicFileMutex_);
    musicFile_ = path;
}
