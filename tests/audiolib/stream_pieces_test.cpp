// The pieces a tempo stream carries, each on its own: the position map, the count-in gap between
// passes, the speed trainer and the loop seam's pass count. The tempo stream's own tests
// (tempo_render_test) check them together through the C surface; these pin each piece's
// arithmetic, where a slip would hide inside the stretcher's output.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <vector>

#include "AudiolibTestSupport.h"
#include "audiolib/stream/CountInGap.h"
#include "audiolib/stream/LoopSeam.h"
#include "audiolib/stream/PositionMap.h"
#include "audiolib/stream/SourceStream.h"
#include "audiolib/stream/SpeedTrainer.h"

namespace {

using audiolib::CountInGap;
using audiolib::LoopSeam;
using audiolib::PositionMap;
using audiolib::SpeedTrainer;

// A new ratio holds only once the frames made at the old one are out; a seek forgets changes
// still pending; a lead change moves the position forward gradually, never backwards; and a
// seam takes the loop off the position exactly when the output reaches it.
TEST(PositionMapTest, FollowsASeekATempoChangeTheLeadAndTheSeam) {
    PositionMap map;
    map.restart(10000.0, 1.0, 0.0);
    map.advance(100);
    EXPECT_DOUBLE_EQ(map.position(), 10100.0);
    map.changeRatio(50, 0.5, 0.0);
    map.advance(80);  // 50 frames at the old ratio, 30 at the new
    EXPECT_DOUBLE_EQ(map.position(), 10100.0 + 50.0 + 15.0);
    EXPECT_DOUBLE_EQ(map.ratio(), 0.5);

    map.changeRatio(1000, 2.0, 0.0);
    map.restart(500.0, 0.5, 0.0);
    map.advance(2000);
    EXPECT_DOUBLE_EQ(map.position(), 1500.0) << "a change from before the seek still applied";

    // The lead grows by 2048 source frames: taken in over twice its length in output frames.
    map.changeRatio(0, 0.5, 2048.0);
    double last = map.position();
    for (int block = 0; block < 63; ++block) {
        map.advance(128);
        EXPECT_GT(map.position(), last);
        last = map.position();
    }
    EXPECT_LT(map.position(), 1500.0 + 8064 * 0.5 + 2048.0);
    map.advance(256);
    EXPECT_DOUBLE_EQ(map.position(), 1500.0 + 8320 * 0.5 + 2048.0);

    // A loop from 400 to 1000 whose seam went in at unwrapped frame 1000.
    map.restart(0.0, 1.0, 0.0);
    map.addWrap(1000.0, 600.0);
    EXPECT_TRUE(map.wrapAhead());
    EXPECT_EQ(map.framesUntilWrap(), 1000U);
    EXPECT_EQ(map.advance(999), 0U);
    EXPECT_EQ(map.framesUntilWrap(), 1U);
    EXPECT_EQ(map.advance(1), 1U);
    EXPECT_FALSE(map.wrapAhead());
    EXPECT_DOUBLE_EQ(map.position(), 400.0);
    EXPECT_DOUBLE_EQ(map.unwrapped(), 1000.0);
}

// The gap lasts exactly its beats whatever the block sizes, its clicks sit on their onsets at
// the level heard (what the stream's gain would add taken off), the first beat of each bar
// accented; the music after it fades in from nothing; and a seek forgets a gap under way.
TEST(CountInGapTest, LastsItsBeatsWithClicksOnThemAndFadesTheMusicBackIn) {
    constexpr int kGapRate = 1000;
    CountInGap gap(kGapRate, 2);
    EXPECT_FALSE(gap.armed());
    auto clicks = std::make_shared<CountInGap::Clicks>();
    clicks->click = {1.0F, 1.0F};
    clicks->accentClick = {2.0F, 2.0F};
    clicks->beats = 3;
    clicks->intervalFrames = 100.5;
    clicks->beatsPerBar = 2;
    clicks->level = 0.5F;
    gap.set(clicks);
    ASSERT_TRUE(gap.armed());

    gap.begin();
    std::vector<float> out;
    std::vector<float> block(2 * 7, -1.0F);
    while (gap.playing()) {
        const std::size_t got = gap.render(block.data(), 7, 2.0F);
        ASSERT_GT(got, 0U);
        out.insert(out.end(), block.begin(), block.begin() + static_cast<std::ptrdiff_t>(2 * got));
    }
    ASSERT_EQ(out.size(), 2U * 302);  // 3 x 100.5, rounded
    const auto left = [&](std::size_t frame) { return out[2 * frame]; };
    EXPECT_FLOAT_EQ(left(0), 0.5F);     // accented: 2 x 0.5 / 2
    EXPECT_FLOAT_EQ(left(101), 0.25F);  // plain
    EXPECT_FLOAT_EQ(left(201), 0.5F);   // the next bar
    EXPECT_FLOAT_EQ(out[2 * 201 + 1], 0.5F);
    for (const std::size_t silent : {2U, 100U, 103U, 200U, 301U})
        EXPECT_EQ(left(silent), 0.0F) << silent;

    std::vector<float> music(2 * 20, 1.0F);
    gap.fadeIn(music.data(), 20);
    EXPECT_EQ(music[0], 0.0F);
    for (std::size_t f = 1; f < 10; ++f)
        EXPECT_GT(music[2 * f], music[2 * (f - 1)]);
    EXPECT_EQ(music[2 * 10], 1.0F);

    gap.begin();
    gap.render(block.data(), 7, 1.0F);
    gap.reset();
    EXPECT_FALSE(gap.playing());
    std::vector<float> whole(2 * 302);
    gap.begin();
    EXPECT_EQ(gap.render(whole.data(), 400, 1.0F), 302U);
    gap.reset();
    std::vector<float> afterSeek(2 * 4, 1.0F);
    gap.fadeIn(afterSeek.data(), 4);
    EXPECT_EQ(afterSeek, std::vector<float>(2 * 4, 1.0F)) << "a seek must not fade the music";
}

// The tempo moves one step every N passes toward the target, lands on it even when the step
// overshoots, and stays there; off, it never moves.
TEST(SpeedTrainerTest, StepsTowardTheTargetAndStopsThere) {
    SpeedTrainer trainer;
    EXPECT_FALSE(trainer.nextTempo(1, -30.0F));
    const auto run = [&](float tempo, std::uint32_t passes) {
        std::vector<float> seen{tempo};
        for (std::uint32_t pass = 1; pass <= passes; ++pass) {
            if (const std::optional<float> next = trainer.nextTempo(pass, tempo)) {
                tempo = *next;
                seen.push_back(tempo);
            }
        }
        return seen;
    };
    trainer.set(0.0F, -10.0F, 2);  // the step's sign does not matter
    EXPECT_EQ(run(-30.0F, 12), (std::vector<float>{-30.0F, -20.0F, -10.0F, 0.0F}));
    trainer.set(-25.0F, 10.0F, 1);
    EXPECT_EQ(run(0.0F, 6), (std::vector<float>{0.0F, -10.0F, -20.0F, -25.0F}));
    trainer.set(-25.0F, 10.0F, 0);
    EXPECT_EQ(run(0.0F, 6), (std::vector<float>{0.0F}));
}

// Every read that runs back to the start counts one pass, numbered from 1, and setting the loop
// again (or restarting the count, as a new trainer does) counts from nothing.
class LoopSeamTest : public audiolibtest::NoSoundTest {};

TEST_F(LoopSeamTest, CountsEachPassAndStartsAgainWhenSet) {
    const std::string path =
        writeFixture("seam.wav", testsupport::sine(440.0, 1.0, 44100, 2), 44100, 2);
    int error = 0;
    std::string why;
    const auto source = audiolib::SourceStream::open({}, 0, path, BASS_SAMPLE_FLOAT, &error, &why);
    ASSERT_TRUE(source) << why;

    LoopSeam seam(44100, 2, 1024);
    seam.set(1000, 3000);
    ASSERT_TRUE(source->seek(1000));
    std::vector<float> block(2 * 1024);
    std::vector<std::uint32_t> passes;
    std::size_t frames = 0;
    while (frames < 5 * 2000 + 10) {
        const LoopSeam::Pulled got = seam.pull(*source, block.data(), 1024);
        ASSERT_GT(got.frames, 0U);
        frames += got.frames;
        if (got.wrapped)
            passes.push_back(got.pass);
    }
    EXPECT_EQ(passes, (std::vector<std::uint32_t>{1, 2, 3, 4, 5}));
    EXPECT_EQ(seam.passes(), 5U);
    seam.restartCount();
    EXPECT_EQ(seam.passes(), 0U);
    ASSERT_TRUE(source->seek(2600));  // inside the crossfade before the seam
    EXPECT_EQ(seam.pull(*source, block.data(), 1024).pass, 1U);
    seam.set(1000, 3000);
    EXPECT_EQ(seam.passes(), 0U);
}

}  // namespace
