#include "audiolib/core/LastError.h"

#include "audiolib/audiolib.h"

namespace audiolib {

namespace {
thread_local int t_lastError = BASS_OK;
}

void setLastError(int code) {
    t_lastError = code;
}

int lastError() {
    return t_lastError;
}

const char* errorText(int code) {
    switch (code) {
        case BASS_OK:
            return "no error";
        case BASS_ERROR_MEM:
            return "out of memory";
        case BASS_ERROR_FILEOPEN:
            return "the file could not be opened";
        case BASS_ERROR_DRIVER:
            return "no output device could be opened";
        case BASS_ERROR_HANDLE:
            return "invalid handle";
        case BASS_ERROR_FORMAT:
            return "unsupported sample format";
        case BASS_ERROR_POSITION:
            return "invalid position";
        case BASS_ERROR_INIT:
            return "the device has not been initialised";
        case BASS_ERROR_ALREADY:
            return "already initialised";
        case BASS_ERROR_NOCHAN:
            return "no free channel";
        case BASS_ERROR_ILLTYPE:
            return "illegal type";
        case BASS_ERROR_ILLPARAM:
            return "illegal parameter";
        case BASS_ERROR_DEVICE:
            return "illegal device number";
        case BASS_ERROR_NOPLAY:
            return "the channel is not playing";
        case BASS_ERROR_FREQ:
            return "illegal sample rate";
        case BASS_ERROR_NOTFILE:
            return "the stream is not a file stream";
        case BASS_ERROR_NOTAVAIL:
            return "not available";
        case BASS_ERROR_DECODE:
            return "wrong kind of channel (decoding or not)";
        case BASS_ERROR_FILEFORM:
            return "unsupported or unreadable file format";
        case BASS_ERROR_CODEC:
            return "codec not available";
        case BASS_ERROR_ENDED:
            return "the channel has reached its end";
        case BASS_ERROR_CREATE:
            return "the output file could not be created";
        default:
            return "unknown error";
    }
}

}  // namespace audiolib
