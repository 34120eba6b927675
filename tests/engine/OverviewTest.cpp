// The song overview's peaks from a generated file, and its cache: a cache file is used only for
// the file it was made of, and a damaged one is rebuilt rather than drawn.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <fstream>
#include <thread>

#include "engine/OverviewBuilder.h"
#include "support/AudioFixtures.h"
#include "support/TempHome.h"

namespace {

using testsupport::kRate;

std::optional<OverviewPeaks> build(const std::string& path, const std::string& key,
                                   std::string* cache, int* stores) {
    OverviewBuilder builder(path, key,
                            {[cache] { return *cache; },
                             [cache, stores](const std::string& bytes) {
                                 *cache = bytes;
                                 ++*stores;
                             }});
    for (int i = 0; i < 2000 && !builder.finished(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_TRUE(builder.finished());
    EXPECT_EQ(builder.progress(), 1.0F);
    return builder.take();
}

}  // namespace

TEST(Overview, PeaksFollowEachChannelAndTheCacheServesOnlyItsOwnFile) {
    // Left: loud first half, quiet second half; right: the same level throughout.
    const double seconds = 4.0;
    std::vector<float> frames;
    const auto total = static_cast<std::size_t>(seconds * kRate);
    for (std::size_t i = 0; i < total; ++i) {
        const double phase = 2.0 * M_PI * 440.0 * static_cast<double>(i) / kRate;
        const float left = (i < total / 2 ? 0.8F : 0.1F) * static_cast<float>(std::sin(phase));
        frames.push_back(left);
        frames.push_back(0.4F * static_cast<float>(std::cos(phase)));
    }
    testsupport::TempDir dir;
    const std::string path = dir.file("halves.wav");
    ASSERT_TRUE(
        testsupport::writeWav(path, frames, kRate, 2, testsupport::WavSampleFormat::Float32));

    std::string cache;
    int stores = 0;
    const std::optional<OverviewPeaks> peaks = build(path, "halves v1", &cache, &stores);
    ASSERT_TRUE(peaks);
    EXPECT_EQ(stores, 1);
    EXPECT_EQ(peaks->lanes, 2);
    EXPECT_EQ(peaks->frames, total);
    EXPECT_LE(peaks->bucketCount(), OverviewPeaks::kBuckets);
    // Each tenth of a second, as a pixel column of a wide window would show it.
    const std::uint64_t half = total / 2;
    const std::uint64_t tenth = kRate / 10;
    for (std::uint64_t from = 0; from < total; from += tenth) {
        const float left = peaks->peakOver(from, from + tenth, 0);
        ASSERT_NEAR(left, from < half ? 0.8F : 0.1F, 0.01F) << "at frame " << from;
        ASSERT_NEAR(peaks->peakOver(from, from + tenth, 1), 0.4F, 0.01F) << "at frame " << from;
    }
    // A column across the seam shows the loud side.
    EXPECT_NEAR(peaks->peakOver(half - 200, half + tenth, 0), 0.8F, 0.01F);

    // The same file again: from the cache, nothing decoded or stored.
    const std::optional<OverviewPeaks> cached = build(path, "halves v1", &cache, &stores);
    ASSERT_TRUE(cached);
    EXPECT_EQ(stores, 1);
    EXPECT_EQ(cached->peaks, peaks->peaks);

    // The file changed (another key), or the cache file was cut short or overwritten: the
    // overview comes from the music again and replaces the cache.
    const std::string good = cache;
    for (const std::string& damaged :
         {good, good.substr(0, good.size() - 3), std::string(good.size(), '\xff')}) {
        cache = damaged;
        const std::string key = damaged == good ? "halves v2" : "halves v1";
        const std::optional<OverviewPeaks> again = build(path, key, &cache, &stores);
        ASSERT_TRUE(again);
        EXPECT_EQ(again->peaks, peaks->peaks);
    }
    EXPECT_EQ(stores, 4);

    // A file that is no music gives no overview, and no cache.
    const std::string text = dir.file("notes.wav");
    std::ofstream(text) << "not audio";
    EXPECT_FALSE(build(text, "notes", &cache, &stores));
    EXPECT_EQ(stores, 4);
}
