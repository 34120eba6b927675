// What a decoding tempo stream renders with either stretch engine: pitch, length and level of the
// output, for the settings the player and the export use.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>

#include "AudiolibTestSupport.h"
#include "audiolib/AudioDecoder.h"
#include "audiolib/playback/Mixer.h"

namespace {

using audiolibtest::makeTempoStream;
using audiolibtest::pullAll;
using testsupport::channelOf;
using testsupport::dominantFrequency;

class TempoRenderTest : public audiolibtest::NoSoundTest,
                        public ::testing::WithParamInterface<DWORD> {
  protected:
    void SetUp() override {
        NoSoundTest::SetUp();
        path_ =
            writeFixture("sine440.wav", testsupport::sine(440.0, 4.0, 44100, 2, 0.5F), 44100, 2);
    }

    std::vector<float> render(DWORD attribute, float value) {
        const HSTREAM tempo = makeTempoStream(path_, BASS_SAMPLE_FLOAT, flags());
        EXPECT_NE(tempo, 0U) << BASS_ErrorGetCode();
        EXPECT_TRUE(BASS_ChannelSetAttribute(tempo, attribute, value));
        auto frames = pullAll(tempo);
        EXPECT_TRUE(BASS_StreamFree(tempo));
        return frames;
    }

    DWORD flags() const { return BASS_STREAM_DECODE | GetParam(); }

    std::string path_;
};

// The length is exact (the source's divided by the ratio, to a frame) and the last frames are
// the music's tail: no silence is padded on where the engine's delay was not compensated.
void expectExactLengthAndLiveTail(const std::vector<float>& out, double expectedFrames) {
    EXPECT_NEAR(out.size() / 2.0, expectedFrames, 1.0);
    const std::size_t tail = 2 * 220;  // 5 ms
    ASSERT_GT(out.size(), tail);
    const std::vector<float> last(out.end() - static_cast<std::ptrdiff_t>(tail), out.end());
    // A whole 0.5 sine reads 0.354; an engine may let the hard end decay over its window.
    EXPECT_GT(testsupport::rms(last), 0.1);
    for (float v : out)
        ASSERT_TRUE(std::isfinite(v));
}

TEST_P(TempoRenderTest, NeutralSettingsKeepLengthAndFrequency) {
    const auto out = render(BASS_ATTRIB_TEMPO, 0.0F);
    expectExactLengthAndLiveTail(out, 4.0 * 44100);
    EXPECT_NEAR(dominantFrequency(channelOf(out, 2, 0), 44100), 440.0, 440.0 * 0.005);
}

TEST_P(TempoRenderTest, PitchTwoSemitonesUpKeepsLength) {
    const auto out = render(BASS_ATTRIB_TEMPO_PITCH, 2.0F);
    const double expected = 440.0 * std::pow(2.0, 2.0 / 12.0);  // 493.88 Hz
    EXPECT_NEAR(dominantFrequency(channelOf(out, 2, 0), 44100), expected, expected * 0.005);
    expectExactLengthAndLiveTail(out, 4.0 * 44100);
}

TEST_P(TempoRenderTest, SlowerTempoLengthensWithoutChangingPitch) {
    const auto out = render(BASS_ATTRIB_TEMPO, -25.0F);
    expectExactLengthAndLiveTail(out, 4.0 * 44100 * 4.0 / 3.0);
    EXPECT_NEAR(dominantFrequency(channelOf(out, 2, 1), 44100), 440.0, 440.0 * 0.005);
}

TEST_P(TempoRenderTest, FasterTempoShortens) {
    const auto out = render(BASS_ATTRIB_TEMPO, 100.0F);
    expectExactLengthAndLiveTail(out, 2.0 * 44100);
}

TEST_P(TempoRenderTest, HigherRateRaisesPitchAndShortens) {
    const auto out = render(BASS_ATTRIB_FREQ, 48000.0F);
    const double factor = 48000.0 / 44100.0;
    EXPECT_NEAR(dominantFrequency(channelOf(out, 2, 0), 44100), 440.0 * factor,
                440.0 * factor * 0.005);
    expectExactLengthAndLiveTail(out, 4.0 * 44100 / factor);
}

TEST_P(TempoRenderTest, GainEffectScalesAmplitude) {
    const HSTREAM tempo = makeTempoStream(path_, BASS_SAMPLE_FLOAT, flags());
    ASSERT_NE(tempo, 0U);
    const HFX fx = BASS_ChannelSetFX(tempo, BASS_FX_BFX_VOLUME, 1);
    ASSERT_NE(fx, 0U);
    const BASS_BFX_VOLUME params{BASS_BFX_CHANALL, 2.0F};
    ASSERT_TRUE(BASS_FXSetParameters(fx, &params));
    const auto out = pullAll(tempo);
    // A 0.5 sine doubled: RMS 0.707 (skip the edges, where an engine may fade in and out).
    const std::vector<float> middle(out.begin() + 44100, out.end() - 44100);
    EXPECT_NEAR(testsupport::rms(middle), 1.0 / std::sqrt(2.0), 0.02);
}

TEST_P(TempoRenderTest, GainOnOneChannelLeavesTheOther) {
    const HSTREAM tempo = makeTempoStream(path_, BASS_SAMPLE_FLOAT, flags());
    const HFX fx = BASS_ChannelSetFX(tempo, BASS_FX_BFX_VOLUME, 1);
    const BASS_BFX_VOLUME params{2, 0.0F};  // mute the second (right) channel
    ASSERT_TRUE(BASS_FXSetParameters(fx, &params));
    const auto out = pullAll(tempo);
    EXPECT_GT(testsupport::rms(channelOf(out, 2, 0)), 0.3);
    EXPECT_EQ(testsupport::peak(channelOf(out, 2, 1)), 0.0);
}

// The doubled gain must not clip: a 0.9 sine doubled is limited to full scale, and one that stays
// below full scale when doubled comes out exactly doubled, sample for sample.
TEST_P(TempoRenderTest, LimiterHoldsFullScaleAndLeavesQuieterMusicExact) {
    auto pull = [&](float amplitude, float gain) {
        const std::string path =
            writeFixture("sine" + std::to_string(amplitude) + ".wav",
                         testsupport::sine(440.0, 2.0, 44100, 2, amplitude), 44100, 2);
        const HSTREAM tempo = makeTempoStream(path, BASS_SAMPLE_FLOAT, flags());
        EXPECT_TRUE(BASS_ChannelSetAttribute(tempo, BASS_ATTRIB_TEMPO, -25.0F));
        const BASS_BFX_VOLUME params{BASS_BFX_CHANALL, gain};
        EXPECT_TRUE(BASS_FXSetParameters(BASS_ChannelSetFX(tempo, BASS_FX_BFX_VOLUME, 1), &params));
        auto out = pullAll(tempo);
        BASS_StreamFree(tempo);
        return out;
    };
    const auto loud = pull(0.9F, 2.0F);
    EXPECT_LE(testsupport::peak(loud), 1.0);
    const std::vector<float> middle(loud.begin() + 44100, loud.end() - 44100);
    EXPECT_NEAR(testsupport::rms(middle), 1.0 / std::sqrt(2.0), 0.03);  // a full-scale sine

    const auto plain = pull(0.4F, 1.0F);
    const auto doubled = pull(0.4F, 2.0F);
    ASSERT_EQ(plain.size(), doubled.size());
    for (std::size_t i = 0; i < plain.size(); ++i)
        ASSERT_EQ(doubled[i], plain[i] * 2.0F) << i;
}

// A damaged float WAV: a sine with a NaN, an infinity and a huge value in its samples. A single
// such value, passed to the stretcher, spread to hundreds of output samples and reached the
// device through std::clamp.
TEST_P(TempoRenderTest, NonFiniteSamplesOfADamagedFloatFileBecomeSilence) {
    const std::string path = dir_.file("damaged.wav");
    ASSERT_TRUE(testsupport::writeWav(path, testsupport::sine(440.0, 2.0, 44100, 2), 44100, 2,
                                      testsupport::WavSampleFormat::Float32));
    std::string bytes;
    {
        std::ifstream in(path, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), {});
    }
    const auto data = bytes.find("data");
    ASSERT_NE(data, std::string::npos);
    const float bad[] = {std::numeric_limits<float>::quiet_NaN(),
                         std::numeric_limits<float>::infinity(), 3.0e38F};
    for (int k = 0; k < 3; ++k) {
        std::memcpy(&bytes[data + 8 + (20000 + 30000 * k) * 4], &bad[k], 4);
    }
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;

