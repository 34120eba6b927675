// One-shot samples (the metronome's click): loaded once into memory, one playback channel each,
// mixed with the music on the engine's device but untouched by its tempo, pitch, rate and volume.
#include "audiolib/audiolib.h"
#include "engine/SoundEngine.h"
#include "logging/Console.h"
#include "logging/Logger.h"

std::uint32_t SoundEngine::loadSample(const std::string& path) {
    Logger& log = Logger::sharedSingleton();
    const HSAMPLE sample =
        BASS_SampleLoad(FALSE, path.c_str(), 0, 0, 1, BASS_SAMPLE_FLOAT | BASS_SAMPLE_MONO);
    if (sample == 0) {
        log.writef("SoundEngine.loadSample: ERROR CODE: %i failed to load file: %s",
                   BASS_ErrorGetCode(), path.c_str());
        return 0;
    }
    const HCHANNEL channel = BASS_SampleGetChannel(sample, BASS_SAMCHAN_NEW);
    if (channel == 0) {
        log.writef("SoundEngine.loadSample: ERROR CODE: %i failed create channel for sample: %s",
                   BASS_ErrorGetCode(), path.c_str());
        return 0;
    }
    log.writef("SoundEngine.loadSample: channel: %u loaded file: %s", channel, path.c_str());
    return channel;
}

void SoundEngine::playSample(std::uint32_t channel) {
    console("SoundEngine.playSample");
    if (!BASS_ChannelPlay(channel, TRUE)) {
        Logger::sharedSingleton().writef("SoundEngine.playSound ERROR CODE: %i",
                                         BASS_ErrorGetCode());
    }
}

void SoundEngine::setSampleVolume(std::uint32_t channel, float volume) {
    BASS_ChannelSetAttribute(channel, BASS_ATTRIB_VOL, volume / 100.0F);
}
