// Files the player may be handed by a user or a drag and drop: missing, not audio, damaged, cut
// short, locked, or named with characters that trip up naive path handling. Each either fails
// to open with a readable reason or plays what is there; none crashes or hangs.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "audiolib/AudioDecoder.h"
#include "audiolib/ffmpeg/FfmpegInput.h"
#include "support/AudioFixtures.h"
#include "support/TempHome.h"

namespace {

using audiolib::AudioDecoder;
namespace fs = std::filesystem;

void writeBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

void expectRefused(const std::string& path, const char* what) {
    std::string error;
    auto decoder = AudioDecoder::open(path, &error);
    EXPECT_EQ(decoder, nullptr) << what;
    EXPECT_FALSE(error.empty()) << what << ": a refusal must say why";
}

// Reads the whole file through the decoder; checks the decoder's own bookkeeping on the way.
std::vector<float> readAll(AudioDecoder& decoder) {
    const auto ch = static_cast<std::size_t>(decoder.channels());
    std::vector<float> all;
    std::vector<float> block(1000 * ch);
    for (int guard = 0; guard < 1000000; ++guard) {
        const std::size_t n = decoder.read(block.data(), 1000);
        if (n == 0) {
            break;
        }
        all.insert(all.end(), block.begin(), block.begin() + static_cast<std::ptrdiff_t>(n * ch));
    }
    return all;
}

// A damaged file must still honour the decoder's contracts: the length is what read gives, and
// a seek lands where a straight read would be.
void expectConsistent(const std::string& path) {
    std::string error;
    auto decoder = AudioDecoder::open(path, &error);
    ASSERT_TRUE(decoder) << error;
    const std::uint64_t length = decoder->lengthFrames();
    const auto all = readAll(*decoder);
    const auto ch = static_cast<std::size_t>(decoder->channels());
    ASSERT_EQ(all.size(), length * ch);
    for (std::uint64_t target : {length / 2, length / 5, length - 10}) {
        ASSERT_TRUE(decoder->seek(target));
        std::vector<float> got(10 * ch);
        ASSERT_EQ(decoder->read(got.data(), 10), 10u);
        for (std::size_t i = 0; i < got.size(); ++i) {
            ASSERT_NEAR(got[i], all[target * ch + i], 1e-4) << "target " << target;
        }
    }
}

class DecoderBadInput : public ::testing::Test {
  protected:
    testsupport::TempDir dir_;
};

TEST_F(DecoderBadInput, MissingFolderEmptyAndNonAudioFilesAreRefused) {
    expectRefused(dir_.file("does-not-exist.mp3"), "missing file");
    expectRefused(dir_.path(), "folder");
    writeBytes(dir_.file("empty.wav"), "");
    expectRefused(dir_.file("empty.wav"), "empty file");
    writeBytes(dir_.file("notes.mp3"),
               "These are my practice notes.\nBar 12: slow down.\nBar 30: watch the key change.\n");
    expectRefused(dir_.file("notes.mp3"), "text file named .mp3");
    std::string noise;
    for (int i = 0; i < 20000; ++i) {
        noise.push_back(static_cast<char>((i * 7919 + (i >> 3) * 104729) & 0xff));
    }
    writeBytes(dir_.file("noise.m4a"), noise);
    expectRefused(dir_.file("noise.m4a"), "noise named .m4a");
    expectRefused("", "empty path");
    const std::string real = dir_.file("real.wav");
    ASSERT_TRUE(testsupport::writeAudioFile(real, testsupport::sine(440, 0.2, 8000, 1), 8000, 1));
    expectRefused(real + std::string(1, '\0') + ".txt", "name with a NUL inside");
}

TEST_F(DecoderBadInput, FifoIsRefusedWithoutBlocking) {
    const std::string fifo = dir_.file("pipe.wav");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // Opening a FIFO for reading would wait for a writer forever.
    expectRefused(fifo, "FIFO");
}

TEST_F(DecoderBadInput, UnreadableFileIsRefused) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "root reads any file, so permissions cannot be tested";
    }
    const std::string path = dir_.file("locked.wav");
    ASSERT_TRUE(testsupport::writeAudioFile(path, testsupport::sine(440, 0.2, 8000, 1), 8000, 1));
    ASSERT_EQ(::chmod(path.c_str(), 0), 0);
    expectRefused(path, "unreadable file");
}

TEST_F(DecoderBadInput, WavHeaderWithoutSamplesIsRefused) {
    const std::string path = dir_.file("nothing.wav");
    ASSERT_TRUE(testsupport::writeAudioFile(path, {}, 44100, 2));
    expectRefused(path, "WAV with no samples");
}

