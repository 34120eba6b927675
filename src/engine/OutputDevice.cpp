#include "engine/OutputDevice.h"

#include "audiolib/audiolib.h"
#include "logging/Console.h"

void switchThreadToDevice(int device) {
    // The engine's lines: the export hands its thread back through here as the engine would.
    console("SoundEngine: before switched to device: %i: ", static_cast<int>(BASS_GetDevice()));
    BASS_SetDevice(static_cast<DWORD>(device));
    console("SoundEngine: after switched to device: %i: ", static_cast<int>(BASS_GetDevice()));
}
