#include "engine/OverviewPeaks.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "audiolib/AudioDecoder.h"

namespace {

constexpr std::size_t kReadFrames = 8192;
// A cache file starts with this; a new layout gets a new number, and old files are rebuilt.
constexpr char kMagic[] = "TONVERA-OVERVIEW-2\n";
constexpr std::size_t kMagicSize = sizeof(kMagic) - 1;
constexpr std::uint32_t kLongestKey = 64 * 1024;

template <typename T>
void put(std::string& out, T value) {
    char bytes[sizeof(T)];
    std::memcpy(bytes, &value, sizeof(T));
    out.append(bytes, sizeof(T));
}

// Reads a value at `at` and moves past it; false when the bytes end first.
template <typename T>
bool take(const std::string& in, std::size_t& at, T& value) {
    if (in.size() - at < sizeof(T))
        return false;
    std::memcpy(&value, in.data() + at, sizeof(T));
    at += sizeof(T);
    return true;
}

}  // namespace

float OverviewPeaks::peakOver(std::uint64_t first, std::uint64_t last, int lane) const {
    const std::uint64_t count = bucketCount();
    if (count == 0 || lane < 0 || lane >= lanes || last <= first)
        return 0.0F;
    const std::uint64_t from = std::min(first / framesPerBucket, count - 1);
    const std::uint64_t to = std::min((last + framesPerBucket - 1) / framesPerBucket, count);
    float loudest = 0.0F;
    for (std::uint64_t bucket = from; bucket < std::max(to, from + 1); ++bucket) {
        loudest = std::max(loudest, peak(bucket, lane));
    }
    return loudest;
}

namespace overviewpeaks {

std::optional<OverviewPeaks> compute(audiolib::AudioDecoder& decoder, std::atomic<float>* progress,
                                     const std::atomic<bool>* cancel) {
    const int channels = decoder.channels();
    const std::uint64_t frames = decoder.lengthFrames();
    if (channels <= 0 || frames == 0 || !decoder.seek(0))
        return std::nullopt;
    OverviewPeaks result;
    result.lanes = std::min(channels, 2);
    result.sampleRate = decoder.sampleRate();
    result.frames = frames;
    result.framesPerBucket = std::max<std::uint64_t>(
        1, (frames + OverviewPeaks::kBuckets - 1) / OverviewPeaks::kBuckets);
    const std::uint64_t buckets = (frames + result.framesPerBucket - 1) / result.framesPerBucket;
    result.peaks.assign(buckets * static_cast<std::uint64_t>(result.lanes), 0.0F);

    std::vector<float> block(kReadFrames * static_cast<std::size_t>(channels));
    std::uint64_t done = 0;
    while (done < frames) {
        if (cancel != nullptr && cancel->load(std::memory_order_relaxed))
            return std::nullopt;
        const std::size_t got = decoder.read(block.data(), kReadFrames);
        if (got == 0)
            break;  // a file shorter than it said: what was read is the overview
        const std::size_t used =
            static_cast<std::size_t>(std::min<std::uint64_t>(got, frames - done));
        for (std::size_t i = 0; i < used; ++i) {
            const std::uint64_t bucket = (done + i) / result.framesPerBucket;
            float* slot = &result.peaks[bucket * static_cast<std::uint64_t>(result.lanes)];
            const float* frame = &block[i * static_cast<std::size_t>(channels)];
            for (int c = 0; c < channels; ++c) {
                // NaN from a broken decoder counts as silence; beyond full scale as full.
                const float level = std::fabs(frame[c]);
                const int lane = std::min(c, 1);
                if (level > slot[lane])
                    slot[lane] = std::min(level, 1.0F);
            }
        }
        done += used;
        if (progress != nullptr) {
            progress->store(
                static_cast<float>(static_cast<double>(done) / static_cast<double>(frames)),
                std::memory_order_relaxed);
        }
    }
    return result;
}

std::string serialize(const OverviewPeaks& peaks, const std::string& key) {
    std::string out(kMagic, kMagicSize);
    put(out, static_cast<std::uint32_t>(key.size()));
    out += key;
    put(out, static_cast<std::uint32_t>(peaks.lanes));
    put(out, static_cast<std::uint32_t>(peaks.sampleRate));
    put(out, peaks.frames);
    put(out, peaks.framesPerBucket);
    put(out, static_cast<std::uint64_t>(peaks.peaks.size()));
    out.append(reinterpret_cast<const char*>(peaks.peaks.data()),
               peaks.peaks.size() * sizeof(float));
    return out;
}

std::optional<OverviewPeaks> deserialize(const std::string& bytes, const std::string& key) {
    if (bytes.compare(0, kMagicSize, kMagic, kMagicSize) != 0)
        return std::nullopt;
    std::size_t at = kMagicSize;
    std::uint32_t keySize = 0;
    if (!take(bytes, at, keySize) || keySize > kLongestKey || bytes.size() - at < keySize ||
        bytes.compare(at, keySize, key) != 0 || keySize != key.size())
        return std::nullopt;
    at += keySize;
    std::uint32_t lanes = 0;
    std::uint32_t rate = 0;
    OverviewPeaks peaks;
    std::uint64_t values = 0;
    if (!take(bytes, at, lanes) || !take(bytes, at, rate) || !take(bytes, at, peaks.frames) ||
        !take(bytes, at, peaks.framesPerBucket) || !take(bytes, at, values))
        return std::nullopt;
    // The counts must agree with each other and with the bytes that are there, before anything
    // is allocated for them.
    if (lanes < 1 || lanes > 2 || rate == 0 || peaks.frames == 0 || peaks.framesPerBucket == 0 ||
        values % lanes != 0 || values / lanes > OverviewPeaks::kBuckets ||
        values / lanes != (peaks.frames - 1) / peaks.framesPerBucket + 1 ||
        bytes.size() - at != values * sizeof(float))
        return std::nullopt;
    peaks.lanes = static_cast<int>(lanes);
    peaks.sampleRate = static_cast<int>(rate);
    peaks.peaks.resize(values);
    std::memcpy(peaks.peaks.data(), bytes.data() + at, values * sizeof(float));
    if (!std::all_of(peaks.peaks.begin(), peaks.peaks.end(),
                     [](float v) { return v >= 0.0F && v <= 1.0F; }))
        return std::nullopt;
    return peaks;
}

}  // namespace overviewpeaks