    const auto allFinite = [](const std::vector<float>& samples) {
        return std::all_of(samples.begin(), samples.end(),
                           [](float x) { return std::isfinite(x) && std::fabs(x) <= 1000.0F; });
    };
    std::vector<float> decoded;
    ASSERT_TRUE(testsupport::decodeFile(path, &decoded));
    EXPECT_EQ(decoded.size(), 2u * 88200);
    EXPECT_TRUE(allFinite(decoded));

    const HSTREAM tempo = makeTempoStream(path, BASS_SAMPLE_FLOAT, flags());
    ASSERT_NE(tempo, 0U);
    ASSERT_TRUE(BASS_ChannelSetAttribute(tempo, BASS_ATTRIB_TEMPO, -25.0F));
    const auto stretched = pullAll(tempo);
    EXPECT_GT(stretched.size(), 2u * 88200);
    EXPECT_TRUE(allFinite(stretched));
    EXPECT_TRUE(BASS_StreamFree(tempo));
}

// An A-B loop runs from B back to A inside the stream: at several tempos the output stays as
// smooth as the signal itself and never drops out, the position stays inside the loop, and a
// speed trainer moves the tempo one step per pass until its target.
TEST_P(TempoRenderTest, LoopSeamIsContinuousAndTrainerStepsPerPass) {
    // A quarter period more than whole periods, so the seam joins two different phases.
    const double start = 1.0;
    const double end = start + (300.0 + 0.25) / 440.0;
    for (const float tempo : {0.0F, -30.0F, 25.0F}) {
        const HSTREAM stream = makeTempoStream(path_, BASS_SAMPLE_FLOAT, flags());
        ASSERT_NE(stream, 0U);
        ASSERT_TRUE(BASS_ChannelSetAttribute(stream, BASS_ATTRIB_TEMPO, tempo));
        ASSERT_TRUE(BASS_ChannelSetPosition(stream, BASS_ChannelSeconds2Bytes(stream, start),
                                            BASS_POS_BYTE));
        ASSERT_TRUE(TONVERA_ChannelSetLoop(stream, start, end));
        // Three and a half passes at this tempo.
        const auto frames =
            static_cast<std::size_t>(3.5 * (end - start) * 44100 / (1.0 + tempo / 100.0));
        std::vector<float> out(frames * 2);
        const DWORD bytes = static_cast<DWORD>(out.size() * sizeof(float));
        ASSERT_EQ(BASS_ChannelGetData(stream, out.data(), bytes | BASS_DATA_FLOAT), bytes);
        const std::vector<float> settled(out.begin() + 2 * 4410, out.end());
        // The sine's own largest step is 0.031; a click would be many times that. The seam
        // joins phases a quarter period apart, so the level may dip there, but never to a gap.
        EXPECT_LT(audiolibtest::largestStep(settled, 2, 0), 0.045F) << "tempo " << tempo;
        for (std::size_t at = 0; at + 2 * 220 <= settled.size(); at += 2 * 220) {
            const std::vector<float> window(
                settled.begin() + static_cast<std::ptrdiff_t>(at),
                settled.begin() + static_cast<std::ptrdiff_t>(at + 2 * 220));
            ASSERT_GT(testsupport::rms(window), 0.1) << "tempo " << tempo << " at " << at / 2;
        }
        EXPECT_EQ(TONVERA_ChannelGetLoopPasses(stream), 3U) << "tempo " << tempo;
        const double position =
            BASS_ChannelBytes2Seconds(stream, BASS_ChannelGetPosition(stream, BASS_POS_BYTE));
        EXPECT_GE(position, start - 0.001);
        EXPECT_LT(position, end);
        EXPECT_TRUE(BASS_StreamFree(stream));
    }

    const HSTREAM stream = makeTempoStream(path_, BASS_SAMPLE_FLOAT, flags());
    ASSERT_NE(stream, 0U);
    ASSERT_TRUE(BASS_ChannelSetAttribute(stream, BASS_ATTRIB_TEMPO, -30.0F));
    ASSERT_TRUE(TONVERA_ChannelSetLoop(stream, 0.0, 0.5));
    ASSERT_TRUE(TONVERA_ChannelSetTrainer(stream, 0.0F, 10.0F, 2));
    std::vector<float> block(2 * 1024);
    float tempo = 0.0F;
    std::vector<float> seen;
    while (TONVERA_ChannelGetLoopPasses(stream) < 9) {
        ASSERT_GT(
            BASS_ChannelGetData(stream, block.data(),
                                static_cast<DWORD>(block.size() * sizeof(float)) | BASS_DATA_FLOAT),
            0U);
        ASSERT_TRUE(BASS_ChannelGetAttribute(stream, BASS_ATTRIB_TEMPO, &tempo));
        if (seen.empty() || seen.back() != tempo)
            seen.push_back(tempo);
    }
    EXPECT_EQ(seen, (std::vector<float>{-30.0F, -20.0F, -10.0F, 0.0F}));
    EXPECT_TRUE(BASS_StreamFree(stream));
}

