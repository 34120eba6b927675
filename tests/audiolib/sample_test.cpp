// One-shot samples: loaded at the device rate, one play head whose restart cuts the previous play
// with a short fade, a level of their own.
#include <chrono>
#include <cmath>
#include <thread>

#include "AudiolibTestSupport.h"
#include "audiolib/playback/Mixer.h"
#include "audiolib/sample/SampleVoice.h"

namespace {

using testsupport::kRate;

std::shared_ptr<audiolib::SampleData> constantSample(float level, int frames) {
    auto data = std::make_shared<audiolib::SampleData>();
    data->rate = kRate;
    data->channels = 1;
    data->frames.assign(static_cast<std::size_t>(frames), level);
    return data;
}

std::vector<float> mix(audiolib::Mixer& mixer, int frames) {
    std::vector<float> out(static_cast<std::size_t>(frames) * 2);
    mixer.process(out.data(), frames);
    return out;
}

TEST(SampleVoiceTest, RestartCutsThePreviousPlayInsteadOfOverlapping) {
    audiolib::SampleVoice voice(constantSample(0.5F, kRate / 10));
    audiolib::Mixer mixer(kRate);
    ASSERT_TRUE(mixer.add(&voice));
    voice.play(true);
    auto first = mix(mixer, 441);  // 10 ms in
    EXPECT_EQ(first[0], 0.5F);     // starts with its own attack
    EXPECT_EQ(first[880], 0.5F);
    voice.play(true);
    const auto cut = mix(mixer, 4410);
    // Never more than one play: the level never exceeds that of a single play.
    EXPECT_LE(testsupport::peak(cut), 0.5);
    // The old play fades out within 1.5 ms (66 frames) without a jump...
    for (int i = 1; i < 66; ++i) {
        ASSERT_LE(cut[2 * i], cut[2 * (i - 1)]);
        ASSERT_LT(cut[2 * (i - 1)] - cut[2 * i], 0.02F);
    }
    // ...and the new one then plays the whole sound from its start.
    std::size_t restart = 0;
    while (cut[2 * restart] != 0.5F || restart == 0)
        ++restart;
    EXPECT_LE(restart, 70U);
    EXPECT_EQ(cut[2 * (restart + 4409 - 70)], 0.5F);
    EXPECT_TRUE(voice.sounding());
}

// Beats on the device clock start on their exact frames, whatever the callback size, and a
// start on the same clock waits for its frame; accented beats read the sound faster.
TEST(SampleVoiceTest, ScheduledBeatsStartOnTheirFramesAndAccentTheBar) {
    auto data = constantSample(0.5F, 100);
    for (int i = 0; i < 100; ++i)
        data->frames[static_cast<std::size_t>(i)] = 0.5F - 0.004F * static_cast<float>(i);
    audiolib::SampleVoice voice(data);
    audiolib::Mixer mixer(kRate);
    voice.attachClock(&mixer.clock());
    ASSERT_TRUE(mixer.add(&voice));
    audiolib::BeatSchedule beats;
    beats.firstFrame = 1000;
    beats.intervalFrames = 1234.5;
    beats.count = 4;
    beats.beatsPerBar = 2;
    beats.accent = true;
    voice.scheduleBeats(beats);
    std::vector<float> out;
    for (const int size : {333, 512, 97, 2048, 1000, 1024}) {
        const auto part = mix(mixer, size);
        out.insert(out.end(), part.begin(), part.end());
    }
    std::vector<std::size_t> onsets;
    for (std::size_t f = 0; f < out.size() / 2; ++f) {
        if (out[2 * f] != 0.0F && (f == 0 || out[2 * (f - 1)] == 0.0F))
            onsets.push_back(f);
    }
    EXPECT_EQ(onsets, (std::vector<std::size_t>{1000, 2235, 3469, 4704}));
    // Accented beats (0 and 2) end sooner: the same sound, read 1.5 times as fast.
    auto soundingFrames = [&](std::size_t from) {
        std::size_t n = 0;
        while (out[2 * (from + n)] != 0.0F)
            ++n;
        return n;
    };
    EXPECT_LT(soundingFrames(1000), 70U);
    EXPECT_EQ(soundingFrames(2235), 100U);
}

TEST(SampleVoiceTest, PlaysOnceToTheEndWithItsOwnLevel) {
    audiolib::SampleVoice voice(constantSample(0.8F, 1000));
    audiolib::Mixer mixer(kRate);
    mixer.add(&voice);
    voice.setVolume(0.25F);
    voice.play(true);
    const auto out = mix(mixer, 2000);
    EXPECT_FLOAT_EQ(out[2 * 999], 0.2F);
    EXPECT_FLOAT_EQ(out[2 * 999 + 1], 0.2F);  // mono on both sides
    EXPECT_EQ(out[2 * 1000], 0.0F);
    EXPECT_FALSE(voice.sounding());
    EXPECT_EQ(voice.position(), 1000U);
    // Idle until played again, then from the start.
    EXPECT_EQ(testsupport::peak(mix(mixer, 512)), 0.0);
    voice.play(false);
    EXPECT_FLOAT_EQ(mix(mixer, 16)[0], 0.2F);
}

TEST(SampleVoiceTest, PauseHoldsAndResumesWhereItWas) {
    audiolib::SampleVoice voice(constantSample(0.5F, kRate));
    audiolib::Mixer mixer(kRate);
    mixer.add(&voice);
    voice.play(true);
    mix(mixer, 1000);
    voice.pause();
    mix(mixer, 1000);
    EXPECT_TRUE(voice.paused());
    const auto held = voice.position();
    EXPECT_LT(held, 1200U);  // only the short fade played on
    EXPECT_EQ(testsupport::peak(mix(mixer, 1000)), 0.0);
    EXPECT_EQ(voice.position(), held);
    voice.play(false);
    mix(mixer, 1000);
    EXPECT_EQ(voice.position(), held + 1000);
}

class SampleApiTest : public audiolibtest::NoSoundTest {};

TEST_F(SampleApiTest, LoadsMonoAtTheDeviceRateWithOneChannel) {
    const std::string path =
        writeFixture("click.wav", testsupport::sine(1000.0, 0.05, 22050, 2, 0.5F), 22050, 2);
    const HSAMPLE sample =
        BASS_SampleLoad(FALSE, path.c_str(), 0, 0, 1, BASS_SAMPLE_FLOAT | BASS_SAMPLE_MONO);
    ASSERT_NE(sample, 0U) << BASS_ErrorGetCode();
    const HCHANNEL channel = BASS_SampleGetChannel(sample, BASS_SAMCHAN_NEW);
    ASSERT_NE(channel, 0U);
    EXPECT_EQ(BASS_SampleGetChannel(sample, BASS_SAMCHAN_NEW), 0U);  // at most one
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_NOCHAN);
    BASS_CHANNELINFO info{};
    ASSERT_TRUE(BASS_ChannelGetInfo(channel, &info));
    EXPECT_EQ(info.chans, 1U);
    EXPECT_EQ(info.freq, 44100U);
    EXPECT_EQ(info.sample, sample);
    // 0.05 s at 22050 Hz became 0.05 s at 44100 Hz.
    EXPECT_NEAR(BASS_ChannelGetLength(channel, BASS_POS_BYTE) / 4.0, 2205.0, 40.0);

    ASSERT_TRUE(BASS_ChannelSetAttribute(channel, BASS_ATTRIB_VOL, 0.95F));
    float level = 0.0F;
    ASSERT_TRUE(BASS_ChannelGetAttribute(channel, BASS_ATTRIB_VOL, &level));
    EXPECT_EQ(level, 0.95F);
    EXPECT_FALSE(BASS_ChannelSetAttribute(channel, BASS_ATTRIB_TEMPO, 10.0F));

    // On the no-sound device it still plays in real time and ends by itself.
    ASSERT_TRUE(BASS_ChannelPlay(channel, TRUE));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (BASS_ChannelIsActive(channel) == BASS_ACTIVE_PLAYING) {
        ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the sample never ended";
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(BASS_ChannelIsActive(channel), BASS_ACTIVE_STOPPED);
    ASSERT_TRUE(BASS_SampleFree(sample));
    EXPECT_FALSE(BASS_ChannelPlay(channel, TRUE));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
}

}  // namespace
