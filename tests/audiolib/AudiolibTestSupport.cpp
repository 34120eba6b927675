#include "AudiolibTestSupport.h"

#include <cmath>

namespace audiolibtest {

std::string NoSoundTest::writeFixture(const std::string& name, const std::vector<float>& frames,
                                      int rate, int channels) {
    const std::string path = dir_.file(name);
    std::string error;
    EXPECT_TRUE(testsupport::writeAudioFile(path, frames, rate, channels, &error)) << error;
    return path;
}

std::vector<float> pullAll(DWORD channel, DWORD bytesPerRequest) {
    std::vector<float> all;
    std::vector<float> block(bytesPerRequest / sizeof(float));
    // Far more requests than any fixture needs: a stream that never stops fails the test
    // instead of hanging it.
    for (int guard = 0; guard < 100000; ++guard) {
        if (BASS_ChannelIsActive(channel) == BASS_ACTIVE_STOPPED)
            return all;
        const DWORD got =
            BASS_ChannelGetData(channel, block.data(), bytesPerRequest | BASS_DATA_FLOAT);
        if (got == static_cast<DWORD>(-1))
            break;
        all.insert(all.end(), block.begin(), block.begin() + got / sizeof(float));
    }
    ADD_FAILURE() << "the channel did not stop";
    return all;
}

HSTREAM makeTempoStream(const std::string& path, DWORD sourceFlags, DWORD tempoFlags) {
    const HSTREAM source =
        BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, BASS_STREAM_DECODE | sourceFlags);
    if (source == 0)
        return 0;
    return BASS_FX_TempoCreate(source, BASS_FX_FREESOURCE | tempoFlags);
}

float largestStep(const std::vector<float>& interleaved, int channels, int channel) {
    float largest = 0.0F;
    for (std::size_t i = channel + channels; i < interleaved.size(); i += channels) {
        largest = std::max(largest, std::fabs(interleaved[i] - interleaved[i - channels]));
    }
    return largest;
}

}  // namespace audiolibtest