// A count-in between passes: the music fades out at the seam, the clicks sound on their beats
// over silence while the position holds at the loop start, and the next pass fades in on the
// beat after them.
TEST_P(TempoRenderTest, ACountInBetweenPassesSitsOnItsBeatsWithoutAClick) {
    const std::string clickPath =
        writeFixture("click.wav", std::vector<float>(441, 0.5F), 44100, 1);
    const HSAMPLE sample =
        BASS_SampleLoad(FALSE, clickPath.c_str(), 0, 0, 1, BASS_SAMPLE_FLOAT | BASS_SAMPLE_MONO);
    ASSERT_NE(sample, 0U) << BASS_ErrorGetCode();
    const HCHANNEL click = BASS_SampleGetChannel(sample, BASS_SAMCHAN_NEW);
    ASSERT_NE(click, 0U);
    constexpr std::size_t kBeat = 4410;  // 0.1 s
    const auto makeLoop = [&] {
        const HSTREAM stream = makeTempoStream(path_, BASS_SAMPLE_FLOAT, flags());
        EXPECT_TRUE(
            BASS_ChannelSetPosition(stream, BASS_ChannelSeconds2Bytes(stream, 1.0), BASS_POS_BYTE));
        EXPECT_TRUE(TONVERA_ChannelSetLoop(stream, 1.0, 1.5));
        EXPECT_TRUE(TONVERA_ChannelSetLoopCountIn(stream, click, 2, 0.1, 2, FALSE));
        return stream;
    };
    const auto pull = [](HSTREAM stream, std::size_t frames) {
        std::vector<float> out(2 * frames);
        const DWORD bytes = static_cast<DWORD>(out.size() * sizeof(float));
        EXPECT_EQ(BASS_ChannelGetData(stream, out.data(), bytes | BASS_DATA_FLOAT), bytes);
        return out;
    };
    const HSTREAM stream = makeLoop();
    const std::vector<float> out = pull(stream, 2 * 22050 + 3 * kBeat);
    EXPECT_EQ(TONVERA_ChannelGetLoopPasses(stream), 2U);
    EXPECT_TRUE(BASS_StreamFree(stream));

    // The gap: the silence between the two clicks finds it.
    const std::size_t frames = out.size() / 2;
    std::size_t zeros = 0, gap = 0;
    for (std::size_t f = 0; f < frames && gap == 0; ++f) {
        zeros = (out[2 * f] == 0.0F && out[2 * f + 1] == 0.0F) ? zeros + 1 : 0;
        if (zeros == kBeat - 441)
            gap = f + 1 - zeros - 441;
    }
    ASSERT_GT(gap, 20000U) << "no count-in after the first pass";
    EXPECT_NEAR(static_cast<double>(gap), 22050.0, 2.0) << "the first pass ends on the seam";
    for (const std::size_t beat : {gap, gap + kBeat}) {
        EXPECT_FLOAT_EQ(out[2 * beat], 0.5F);
        EXPECT_FLOAT_EQ(out[2 * (beat + 440) + 1], 0.5F);
        EXPECT_EQ(out[2 * (beat + 441)], 0.0F);
    }
    // The music comes back on the third beat, fading in from nothing.
    const std::size_t back = gap + 2 * kBeat;
    EXPECT_EQ(out[2 * (back - 1)], 0.0F);
    // The second pass, up to the next count-in.
    const std::vector<float> music(out.begin() + static_cast<std::ptrdiff_t>(2 * back),
                                   out.begin() + static_cast<std::ptrdiff_t>(2 * (back + 22000)));
    const std::vector<float> before(out.begin() + 2 * 4410,
                                    out.begin() + static_cast<std::ptrdiff_t>(2 * gap));
    EXPECT_LT(audiolibtest::largestStep(before, 2, 0), 0.045F);
    EXPECT_LT(audiolibtest::largestStep(music, 2, 0), 0.045F);
    EXPECT_GT(
        testsupport::rms(std::vector<float>(music.begin() + 2 * 441, music.begin() + 2 * 882)),
        0.1);

    // Meanwhile the position holds at the loop's start.
    const HSTREAM again = makeLoop();
    pull(again, gap + kBeat);
    EXPECT_NEAR(BASS_ChannelBytes2Seconds(again, BASS_ChannelGetPosition(again, BASS_POS_BYTE)),
                1.0, 0.001);
    EXPECT_TRUE(BASS_StreamFree(again));
    EXPECT_TRUE(BASS_SampleFree(sample));
}

