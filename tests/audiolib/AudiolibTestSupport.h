// Shared pieces of the audio library's own tests: a device for the test's lifetime, fixture
// files, and pulling a decoding stream to its end.
#ifndef TONVERA_TESTS_AUDIOLIB_AUDIOLIBTESTSUPPORT_H
#define TONVERA_TESTS_AUDIOLIB_AUDIOLIBTESTSUPPORT_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "audiolib/audiolib.h"
#include "support/AudioFixtures.h"
#include "support/TempHome.h"

namespace audiolibtest {

// Opens a device for the calling thread and frees it (with everything made on it) at the end.
class DeviceScope {
  public:
    explicit DeviceScope(int device = 0) { ok_ = BASS_Init(device, 44100, 0, nullptr, nullptr); }
    ~DeviceScope() {
        if (ok_)
            BASS_Free();
    }
    DeviceScope(const DeviceScope&) = delete;
    DeviceScope& operator=(const DeviceScope&) = delete;
    bool ok() const { return ok_ != FALSE; }

  private:
    BOOL ok_ = FALSE;
};

// A test with the no-sound device open and a temporary folder for fixture files.
class NoSoundTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(device_.ok()) << BASS_ErrorGetCode(); }

    // Writes a fixture file and returns its path.
    std::string writeFixture(const std::string& name, const std::vector<float>& frames, int rate,
                             int channels);

    DeviceScope device_{0};
    testsupport::TempDir dir_;
};

// Pulls every float frame out of a decoding channel until it reports that it has stopped.
std::vector<float> pullAll(DWORD channel, DWORD bytesPerRequest = 20000);

// A decoding source with the given flags and a tempo stream over it (0 on failure).
HSTREAM makeTempoStream(const std::string& path, DWORD sourceFlags, DWORD tempoFlags);

// The largest step between neighbouring samples of one channel.
float largestStep(const std::vector<float>& interleaved, int channels, int channel);

}  // namespace audiolibtest

#endif
