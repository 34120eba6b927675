// A sound decoded once into memory, already at the device's rate and in 1 or 2 channels, so
// playing it is a plain copy.
#ifndef TONVERA_AUDIOLIB_SAMPLE_SAMPLEDATA_H
#define TONVERA_AUDIOLIB_SAMPLE_SAMPLEDATA_H

#include <memory>
#include <string>
#include <vector>

namespace audiolib {

struct SampleData {
    int rate = 0;
    int channels = 0;  // 1 or 2
    int sourceRate = 0;
    int sourceChannels = 0;
    int sourceBits = 0;
    std::vector<float> frames;  // interleaved

    std::size_t frameCount() const { return channels ? frames.size() / channels : 0; }

    // Decodes the whole file; mono mixes all channels into one, otherwise wider files are
    // folded to stereo. nullptr on failure with *errorCode a BASS_ERROR_* and *reason set.
    static std::shared_ptr<const SampleData> load(const std::string& utf8Path, bool mono,
                                                  int deviceRate, int* errorCode,
                                                  std::string* reason);
};

}  // namespace audiolib

#endif