INSTANTIATE_TEST_SUITE_P(Engines, TempoRenderTest,
                         ::testing::Values(DWORD{0}, TONVERA_FX_TEMPO_LIGHT),
                         [](const auto& info) { return info.param == 0 ? "Best" : "Light"; });

// The last stage before the device: whatever a voice adds, NaN included, leaves as full scale
// at most, and NaN as silence.
// The centre cancel delays what the stretcher puts out; the stream must make up for it, so the
// length stays exact and a hard-panned sound ends on its last frame instead of in silence.
TEST_P(TempoRenderTest, CentreCancelKeepsTheLengthAndTakesOutOnlyTheCentre) {
    std::vector<float> panned = testsupport::sine(440.0, 4.0, 44100, 2, 0.5F);
    for (std::size_t i = 1; i < panned.size(); i += 2)
        panned[i] = 0.0F;
    const std::string pannedPath = writeFixture("panned440.wav", panned, 44100, 2);
    TONVERA_HEARING hearing{};
    hearing.centreCancel = TRUE;
    auto renderCancelled = [&](const std::string& path) {
        const HSTREAM tempo = makeTempoStream(path, BASS_SAMPLE_FLOAT, flags());
        EXPECT_TRUE(BASS_ChannelSetAttribute(tempo, BASS_ATTRIB_TEMPO, -20.0F));
        EXPECT_TRUE(TONVERA_ChannelSetHearing(tempo, &hearing));
        auto frames = pullAll(tempo);
        EXPECT_TRUE(BASS_StreamFree(tempo));
        return frames;
    };
    const auto centred = renderCancelled(path_);
    EXPECT_NEAR(centred.size() / 2.0, 5.0 * 44100, 1.0);
    const std::vector<float> middle(centred.begin() + 2 * 44100, centred.end() - 2 * 44100);
    EXPECT_LT(testsupport::rms(middle), 0.354 * 0.1);  // at least 20 dB down

    const auto side = renderCancelled(pannedPath);
    expectExactLengthAndLiveTail(side, 5.0 * 44100);
    const auto left = channelOf(side, 2, 0);
    const std::vector<float> leftMiddle(left.begin() + 44100, left.end() - 44100);
    EXPECT_NEAR(20.0 * std::log10(testsupport::rms(leftMiddle) / 0.354), 0.0, 1.0);
    // Frame for frame what plays without it: the delay is made up for from the first frame.
    const HSTREAM plain = makeTempoStream(pannedPath, BASS_SAMPLE_FLOAT, flags());
    EXPECT_TRUE(BASS_ChannelSetAttribute(plain, BASS_ATTRIB_TEMPO, -20.0F));
    const auto reference = pullAll(plain);
    BASS_StreamFree(plain);
    ASSERT_EQ(reference.size(), side.size());
    float worst = 0.0F;
    for (std::size_t i = 0; i < side.size(); ++i)
        worst = std::max(worst, std::fabs(side[i] - reference[i]));
    EXPECT_LT(worst, 1e-3F);

    hearing.channels = 9;
    const HSTREAM tempo = makeTempoStream(path_, BASS_SAMPLE_FLOAT, flags());
    EXPECT_FALSE(TONVERA_ChannelSetHearing(tempo, &hearing));
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ILLPARAM);
    BASS_StreamFree(tempo);
}

TEST(MixerOutput, NaNBecomesSilenceAndEverythingElseStaysWithinFullScale) {
    struct Damaged : audiolib::Voice {
        bool mixInto(float* stereo, int frames) override {
            const float values[] = {std::numeric_limits<float>::quiet_NaN(),
                                    std::numeric_limits<float>::infinity(), -5.0F, 0.25F};
            for (int i = 0; i < 2 * frames; ++i)
                stereo[i] += values[i % 4];
            return true;
        }
    } voice;
    audiolib::Mixer mixer(44100);
    ASSERT_TRUE(mixer.add(&voice));
    std::vector<float> out(2 * 64, 7.0F);
    mixer.process(out.data(), 64);
    ASSERT_TRUE(mixer.remove(&voice));
    for (std::size_t i = 0; i < out.size(); i += 4) {
        EXPECT_EQ(out[i], 0.0F);
        EXPECT_EQ(out[i + 1], 1.0F);
        EXPECT_EQ(out[i + 2], -1.0F);
        EXPECT_EQ(out[i + 3], 0.25F);
    }
}

}  // namespace