TEST_F(DecoderBadInput, WavClaimingMoreDataThanItHoldsPlaysWhatIsThere) {
    const std::string path = dir_.file("cut.wav");
    const auto input = testsupport::sine(440, 2.0, 44100, 2);
    ASSERT_TRUE(testsupport::writeAudioFile(path, input, 44100, 2));
    const auto fullSize = fs::file_size(path);
    std::string head(256, '\0');
    std::ifstream(path, std::ios::binary).read(head.data(), 256);
    const auto dataChunk = head.find("data");
    ASSERT_NE(dataChunk, std::string::npos);
    // Cut in the middle of a frame, as a broken copy would.
    fs::resize_file(path, fullSize / 2 + 3);
    std::string error;
    auto decoder = AudioDecoder::open(path, &error);
    ASSERT_TRUE(decoder) << error;
    const std::uint64_t expected = (fullSize / 2 + 3 - (dataChunk + 8)) / 4;
    EXPECT_EQ(decoder->lengthFrames(), expected);
    const auto all = readAll(*decoder);
    EXPECT_EQ(all.size(), expected * 2);
    expectConsistent(path);
}

// A cut copy whose header still states the whole length (MP3's Xing header, FLAC's STREAMINFO)
// plays what is there. (Ogg is left out: FFmpeg's demuxer itself gives up on a cut Vorbis file
// long before its cut, decoding straight through included.)
TEST_F(DecoderBadInput, TruncatedMp3PlaysWhatIsThere) {
    for (const char* ext : {"mp3", "flac"}) {
        const std::string path = dir_.file(std::string("cut.") + ext);
        ASSERT_TRUE(
            testsupport::writeAudioFile(path, testsupport::sine(440, 4.0, 44100, 2), 44100, 2));
        fs::resize_file(path, fs::file_size(path) * 6 / 10 + 17);
        std::string error;
        auto decoder = AudioDecoder::open(path, &error);
        ASSERT_TRUE(decoder) << ext << ": " << error;
        // About 60 % of four seconds (less the headers' share of the bytes): the header's count
        // no longer holds and must not be used.
        const double seconds = static_cast<double>(decoder->lengthFrames()) / 44100.0;
        EXPECT_GT(seconds, 2.1) << ext;
        EXPECT_LT(seconds, 2.6) << ext;
        expectConsistent(path);
    }
}

TEST_F(DecoderBadInput, Mp3WithGarbageInTheMiddlePlaysOnAndStaysConsistent) {
    const std::string path = dir_.file("damaged.mp3");
    ASSERT_TRUE(testsupport::writeAudioFile(path, testsupport::sine(440, 4.0, 44100, 2), 44100, 2));
    {
        std::fstream file(path, std::ios::binary | std::ios::in | std::ios::out);
        file.seekp(static_cast<std::streamoff>(fs::file_size(path) / 2));
        std::string junk(3000, '\0');
        for (std::size_t i = 0; i < junk.size(); ++i) {
            junk[i] = static_cast<char>((i * 131 + 7) & 0xff);
        }
        file.write(junk.data(), static_cast<std::streamsize>(junk.size()));
    }
    std::string error;
    auto decoder = AudioDecoder::open(path, &error);
    ASSERT_TRUE(decoder) << error;
    // The damaged stretch (0.2 s of data, plus the frames that borrow bits from it) is skipped;
    // the music after it still plays.
    const double seconds = static_cast<double>(decoder->lengthFrames()) / 44100.0;
    EXPECT_GT(seconds, 3.4);
    EXPECT_LE(seconds, 4.0);
    expectConsistent(path);
}

// Playlist formats name other files to read; one that is named like music must not make the
// decoder open them (a concat list plays the file it names, an HLS list fetches its segments).
TEST_F(DecoderBadInput, PlaylistNamedLikeMusicDoesNotOpenWhatItNames) {
    ASSERT_TRUE(testsupport::writeAudioFile(dir_.file("private.wav"),
                                            testsupport::sine(440, 0.5, 8000, 1), 8000, 1));
    ASSERT_TRUE(testsupport::writeAudioFile(dir_.file("segment.aac"),
                                            testsupport::sine(440, 0.5, 44100, 2), 44100, 2));
    writeBytes(dir_.file("concat.mp3"), "ffconcat version 1.0\nfile private.wav\n");
    expectRefused(dir_.file("concat.mp3"), "concat list named .mp3");
    writeBytes(dir_.file("list.mp3"),
               "#EXTM3U\n#EXT-X-TARGETDURATION:1\n#EXTINF:0.5,\nsegment.aac\n#EXT-X-ENDLIST\n");
    expectRefused(dir_.file("list.mp3"), "HLS list named .mp3");
}

