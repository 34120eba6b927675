// A count-in as the device plays it, recorded by SDL's "disk" driver: the clicks on their beat
// frames and the music's first frame on the beat after them.
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <thread>

#include "EngineFixture.h"

namespace {

using testsupport::kRate;

class CountInTest : public EngineTest {
  protected:
    void SetUp() override {
        EngineTest::SetUp();
        if (const char* old = std::getenv("SDL_AUDIODRIVER"))
            oldDriver_ = old;
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIOFILE", dir_.file("heard.raw").c_str(), 1);
    }
    void TearDown() override {
        EngineTest::TearDown();
        if (oldDriver_) {
            setenv("SDL_AUDIODRIVER", oldDriver_->c_str(), 1);
        } else {
            unsetenv("SDL_AUDIODRIVER");
        }
        unsetenv("SDL_DISKAUDIOFILE");
    }

    std::vector<float> heard() {
        engine_.shutdown();
        const std::string bytes = testsupport::readFile(dir_.file("heard.raw"));
        std::vector<float> samples(bytes.size() / sizeof(float));
        std::memcpy(samples.data(), bytes.data(), samples.size() * sizeof(float));
        return samples;
    }

    std::optional<std::string> oldDriver_;
};

TEST_F(CountInTest, ClicksLandOnTheirBeatsAndTheMusicOnTheNext) {
#if defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "measures what a real-time device heard; too slow under ThreadSanitizer";
#endif
    if (!engine_.initialize())
        GTEST_SKIP() << "SDL's disk driver is not available";
    // Constant levels: the first frame of each sound is its first non-zero sample.
    const std::string click = dir_.file("click.wav");
    ASSERT_TRUE(testsupport::writeWav(click, std::vector<float>(kRate / 50, 0.5F), kRate, 1,
                                      testsupport::WavSampleFormat::Float32));
    const std::string music = dir_.file("level.wav");
    ASSERT_TRUE(testsupport::writeWav(music, std::vector<float>(2 * kRate * 3, 0.25F), kRate, 2,
                                      testsupport::WavSampleFormat::Float32));
    const std::uint32_t clickChannel = engine_.loadSample(click);
    ASSERT_NE(clickChannel, 0U);
    ASSERT_TRUE(engine_.open(music));

    const auto clock = engine_.clock();
    ASSERT_TRUE(clock.has_value());
    const double interval = 60.0 / 137.0;  // a beat that is no whole number of frames
    const std::uint64_t first = clock->frame + kRate / 5;
    const auto beatFrame = [&](int n) {
        return first + static_cast<std::uint64_t>(std::llround(n * interval * kRate));
    };
    ASSERT_TRUE(engine_.playBeats(clickChannel, first, interval, 4, 4, true));
    ASSERT_TRUE(engine_.playAt(beatFrame(4)));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (engine_.clock()->frame < beatFrame(4) + kRate / 2 &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    const std::vector<float> samples = heard();

    // Where each sound starts: the first non-zero frame after a silence.
    std::vector<std::size_t> starts;
    bool sounding = false;
    std::size_t silent = 0;
    for (std::size_t f = 0; f < samples.size() / 2; ++f) {
        const bool loud = samples[2 * f] != 0.0F || samples[2 * f + 1] != 0.0F;
        if (loud && !sounding && (starts.empty() || silent > 100))
            starts.push_back(f);
        silent = loud ? 0 : silent + 1;
        sounding = loud;
    }
    ASSERT_EQ(starts.size(), 5U) << "four clicks and the music";
    for (int n = 1; n <= 4; ++n) {
        const auto expected = static_cast<long long>(beatFrame(n) - first);
        EXPECT_NEAR(static_cast<long long>(starts[static_cast<std::size_t>(n)] - starts[0]),
                    expected, 1)
            << (n < 4 ? "click " : "music on beat ") << n + 1;
    }
}

}  // namespace
