#include "engine/SoundEngine.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "audiolib/audiolib.h"
#include "audiolib/core/HandleTable.h"
#include "audiolib/stream/TempoStream.h"
#include "engine/EngineFixture.h"

namespace {

TEST(SoundEngineVersion, IsMajorAndMinorAsOneNumber) {
    EXPECT_EQ(SoundEngine::versionString(), 516);
}

TEST_F(EngineTest, InitializeLogsTheDevicesAndTheOpenedDevice) {
    ASSERT_TRUE(engine_.initialize());
    EXPECT_GE(engine_.bassDevice(), 1);
    const auto lines = logLines();
    ASSERT_GE(lines.size(), 15U);
    EXPECT_EQ(lines[0], std::string(38, '-'));
    EXPECT_EQ(lines[1].rfind("SoundEngine: device 1 information name: ", 0), 0U) << lines[1];
    EXPECT_EQ(lines[2], "SoundEngine: device is default");
    EXPECT_TRUE(logHas("SoundEngine: initialized sound library / device: " +
                       std::to_string(engine_.bassDevice())));
    EXPECT_TRUE(logHas("SoundEngine: volume 1.000000"));
    EXPECT_TRUE(logHas("SoundEngine: information freq: 44100"));
    EXPECT_EQ(lines.back().rfind("SoundEngine: information freq: ", 0), 0U);
}

TEST_F(EngineTest, EverythingIsInertBeforeMusicIsOpened) {
    ASSERT_TRUE(engine_.initialize());
    EXPECT_FALSE(engine_.musicAvailable());
    EXPECT_FALSE(engine_.isPlaying());
    engine_.setTempo(20.0F);
    engine_.setVolume(50.0F);
    engine_.play();
    EXPECT_FALSE(engine_.isPlaying());
    EXPECT_EQ(engine_.tempo(), 0.0F);
    EXPECT_EQ(engine_.pitch(), 0.0F);
    EXPECT_EQ(engine_.samplerate(), 0.0F);
    EXPECT_EQ(engine_.volume(), 0.0F);
    EXPECT_EQ(engine_.tempoRatio(), 0.0F);
    EXPECT_EQ(engine_.numChannels(), 0U);
    EXPECT_FALSE(engine_.spectrumData(100, 127).has_value());
    EXPECT_TRUE(engine_.waveData(100, 127).empty());
    EXPECT_TRUE(engine_.musicFile().empty());
}

TEST_F(EngineTest, OpenGivesNeutralMusicStoppedAtTheStart) {
    ASSERT_TRUE(engine_.initialize());
    const std::string path = sineFile("caf\xC3\xA9 song.wav", 2.0, 48000, 2);
    ASSERT_TRUE(engine_.open(path));
    EXPECT_TRUE(engine_.musicAvailable());
    EXPECT_FALSE(engine_.isPlaying());
    EXPECT_EQ(engine_.musicFile(), path);
    EXPECT_EQ(engine_.tempo(), 0.0F);
    EXPECT_EQ(engine_.pitch(), 0.0F);
    EXPECT_EQ(engine_.samplerate(), 48000.0F);
    EXPECT_FLOAT_EQ(engine_.tempoRatio(), 1.0F);
    EXPECT_EQ(engine_.currentpos(), 0U);
    EXPECT_EQ(engine_.length(), 2U);
    EXPECT_EQ(engine_.numChannels(), 2U);
    EXPECT_TRUE(logHas("SoundEngine: opened music file " + path +
                       " in channel: " + std::to_string(engine_.musicChannel())));

    engine_.setVolume(75.0F);
    EXPECT_FLOAT_EQ(engine_.volume(), 0.75F);
    engine_.setTempo(100.0F);
    engine_.setPitch(-3.0F);
    engine_.setSamplerate(44100.0F);
    EXPECT_EQ(engine_.tempo(), 100.0F);
    EXPECT_EQ(engine_.pitch(), -3.0F);
    EXPECT_EQ(engine_.samplerate(), 44100.0F);
    EXPECT_NEAR(engine_.tempoRatio(), 2.0F * 44100.0F / 48000.0F, 1e-4);
}

// The quality holds from the next open: the loaded music keeps its engine, and each open logs
// the one it uses.
TEST_F(EngineTest, SoundQualityTakesEffectAtTheNextOpen) {
    ASSERT_TRUE(engine_.initialize());
    const std::string path = sineFile("song.wav", 1.0, 44100, 2);
    auto quality = [&] {
        auto stream =
            audiolib::HandleTable::instance().findAs<audiolib::TempoStream>(engine_.musicChannel());
        return stream ? stream->quality() : static_cast<audiolib::StretchQuality>(-1);
    };
    ASSERT_TRUE(engine_.open(path));
    EXPECT_EQ(quality(), audiolib::StretchQuality::Best);
    EXPECT_TRUE(logHas("SoundEngine: sound quality Best (Rubber Band R3)"));
    engine_.setSoundQuality(SoundQuality::Light);
    EXPECT_EQ(quality(), audiolib::StretchQuality::Best);
    ASSERT_TRUE(engine_.open(path));
    EXPECT_EQ(quality(), audiolib::StretchQuality::Light);
    EXPECT_TRUE(logHas("SoundEngine: sound quality Light (SoundTouch)"));
    engine_.setSoundQuality(SoundQuality::Best);
    ASSERT_TRUE(engine_.open(path));
    EXPECT_EQ(quality(), audiolib::StretchQuality::Best);
}

TEST_F(EngineTest, LengthsAndPositionsAreWholeSourceSecondsTruncated) {
    ASSERT_TRUE(engine_.initialize());
    ASSERT_TRUE(engine_.open(sineFile("long.wav", 59.9, 8000, 1)));
    EXPECT_EQ(engine_.length(), 59U);

    const DWORD h = engine_.musicChannel();
    ASSERT_TRUE(BASS_ChannelSetPosition(h, BASS_ChannelSeconds2Bytes(h, 12.99), BASS_POS_BYTE));
    EXPECT_EQ(engine_.currentpos(), 12U);

    // Seeking is in file time whatever the tempo: 10 s of the file is 5 s of playing at +100 %.
    engine_.setTempo(100.0F);
    engine_.setCurrentPosition(10);
    EXPECT_EQ(engine_.currentpos(), 10U);
    EXPECT_FLOAT_EQ(engine_.tempoRatio(), 2.0F);
}

TEST_F(EngineTest, PlayAdvancesAndPauseHoldsThePosition) {
    ASSERT_TRUE(engine_.initialize());
    ASSERT_TRUE(engine_.open(sineFile("play.wav", 8.0)));
    engine_.setTempo(100.0F);  // two seconds of file per second of playing
    engine_.play();
    EXPECT_TRUE(engine_.isPlaying());
    ASSERT_TRUE(waitFor([&] { return engine_.currentpos() >= 2; }))
        << "position stuck at " << engine_.currentpos();
    engine_.pause();
    EXPECT_FALSE(engine_.isPlaying());
    const std::uint32_t held = engine_.currentpos();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(engine_.currentpos(), held);
    engine_.play();
    EXPECT_TRUE(engine_.isPlaying());
    EXPECT_TRUE(engine_.spectrumData(100, 127).has_value());
    const auto traces = engine_.waveData(100, 127);
    EXPECT_EQ(traces.size(), 2U);
}

TEST_F(EngineTest, ASecondOpenStopsTheFirstAtOnceEvenWhenItFails) {
    ASSERT_TRUE(engine_.initialize());
    const std::string first = sineFile("first.wav", 5.0);
    ASSERT_TRUE(engine_.open(first));
    engine_.play();
    const DWORD firstHandle = engine_.musicChannel();
    ASSERT_EQ(BASS_ChannelIsActive(firstHandle), BASS_ACTIVE_PLAYING);

    const std::string missing = dir_.file("no such file.mp3");
    EXPECT_FALSE(engine_.open(missing));
    EXPECT_EQ(BASS_ChannelIsActive(firstHandle), BASS_ACTIVE_STOPPED);
    EXPECT_FALSE(engine_.musicAvailable());
    EXPECT_FALSE(engine_.isPlaying());
    EXPECT_EQ(engine_.musicFile(), first);  // only a successful open replaces it
    EXPECT_TRUE(logHas("SoundEngine: failed to load file: " + missing));

    ASSERT_TRUE(engine_.open(first));
    EXPECT_NE(engine_.musicChannel(), firstHandle);  // handles are never reused
}

TEST_F(EngineTest, BadFilesFailWithTheLogLine) {
    ASSERT_TRUE(engine_.initialize());
    const std::string text = dir_.file("notes.mp3");
    {
        std::FILE* f = std::fopen(text.c_str(), "w");
        ASSERT_NE(f, nullptr);
        std::fputs("these are not the notes you are looking for\n", f);
        std::fclose(f);
    }
    for (const std::string& path : {text, dir_.path(), dir_.file("missing.wav")}) {
        const OpenResult result = engine_.open(path);
        EXPECT_FALSE(result) << path;
        EXPECT_TRUE(logHas("SoundEngine: failed to load file: " + path)) << path;
        // The code of the call that failed, in the result and the log alike.
        EXPECT_NE(result.errorCode, 0) << path;
        EXPECT_TRUE(logHas("SoundEngine.open: ERROR CODE: " + std::to_string(result.errorCode)))
            << path;
        EXPECT_FALSE(engine_.musicAvailable());
    }
}

TEST_F(EngineTest, SamplesLoadOnceAndPlayOnTheirOwnChannel) {
    ASSERT_TRUE(engine_.initialize());
    const std::string missing = dir_.file("nowhere/click.wav");
    const std::size_t before = logLines().size();
    EXPECT_EQ(engine_.loadSample(missing), 0U);
    const auto lines = logLines();
    ASSERT_EQ(lines.size(), before + 1);  // exactly one line
    EXPECT_EQ(lines.back().rfind("SoundEngine.loadSample: ERROR CODE: ", 0), 0U);
    EXPECT_NE(lines.back().find("failed to load file: " + missing), std::string::npos);

    engine_.playSample(0);
    EXPECT_EQ(logLines().back().rfind("SoundEngine.playSound ERROR CODE: ", 0), 0U);

    const std::string click = sineFile("click.wav", 0.05, 44100, 1, 1000.0);
    const std::uint32_t channel = engine_.loadSample(click);
    ASSERT_NE(channel, 0U);
    EXPECT_TRUE(logHas("SoundEngine.loadSample: channel: " + std::to_string(channel) +
                       " loaded file: " + click));
    engine_.setSampleVolume(channel, 95.0F);
    float level = 0.0F;
    ASSERT_TRUE(BASS_ChannelGetAttribute(channel, BASS_ATTRIB_VOL, &level));
    EXPECT_FLOAT_EQ(level, 0.95F);

    const std::size_t linesBeforePlay = logLines().size();
    engine_.playSample(channel);
    EXPECT_EQ(BASS_ChannelIsActive(channel), BASS_ACTIVE_PLAYING);
    EXPECT_EQ(logLines().size(), linesBeforePlay);  // success writes to the console only
}

// A machine without a sound card: the start goes on, and every open then fails.
TEST(SoundEngineWithoutDevice, InitializeFailsAndOpensFailCleanly) {
    EXPECT_EXIT(
        {
            ::setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
            testsupport::TempDir dir;
            Logger::sharedSingleton().open(dir.file("log.txt"));
            SoundEngine engine;
            const bool initialized = engine.initialize();
            const std::string wav = dir.file("x.wav");
            testsupport::writeAudioFile(wav, testsupport::sine(440, 0.5, 44100, 1, 0.5F), 44100, 1);
            const bool opened = engine.open(wav);
            engine.play();
            const std::string log = testsupport::readFile(dir.file("log.txt"));
            const bool logged =
                log.find("SoundEngine: cannot initialize sound library / device: ") !=
                std::string::npos;
            std::exit(!initialized && !opened && logged && engine.bassDevice() == 0 ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