TEST_F(DecoderBadInput, RelativeNameThatLooksLikeAUrlIsAFile) {
    const std::string name = "http:localhost:1234/song.wav";
    ASSERT_TRUE(fs::create_directories(dir_.file("http:localhost:1234")));
    ASSERT_TRUE(testsupport::writeAudioFile(dir_.file(name), testsupport::sine(440, 0.3, 8000, 1),
                                            8000, 1));
    const fs::path previous = fs::current_path();
    fs::current_path(dir_.path());
    std::string error;
    auto decoder = AudioDecoder::open(name, &error);
    fs::current_path(previous);
    ASSERT_TRUE(decoder) << error;
    EXPECT_EQ(decoder->lengthFrames(), 2400u);
}

// A stream whose rate changes midway cannot be delivered at one rate: once the rate is known,
// frames at another rate end the stream instead of playing at the wrong speed.
TEST_F(DecoderBadInput, FramesAtAnotherRateEndTheStream) {
    const std::string path = dir_.file("tone.flac");
    ASSERT_TRUE(testsupport::writeAudioFile(path, testsupport::sine(440, 0.5, 44100, 1), 44100, 1));
    std::string error;
    auto input = audiolib::ffmpeg::FfmpegInput::open(path, &error);
    ASSERT_TRUE(input) << error;
    input->lockSampleRate(48000);
    EXPECT_EQ(input->nextFrame(), nullptr);

    auto unlocked = audiolib::ffmpeg::FfmpegInput::open(path, &error);
    ASSERT_TRUE(unlocked) << error;
    ASSERT_NE(unlocked->nextFrame(), nullptr);
    EXPECT_EQ(unlocked->sampleRate(), 44100);
}

TEST_F(DecoderBadInput, OddCharactersInNamesOpen) {
    const auto tone = testsupport::sine(440, 0.5, 22050, 1);
    const std::vector<std::string> names = {"with space.wav",
                                            "quote's \"double\".wav",
                                            "Étude für Cello – Satz 2.wav",
                                            "練習曲.mp3",
                                            "http:not-a-url.wav",
                                            "file:also-not.ogg",
                                            "percent %20 and ?query#frag.flac",
                                            "-starts-with-dash.wav"};
    for (const auto& name : names) {
        const std::string path = dir_.file(name);
        std::string error;
        ASSERT_TRUE(testsupport::writeAudioFile(path, tone, 22050, 1, &error)) << name << error;
        auto decoder = AudioDecoder::open(path, &error);
        ASSERT_TRUE(decoder) << name << ": " << error;
        EXPECT_EQ(decoder->sampleRate(), 22050) << name;
        EXPECT_GT(decoder->lengthFrames(), 10000u) << name;
    }
}

}  // namespace

// A file that decodes shorter than it measured at open (damaged so that a second decode differs,
// or cut short meanwhile): a seek within the reported length lands where the file still has
// audio and clamps to the end of what decodes beyond it, instead of failing.
TEST_F(DecoderBadInput, SeekWithinTheLengthLandsOrClampsWhenTheFileTurnsOutShorter) {
    const std::string path = dir_.file("shrinking.flac");
    ASSERT_TRUE(testsupport::writeAudioFile(path, testsupport::sine(440, 6.0, 44100, 2), 44100, 2));
    std::string error;
    auto decoder = AudioDecoder::open(path, &error);
    ASSERT_TRUE(decoder) << error;
    const std::uint64_t length = decoder->lengthFrames();
    const auto all = readAll(*decoder);
    fs::resize_file(path, fs::file_size(path) / 2);

    ASSERT_TRUE(decoder->seek(length / 5));
    std::vector<float> got(20);
    ASSERT_EQ(decoder->read(got.data(), 10), 10u);
    for (std::size_t i = 0; i < got.size(); ++i) {
        EXPECT_NEAR(got[i], all[length / 5 * 2 + i], 1e-4);
    }
    // Past what is left: either it lands, and the missing audio plays as silence of its length
    // (where timestamps say where the frames belong), or it clamps to the end of what decodes.
    EXPECT_TRUE(decoder->seek(length * 3 / 4));
    if (decoder->positionFrames() == length * 3 / 4) {
        ASSERT_EQ(decoder->read(got.data(), 10), 10u);
        for (std::size_t i = 0; i < got.size(); ++i)
            EXPECT_EQ(got[i], 0.0F) << i;
    } else {
        EXPECT_LT(decoder->positionFrames(), length * 3 / 4);
        EXPECT_GT(decoder->positionFrames(), length / 5);
        EXPECT_EQ(decoder->read(got.data(), 10), 0u);  // at the end of what decodes
    }
    EXPECT_TRUE(decoder->seek(0));
    EXPECT_EQ(decoder->read(got.data(), 10), 10u);
}
