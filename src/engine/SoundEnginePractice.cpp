// The practice tools' hold on the audio layer: loop, trainer, delayed starts and beats, all
// placed on the device clock so they land on their frame instead of the next callback.
#include <algorithm>

#include "audiolib/audiolib.h"
#include "engine/SoundEngine.h"
#include "logging/Logger.h"

std::optional<SoundEngine::Clock> SoundEngine::clock() const {
    QWORD frame = 0;
    DWORD rate = 0;
    if (!TONVERA_GetClock(&frame, &rate) || rate == 0)
        return std::nullopt;
    return Clock{frame, rate};
}

bool SoundEngine::playAt(std::uint64_t frame) {
    if (!TONVERA_ChannelPlayAt(musicChannel(), frame)) {
        Logger::sharedSingleton().writef("SoundEngine.playAt: channel: %u ERROR CODE: %i",
                                         musicChannel(), BASS_ErrorGetCode());
        return false;
    }
    return true;
}

bool SoundEngine::setLoop(double start, double end) {
    return TONVERA_ChannelSetLoop(musicChannel(), start, end) != FALSE;
}

bool SoundEngine::setTrainer(float target, float step, std::uint32_t passesPerStep) {
    return TONVERA_ChannelSetTrainer(musicChannel(), target, step, passesPerStep) != FALSE;
}

std::uint32_t SoundEngine::loopPasses() const {
    const DWORD passes = TONVERA_ChannelGetLoopPasses(musicChannel());
    return passes == static_cast<DWORD>(-1) ? 0U : passes;
}

bool SoundEngine::playBeats(std::uint32_t channel, std::uint64_t firstFrame, double intervalSeconds,
                            std::uint32_t count, int beatsPerBar, bool accent) {
    return TONVERA_ChannelPlayBeats(channel, firstFrame, intervalSeconds, count,
                                    static_cast<DWORD>(beatsPerBar),
                                    accent ? TRUE : FALSE) != FALSE;
}

void SoundEngine::stopBeats(std::uint32_t channel) {
    BASS_ChannelStop(channel);
}

bool SoundEngine::setLoopCountIn(std::uint32_t click, int beats, double intervalSeconds,
                                 int beatsPerBar, bool accent) {
    return TONVERA_ChannelSetLoopCountIn(
               musicChannel(), click, static_cast<DWORD>(std::max(0, beats)), intervalSeconds,
               static_cast<DWORD>(std::max(1, beatsPerBar)), accent ? TRUE : FALSE) != FALSE;
}
