// API calls racing each other from several threads while streams play: nothing may crash,
// deadlock or leave a freed stream sounding. Bounded by iterations, not by time.
#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

#include "AudiolibTestSupport.h"
#include "PipelineHarness.h"
#include "audiolib/core/SeqLock.h"
#include "audiolib/device/DeviceManager.h"

namespace {

class ConcurrencyTest : public audiolibtest::NoSoundTest {};

TEST_F(ConcurrencyTest, PlayControlAndFreeRaceWithQueries) {
    const std::string path =
        writeFixture("sine.wav", testsupport::sine(440.0, 2.0, 44100, 2, 0.5F), 44100, 2);
    std::atomic<DWORD> current{0};
    std::atomic<bool> done{false};

    // The position timer and the spectrum view: queries on whatever stream is current.
    std::thread reader([&] {
        std::vector<float> wave(400);
        float bins[1024];
        while (!done.load()) {
            const DWORD handle = current.load();
            BASS_ChannelGetPosition(handle, BASS_POS_BYTE);
            BASS_ChannelIsActive(handle);
            BASS_FX_TempoGetRateRatio(handle);
            BASS_ChannelGetData(handle, bins, BASS_DATA_FFT2048);
            BASS_ChannelGetData(handle, wave.data(), 1600 | BASS_DATA_FLOAT);
        }
    });
    // The sliders and the transport.
    std::thread controller([&] {
        int step = 0;
        while (!done.load()) {
            const DWORD handle = current.load();
            BASS_ChannelSetAttribute(handle, BASS_ATTRIB_TEMPO, static_cast<float>(step % 60 - 30));
            BASS_ChannelSetAttribute(handle, BASS_ATTRIB_TEMPO_PITCH, static_cast<float>(step % 7));
            if (step % 5 == 0)
                BASS_ChannelSetPosition(handle, 4 * 8 * (step % 1000), 0);
            if (step % 7 == 0)
                BASS_ChannelPause(handle);
            if (step % 11 == 0)
                BASS_ChannelPlay(handle, FALSE);
            ++step;
            std::this_thread::yield();
        }
    });

    // Opening one file after another, as the player does.
    std::vector<DWORD> freed;
    for (int i = 0; i < 60; ++i) {
        const HSTREAM music =
            audiolibtest::makeTempoStream(path, BASS_SAMPLE_FLOAT, BASS_SAMPLE_LOOP);
        ASSERT_NE(music, 0U) << BASS_ErrorGetCode();
        current.store(music);
        ASSERT_TRUE(BASS_ChannelPlay(music, FALSE));
        std::this_thread::sleep_for(std::chrono::milliseconds(3));
        ASSERT_TRUE(BASS_StreamFree(music));
        freed.push_back(music);
    }
    done.store(true);
    reader.join();
    controller.join();

    for (const DWORD handle : freed) {
        EXPECT_EQ(BASS_ChannelIsActive(handle), BASS_ACTIVE_STOPPED);
        EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
    }
    // Nothing freed is left in the mixer, and the device can be freed and opened again.
    EXPECT_EQ(audiolib::DeviceManager::instance().current()->mixer().voiceCount(), 0);
    ASSERT_TRUE(BASS_Free());
    ASSERT_TRUE(BASS_Init(0, 44100, 0, nullptr, nullptr));
}

// Two threads playing the same stream at once must not put its voice into two slots (it would
// be heard twice, 6 dB too loud).
TEST(MixerRaceTest, TheSameVoiceAddedFromTwoThreadsAtOnceTakesOneSlot) {
    struct Silent : audiolib::Voice {
        bool mixInto(float*, int) override { return false; }
    } voice;
    audiolib::Mixer mixer(44100);
    for (int round = 0; round < 300; ++round) {
        std::atomic<int> ready{0};
        auto adder = [&] {
            ready.fetch_add(1);
            while (ready.load() < 2)
                std::this_thread::yield();
            mixer.add(&voice);
        };
        std::thread first(adder);
        std::thread second(adder);
        first.join();
        second.join();
        ASSERT_EQ(mixer.voiceCount(), 1) << "round " << round;
        ASSERT_TRUE(mixer.remove(&voice));
    }
}

// Seeks landing at any moment of a callback, with the feeder rendering at the same time: once the
// seeking stops, playback goes on. A callback that dropped the feeder's new blocks without
// counting them used to leave the feeder believing the ring was full, silent until the next seek.
TEST(SeekRaceTest, PlaybackGoesOnAfterSeeksRacingTheCallback) {
    testsupport::TempDir dir;
    const std::string path = dir.file("sine.wav");
    ASSERT_TRUE(
        testsupport::writeAudioFile(path, testsupport::sine(440.0, 4.0, 44100, 2, 0.5F), 44100, 2));
    audiolibtest::PipelineHarness harness(path, true, BASS_SAMPLE_LOOP);
    ASSERT_TRUE(harness.ok());
    harness.playback().play();
    std::atomic<bool> stop{false};
    std::atomic<std::uint64_t> loudFrames{0};
    std::thread feeder([&] {
        while (!stop.load())
            if (!harness.playback().topUp())
                std::this_thread::yield();
    });
    std::thread callback([&] {
        std::vector<float> out(audiolibtest::PipelineHarness::kCallbackFrames * 2);
        while (!stop.load()) {
            harness.mixer().process(out.data(), audiolibtest::PipelineHarness::kCallbackFrames);
            for (std::size_t i = 0; i < out.size(); i += 2)
                if (std::fabs(out[i]) > 0.1F)
                    loudFrames.fetch_add(1);
        }
    });
    for (int i = 0; i < 3000; ++i) {
        harness.playback().requestSeek(static_cast<double>((i * 7919) % 150000));
        if (i % 4 == 0)
            std::this_thread::yield();
    }
    // Sound must come back within a bounded number of callbacks after the last seek.
    const std::uint64_t before = loudFrames.load();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (loudFrames.load() < before + 44100 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    stop.store(true);
    feeder.join();
    callback.join();
    EXPECT_GE(loudFrames.load(), before + 44100);
}

// A reader copying while the writer writes never keeps a half-written value: every field of a
// value it accepts comes from one write, and values only move forward. Five 32-bit fields do
// not fill their last 64-bit word, where a miscounted copy would lose or tear the tail.
TEST(SeqLockRaceTest, ReadersNeverKeepAHalfWrittenValue) {
    struct Fields {
        std::uint32_t values[5];
    };
    audiolib::SeqLock<Fields> lock;
    constexpr std::uint32_t kWrites = 100000;
    std::atomic<bool> written{false};
    std::thread writer([&] {
        for (std::uint32_t i = 1; i <= kWrites; ++i)
            lock.write(Fields{{i, i, i, i, i}});
        written.store(true);
    });
    std::uint32_t last = 0;
    std::uint64_t accepted = 0;
    while (!written.load()) {
        Fields seen{};
        if (!lock.tryRead(&seen))
            continue;
        ++accepted;
        for (const std::uint32_t value : seen.values)
            ASSERT_EQ(value, seen.values[0]) << "torn after " << accepted << " reads";
        ASSERT_GE(seen.values[0], last);
        last = seen.values[0];
    }
    writer.join();
    const Fields final = lock.read();
    for (const std::uint32_t value : final.values)
        EXPECT_EQ(value, kWrites);
}

}  // namespace
