// The whole song's waveform for the overview strip: the loudest sample of each short stretch
// (a bucket) of the music, per lane. Stereo files have two lanes (left, right); mono files one;
// files with more channels show the first channel and, in the second lane, the loudest of the
// rest. A window of any width draws from these, merging the buckets under each pixel, so there
// are never fewer buckets than a screen has pixels.
#ifndef TONVERA_ENGINE_OVERVIEWPEAKS_H
#define TONVERA_ENGINE_OVERVIEWPEAKS_H

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace audiolib {
class AudioDecoder;
}

struct OverviewPeaks {
    // Enough for the widest screens; a shorter song gets one bucket per frame.
    static constexpr std::uint64_t kBuckets = 16384;

    int lanes = 0;
    int sampleRate = 0;
    std::uint64_t frames = 0;
    std::uint64_t framesPerBucket = 1;
    // Bucket after bucket, each with one value per lane, 0 … 1 (beyond full scale held at 1).
    std::vector<float> peaks;

    std::uint64_t bucketCount() const {
        return lanes > 0 ? peaks.size() / static_cast<std::size_t>(lanes) : 0;
    }
    float peak(std::uint64_t bucket, int lane) const {
        return peaks[bucket * static_cast<std::uint64_t>(lanes) + static_cast<std::uint64_t>(lane)];
    }
    // The loudest value of the buckets that cover frames [first, last).
    float peakOver(std::uint64_t first, std::uint64_t last, int lane) const;
};

namespace overviewpeaks {

// Reads the decoder from its start to its end. `progress` (0 … 1) is stored as it goes; a set
// `cancel` ends the read early, and then nullopt comes back, as it does for a file without frames.
std::optional<OverviewPeaks> compute(audiolib::AudioDecoder& decoder, std::atomic<float>* progress,
                                     const std::atomic<bool>* cancel);

// The cache file's bytes. `key` names the music (its path, size and time of change); a cache
// file read back for another key, or damaged in any way, reads as nullopt.
std::string serialize(const OverviewPeaks& peaks, const std::string& key);
std::optional<OverviewPeaks> deserialize(const std::string& bytes, const std::string& key);

}  // namespace overviewpeaks

#endif
