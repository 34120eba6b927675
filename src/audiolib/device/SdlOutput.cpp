#include "audiolib/device/SdlOutput.h"

#include <SDL.h>

#include "audiolib/playback/Mixer.h"

namespace audiolib {

namespace {

// Runs on SDL's audio thread: hands the buffer to the mixer and nothing else.
void SDLCALL fillBuffer(void* user, Uint8* stream, int bytes) {
    static_cast<Mixer*>(user)->process(reinterpret_cast<float*>(stream),
                                       bytes / static_cast<int>(2 * sizeof(float)));
}

}  // namespace

std::unique_ptr<SdlOutput> SdlOutput::open(const char* sdlName, int rate, Mixer& mixer,
                                           std::string* error) {
    auto use = std::make_unique<SdlAudioUse>();
    if (!use->ok()) {
        *error = use->error();
        return nullptr;
    }
    SDL_AudioSpec wanted{};
    wanted.freq = rate;
    wanted.format = AUDIO_F32SYS;
    wanted.channels = 2;
    wanted.samples = kRequestedBufferFrames;
    wanted.callback = fillBuffer;
    wanted.userdata = &mixer;
    SDL_AudioSpec obtained{};
    SDL_AudioDeviceID id = 0;
    {
        std::lock_guard lock(SdlAudio::instance().mutex());
        // No changes allowed: SDL converts to whatever the hardware takes, so the mixer always
        // sees float stereo at `rate`.
        id = SDL_OpenAudioDevice(sdlName, 0, &wanted, &obtained, 0);
        if (id == 0) {
            *error = SDL_GetError();
            return nullptr;
        }
        // Opened paused: the device runs only while something plays.
    }
    return std::unique_ptr<SdlOutput>(new SdlOutput(std::move(use), id, obtained.samples));
}

SdlOutput::SdlOutput(std::unique_ptr<SdlAudioUse> use, std::uint32_t id, int bufferFrames)
    : use_(std::move(use)), id_(id), bufferFrames_(bufferFrames) {}

void SdlOutput::ensureRunning() {
    std::lock_guard lock(SdlAudio::instance().mutex());
    SDL_PauseAudioDevice(id_, 0);
}

void SdlOutput::suspend() {
    std::lock_guard lock(SdlAudio::instance().mutex());
    SDL_PauseAudioDevice(id_, 1);
}

SdlOutput::~SdlOutput() {
    // Returns once SDL's audio thread has stopped, so the mixer is no longer called.
    std::lock_guard lock(SdlAudio::instance().mutex());
    SDL_CloseAudioDevice(id_);
}

}  // namespace audiolib
