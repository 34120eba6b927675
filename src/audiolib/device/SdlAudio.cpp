#include "audiolib/device/SdlAudio.h"

#include <SDL.h>

namespace audiolib {

SdlAudio& SdlAudio::instance() {
    static SdlAudio audio;
    return audio;
}

bool SdlAudio::acquire(std::string* error) {
    std::lock_guard lock(mutex_);
    // SDL would otherwise turn SIGINT and SIGTERM into quit events that nobody reads, and the
    // program could then only be ended with SIGKILL (a logout included).
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (users_ == 0 && SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        if (error)
            *error = SDL_GetError();
        return false;
    }
    ++users_;
    return true;
}

void SdlAudio::release() {
    std::lock_guard lock(mutex_);
    if (users_ > 0 && --users_ == 0)
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

std::vector<std::string> SdlAudio::playbackDevices() {
    std::lock_guard lock(mutex_);
    std::vector<std::string> names;
    const int count = SDL_GetNumAudioDevices(0);
    for (int i = 0; i < count; ++i) {
        const char* name = SDL_GetAudioDeviceName(i, 0);
        names.emplace_back(name ? name : "");
    }
    return names;
}

std::string SdlAudio::driverName() {
    std::lock_guard lock(mutex_);
    const char* name = SDL_GetCurrentAudioDriver();
    return name ? name : "";
}

}  // namespace audiolib
