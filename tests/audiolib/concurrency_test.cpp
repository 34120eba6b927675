// API calls racing each other from several threads while streams play: nothing may crash,
// deadlock or leave a freed stream sounding. Bounded by iterations, not by time.
#include <atomic>
#include <thread>
#include <vector>

#include "AudiolibTestSupport.h"
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

}  // namespace
