// Helpers shared by the C entry points: error reporting and handle lookup.
#ifndef TONVERA_AUDIOLIB_CAPI_APISUPPORT_H
#define TONVERA_AUDIOLIB_CAPI_APISUPPORT_H

#include <memory>

#include "audiolib/audiolib.h"
#include "audiolib/core/HandleTable.h"
#include "audiolib/core/LastError.h"

namespace audiolib {

class Stream;
class SampleChannel;
class Sample;

namespace api {

// Sets the calling thread's error and returns the failure value.
template <typename T>
T fail(int code, T value) {
    setLastError(code);
    return value;
}

template <typename T>
T succeed(T value) {
    setLastError(BASS_OK);
    return value;
}

inline BOOL result(int code) {
    setLastError(code);
    return code == BASS_OK ? TRUE : FALSE;
}

constexpr QWORD kBadQword = static_cast<QWORD>(-1);
constexpr DWORD kBadDword = static_cast<DWORD>(-1);

std::shared_ptr<Stream> findStream(DWORD handle);
std::shared_ptr<SampleChannel> findSampleChannel(DWORD handle);
std::shared_ptr<Sample> findSample(DWORD handle);

// Plays a stream on its device; with a start frame of the device clock (not 0) it stays silent
// until then. The frame is set before the stream is playing, so no callback can play it early.
BOOL playStream(const std::shared_ptr<Stream>& stream, bool restart, QWORD startFrame = 0);

// Release everything a handle stands for, and what it owns. Used by the free calls and by
// BASS_Free for whatever a device still holds.
void releaseStream(const std::shared_ptr<Stream>& stream);
void releaseSample(const std::shared_ptr<Sample>& sample);
void releaseSampleChannel(const std::shared_ptr<SampleChannel>& channel);
// Finishes the encoder's file and forgets it; false when the file could not be completed.
bool releaseEncoder(DWORD encoderHandle);

}  // namespace api
}  // namespace audiolib

#endif
