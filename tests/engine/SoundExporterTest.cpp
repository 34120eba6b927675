// Exports checked the way a user would: decoded again, and through ffprobe, and the files a
// failure must never leave or touch.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <future>
#include <memory>
#include <sstream>
#include <thread>

#include "audiolib/audiolib.h"
#include "engine/export/CommandLineExport.h"
#include "engine/export/CommandLineProgress.h"
#include "engine/export/ExportProgress.h"
#include "engine/export/ExportType.h"
#include "engine/export/SoundExportProtocol.h"
#include "engine/export/SoundExporter.h"
#include "logging/Logger.h"
#include "support/AudioFixtures.h"
#include "support/TempHome.h"

namespace {

namespace fs = std::filesystem;

std::string run(const std::string& command) {
    std::string out;
    if (std::FILE* pipe = ::popen(command.c_str(), "r")) {
        std::array<char, 512> buffer{};
        while (std::fgets(buffer.data(), buffer.size(), pipe))
            out += buffer.data();
        ::pclose(pipe);
    }
    return out;
}

// "key=value" lines of one ffprobe entry list.
std::string probe(const std::string& path, const std::string& entries) {
    return run("ffprobe -v error -of default=noprint_wrappers=1 -show_entries " + entries + " '" +
               path + "'");
}

struct Progress : SoundExportProtocol {
    void exportLength(std::uint32_t n) override {
        ++lengths;
        length = n;
    }
    void exportUpdate(std::uint32_t n) override {
        if (lengths == 0)
            updatesBeforeLength = true;
        last = n;
        ++updates;
    }
    int lengths = 0;
    int updates = 0;
    bool updatesBeforeLength = false;
    std::uint32_t length = 0;
    std::uint32_t last = 0;
};

class SoundExporterTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(Logger::sharedSingleton().open(dir_.file("log.txt")));
        music_ = dir_.file("music.wav");
        std::string error;
        ASSERT_TRUE(testsupport::writeAudioFile(music_, testsupport::sine(440.0, 4.0, 44100, 2),
                                                44100, 2, &error))
            << error;
    }
    void TearDown() override { Logger::sharedSingleton().close(); }

    // One whole export through the three steps, as the export window runs it.
    bool exportWith(const ExportSettings& settings, std::int32_t type, const std::string& out,
                    std::string* failure = nullptr) {
        SoundExporter exporter;
        exporter.setDelegate(&progress_);
        bool ok = exporter.prepare(settings);
        if (ok)
            ok = exporter.exportTo(type, out);
        if (failure)
            *failure = exporter.failure();
        exporter.finish();
        return ok;
    }

    ExportSettings settings(float tempo, float pitch, std::optional<float> rate = {},
                            std::uint32_t engine = 0,
                            ExportLevel level = ExportLevel::Original) const {
        ExportSettings s;
        s.level = level;
        s.musicFile = music_;
        s.tempo = tempo;
        s.pitch = pitch;
        s.rate = rate;
        s.engineFlags = engine;
        return s;
    }

    // Nothing of ours beside the target: no temporary file survives an export.
    std::vector<std::string> leftovers() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir_.path()))
            if (entry.path().filename().string().front() == '.')
                names.push_back(entry.path().filename().string());
        return names;
    }

    testsupport::TempDir dir_;
    std::string music_;
    Progress progress_;
};

struct TypeCase {
    std::int32_t type;
    const char* name;
    const char* codec;
    const char* format;
    float tempo;
    float pitch;
    float rate;  // 0: the file's own
    std::uint32_t engine;
    ExportLevel level;
};

class SoundExporterTypes : public SoundExporterTest,
                           public ::testing::WithParamInterface<TypeCase> {};

TEST_P(SoundExporterTypes, FileHasTheTypeLengthKeyAndLevelAskedFor) {
    const TypeCase& c = GetParam();
    const std::string out = dir_.file(c.name);
    const std::optional<float> rate = c.rate > 0 ? std::optional<float>(c.rate) : std::nullopt;
    ASSERT_TRUE(exportWith(settings(c.tempo, c.pitch, rate, c.engine, c.level), c.type, out));

    // Source time passes at tempo ratio times rate ratio; the key moves with pitch and rate.
    const double speed = (1.0 + c.tempo / 100.0) * (c.rate > 0 ? c.rate / 44100.0 : 1.0);
    const double expectedSeconds = 4.0 / speed;
    const double expectedHz =
        440.0 * std::pow(2.0, c.pitch / 12.0) * (c.rate > 0 ? c.rate / 44100.0 : 1.0);

    const std::string stream = probe(out, "stream=codec_name,sample_rate,channels");
    EXPECT_NE(stream.find(std::string("codec_name=") + c.codec), std::string::npos) << stream;
    EXPECT_NE(stream.find("sample_rate=44100"), std::string::npos) << stream;
    EXPECT_NE(stream.find("channels=2"), std::string::npos) << stream;
    const std::string format = probe(out, "format=format_name,duration");
    EXPECT_NE(format.find(std::string("format_name=") + c.format), std::string::npos) << format;
    const auto at = format.find("duration=");
    ASSERT_NE(at, std::string::npos) << format;
    // Within one AAC frame (1024 frames) of the stretched length.
    EXPECT_NEAR(std::stod(format.substr(at + 9)), expectedSeconds, 1024.0 / 44100 + 1e-3);

    std::vector<float> decoded;
    int channels = 0;
    int fileRate = 0;
    ASSERT_TRUE(testsupport::decodeFile(out, &decoded, &fileRate, &channels));
    ASSERT_EQ(channels, 2);
    const auto left = testsupport::channelOf(decoded, 2, 0);
    EXPECT_NEAR(testsupport::dominantFrequency(left, fileRate), expectedHz, expectedHz * 0.01);
    if (c.level == ExportLevel::Heard) {
        // The gain stage doubles the source's 0.5 sine to full scale, where the limiter holds it
        // (AAC's own ripple may overshoot a little).
        EXPECT_GT(testsupport::peak(left), 0.9);
        EXPECT_LE(testsupport::peak(left), c.type == exporttype::kMp4 ? 1.05 : 1.0);
    } else {
        // The recording's own level: the 0.5 sine (-6.02 dBFS) stays there in every sample of
        // both channels, so none reaches full scale and the limiter has nothing to do.
        EXPECT_NEAR(20.0 * std::log10(testsupport::peak(decoded)), 20.0 * std::log10(0.5), 0.3);
    }

    EXPECT_EQ(progress_.lengths, 1);
    EXPECT_FALSE(progress_.updatesBeforeLength);
    // The bar ends at its maximum (to a frame: source time at another rate rounds).
    EXPECT_NEAR(progress_.last, progress_.length, 4.0);
    EXPECT_TRUE(leftovers().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Types, SoundExporterTypes,
    ::testing::Values(TypeCase{exporttype::kWav, "slow.wav", "pcm_s16le", "wav", -25.0F, 0.0F, 0.0F,
                               0, ExportLevel::Original},
                      TypeCase{exporttype::kMp4, "up.mp4", "aac", "mov,mp4", 0.0F, 2.0F, 0.0F,
                               TONVERA_FX_TEMPO_LIGHT, ExportLevel::Heard},
                      TypeCase{exporttype::kM4a, "fast.m4a", "alac", "mov,mp4", 20.0F, -1.0F,
                               48000.0F, 0, ExportLevel::Heard}),
    [](const auto& info) { return std::string(info.param.codec); });

TEST_F(SoundExporterTest, WavExportLogsItsStepsInOrder) {
    ASSERT_TRUE(exportWith(settings(-10.0F, 1.0F), exporttype::kWav, dir_.file("out.wav")));
    const std::string log = testsupport::readFile(dir_.file("log.txt"));
    const char* const expected[] = {"SoundExporter.prepare start",
                                    "SoundExporter: FX-Version: ",
                                    "SoundExport: device before init ",
                                    "SoundExport: device after init 0",
                                    "SoundExport: switched to no sound for export",
                                    "SoundExporter.prepare end",
                                    "SoundExporter: exporting : ",
                                    "SoundExport: tempo -10.000000",
                                    "SoundExport: pitch 1.000000",
                                    "SoundExport: rate 44100.000000",
                                    "SoundExporter: using WAV export",
                                    "SoundExporter: finished exporting"};
    std::size_t from = 0;
    for (const char* line : expected) {
        const auto at = log.find(line, from);
        ASSERT_NE(at, std::string::npos) << "missing or out of order: " << line << "\n" << log;
        from = at;
    }
    EXPECT_EQ(log.find("Error: The encoder died!"), std::string::npos);
}

TEST_F(SoundExporterTest, MusicGoneBeforePrepareFailsAndWritesNothing) {
    const std::string out = dir_.file("out.wav");
    fs::remove(music_);
    std::string failure;
    EXPECT_FALSE(exportWith(settings(0, 0), exporttype::kWav, out, &failure));
    EXPECT_NE(failure.find("could not be read"), std::string::npos) << failure;
    EXPECT_FALSE(fs::exists(out));
    EXPECT_NE(
        testsupport::readFile(dir_.file("log.txt")).find("SoundExporter: failed to load file"),
        std::string::npos);
}

TEST_F(SoundExporterTest, UnknownTypeStartsNoEncoderAndLeavesAnOldFileAlone) {
    const std::string out = dir_.file("keep.wav");
    std::ofstream(out) << "old";
    std::string failure;
    EXPECT_FALSE(exportWith(settings(0, 0), 3, out, &failure));
    EXPECT_FALSE(failure.empty());
    EXPECT_EQ(testsupport::readFile(out), "old");
    const std::string log = testsupport::readFile(dir_.file("log.txt"));
    EXPECT_NE(log.find("Error: The encoder died!"), std::string::npos);
    EXPECT_EQ(log.find("export\n", log.find("using ")), std::string::npos);
    EXPECT_TRUE(leftovers().empty());
}

// A loop's export: the span alone, as long as the stream renders it, the same music as that span
// of the whole export. The music swells and fades, so a span taken from elsewhere shows.
TEST_F(SoundExporterTest, ARangeExportsThatSpanOfTheWholeExport) {
    std::vector<float> swelling = testsupport::sine(440.0, 4.0, 44100, 2);
    for (std::size_t f = 0; f < swelling.size() / 2; ++f) {
        const double t = static_cast<double>(f) / 44100;
        const auto gain = static_cast<float>(0.3 + 0.25 * std::sin(2.0 * M_PI * 1.5 * t));
        swelling[2 * f] *= gain;
        swelling[2 * f + 1] *= gain;
    }
    ASSERT_TRUE(testsupport::writeAudioFile(music_, swelling, 44100, 2));
    const std::string whole = dir_.file("whole.wav");
    const std::string span = dir_.file("span.wav");
    ASSERT_TRUE(exportWith(settings(-20.0F, 0.0F), exporttype::kWav, whole));
    {
        SoundExporter exporter;
        exporter.setDelegate(&progress_);
        ASSERT_TRUE(exporter.prepare(settings(-20.0F, 0.0F)));
        exporter.setRange(1.0, 2.5);
        ASSERT_TRUE(exporter.exportTo(exporttype::kWav, span));
        exporter.finish();
    }
    EXPECT_NEAR(progress_.last, progress_.length, 4.0);
    std::vector<float> all;
    std::vector<float> part;
    ASSERT_TRUE(testsupport::decodeFile(whole, &all));
    ASSERT_TRUE(testsupport::decodeFile(span, &part));
    // 1.5 s of the music at 80 % speed.
    EXPECT_NEAR(static_cast<double>(part.size() / 2), 1.5 * 44100 / 0.8, 1.0);
    const auto level = [](const std::vector<float>& frames, std::size_t from) {
        double sum = 0.0;
        for (std::size_t i = 0; i < 2 * 441; ++i)
            sum += frames[2 * from + i] * frames[2 * from + i];
        return std::sqrt(sum / (2 * 441));
    };
    const auto offset = static_cast<std::size_t>(std::llround(1.0 * 44100 / 0.8));
    for (std::size_t at = 2205; at + 2205 < part.size() / 2; at += 441) {
        ASSERT_NEAR(level(part, at), level(all, offset + at), 0.02) << "frame " << at;
    }
}

TEST_F(SoundExporterTest, ExportOntoTheMusicItselfIsRefused) {
    const auto before = testsupport::readFile(music_);
    std::string failure;
    // Another spelling of the same file still names it.
    EXPECT_FALSE(
        exportWith(settings(-50, 0), exporttype::kWav, dir_.path() + "/./music.wav", &failure));
    EXPECT_FALSE(failure.empty());
    EXPECT_EQ(testsupport::readFile(music_), before);
}

// The chosen name is treated as every user file is: through a symbolic link the file it leads to
// receives the export and the link stays a link; a name at the file system's length limit still
// exports, its temporary name shortened rather than refused.
TEST_F(SoundExporterTest, ExportThroughALinkKeepsTheLinkAndALongNameStillExports) {
    fs::create_directory(dir_.file("takes"));
    const std::string real = dir_.file("takes/real.wav");
    std::ofstream(real) << "the previous take";
    const std::string link = dir_.file("latest.wav");
    fs::create_symlink("takes/real.wav", link);
    std::string failure;
    ASSERT_TRUE(exportWith(settings(-50, 0), exporttype::kWav, link, &failure)) << failure;
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(fs::read_symlink(link), fs::path("takes/real.wav"));
    std::vector<float> decoded;
    ASSERT_TRUE(testsupport::decodeFile(real, &decoded));
    EXPECT_NEAR(static_cast<double>(decoded.size() / 2), 8.0 * 44100, 44100 * 0.01);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_.file("takes")), fs::directory_iterator()),
              1);

    const std::string longName = dir_.file(std::string(251, 'n') + ".wav");  // 255 characters
    ASSERT_TRUE(exportWith(settings(0, 0), exporttype::kWav, longName, &failure)) << failure;
    EXPECT_NE(probe(longName, "stream=codec_name").find("pcm_s16le"), std::string::npos);
    // Replaced, it passes under a hidden name of its own for the moment of the rename.
    ASSERT_TRUE(exportWith(settings(0, 0), exporttype::kWav, longName, &failure)) << failure;
    EXPECT_TRUE(leftovers().empty());
}

// Music cut short on disk half-way through (as an editor saving over it might): the export fails
// and says so instead of finishing a file whose end is missing or silent, and leaves no file.
TEST_F(SoundExporterTest, MusicCutShortDuringTheExportFailsAndLeavesNoFile) {
    struct CutsTheMusic : Progress {
        void exportUpdate(std::uint32_t n) override {
            Progress::exportUpdate(n);
            if (!cut && length > 0 && n > length / 4) {
                fs::resize_file(music, fs::file_size(music) / 2);
                cut = true;
            }
        }
        std::string music;
        bool cut = false;
    } cutter;
    cutter.music = music_;
    const std::string out = dir_.file("out.wav");
    SoundExporter exporter;
    exporter.setDelegate(&cutter);
    ASSERT_TRUE(exporter.prepare(settings(-25, 0)));
    EXPECT_FALSE(exporter.exportTo(exporttype::kWav, out));
    const std::string failure = exporter.failure();
    exporter.finish();
    EXPECT_TRUE(cutter.cut);
    EXPECT_EQ(failure, "The music file changed while it was exported.");
    EXPECT_FALSE(fs::exists(out));
    EXPECT_TRUE(leftovers().empty());
}

// A full disk: the export fails, says why, and the file that was there stays as it was.
TEST_F(SoundExporterTest, FullDiskLeavesTheOldTargetIntact) {
    const std::string small = dir_.file("small");
    fs::create_directory(small);
    if (::mount("tonvera-test", small.c_str(), "tmpfs", 0, "size=256k") != 0)
        GTEST_SKIP() << "cannot mount a small tmpfs here (needs root)";
    const std::string out = small + "/song.wav";
    std::ofstream(out) << "the previous export";
    std::string failure;
    const bool ok = exportWith(settings(-25, 0), exporttype::kWav, out, &failure);
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(small))
        names.push_back(entry.path().filename().string());
    const std::string kept = testsupport::readFile(out);
    ::umount(small.c_str());
    EXPECT_FALSE(ok);
    EXPECT_NE(failure.find("No space left on device"), std::string::npos) << failure;
    // Named as the user chose it, not by the temporary file's passing name.
    EXPECT_NE(failure.find(out + ":"), std::string::npos) << failure;
    EXPECT_EQ(kept, "the previous export");
    EXPECT_EQ(names, std::vector<std::string>{"song.wav"});
}

// A cancel from another thread while the export renders: it stops at the next block, removes
// what it wrote and keeps the file that was at the chosen name.
TEST_F(SoundExporterTest, CancelFromAnotherThreadStopsMidRenderAndKeepsTheOldFile) {
    const std::string out = dir_.file("keep.wav");
    std::ofstream(out) << "the previous export";
    // Holds the exporting thread after its first block until the cancel has been asked for, so
    // the cancel lands mid-render whatever the machine's pace.
    struct HoldAfterFirstBlock : Progress {
        void exportUpdate(std::uint32_t n) override {
            Progress::exportUpdate(n);
            if (updates == 1) {
                rendering.set_value();
                cancelAsked.wait_for(std::chrono::seconds(30));
            }
        }
        std::promise<void> rendering;
        std::shared_future<void> cancelAsked;
    } hold;
    std::promise<void> cancelAsked;
    hold.cancelAsked = cancelAsked.get_future().share();
    std::future<void> rendering = hold.rendering.get_future();

    SoundExporter exporter;
    exporter.setDelegate(&hold);
    ASSERT_TRUE(exporter.prepare(settings(-25, 0)));
    std::thread canceller([&] {
        if (rendering.wait_for(std::chrono::seconds(30)) == std::future_status::ready)
            exporter.cancel();
        cancelAsked.set_value();
    });
    const bool exported = exporter.exportTo(exporttype::kWav, out);
    const bool cancelled = exporter.wasCancelled();
    const std::string failure = exporter.failure();
    exporter.finish();
    canceller.join();

    EXPECT_FALSE(exported);
    EXPECT_TRUE(cancelled);
    EXPECT_TRUE(failure.empty()) << failure;
    // Stopped at the block after the cancel, long before the stream's end.
    EXPECT_EQ(hold.updates, 1);
    EXPECT_LT(hold.last, hold.length);
    EXPECT_EQ(testsupport::readFile(out), "the previous export");
    EXPECT_TRUE(leftovers().empty());
    const std::string log = testsupport::readFile(dir_.file("log.txt"));
    const auto at = log.find("SoundExporter: export cancelled");
    EXPECT_NE(at, std::string::npos) << log;
    EXPECT_NE(log.find("SoundExporter: finished exporting", at), std::string::npos) << log;
    EXPECT_EQ(log.find("SoundExporter: export failed"), std::string::npos) << log;
}

// Past 4 GiB a rendered stream's byte counts no longer fit 32 bits: the percentage follows the
// whole 64-bit value instead of counting 0 to 100 % a second time, and never overflows.
TEST(ExportProgressTest, PercentageFollowsTheFull64BitLength) {
    constexpr std::uint64_t kGiB = std::uint64_t{1} << 30;
    const std::uint64_t length = 6 * kGiB;
    using exportprogress::stepsDone;
    EXPECT_EQ(stepsDone(kGiB, length, 100), 16U);
    // 4 GiB and a little: 0 % again once cut to 32 bits.
    EXPECT_EQ(stepsDone(4 * kGiB + 1, length, 100), 66U);
    EXPECT_EQ(stepsDone(3 * kGiB, length, 10000), 5000U);
    EXPECT_EQ(stepsDone(length - 1, length, 100), 99U);
    EXPECT_EQ(stepsDone(length + 4, length, 100), 100U);
    // Where position × 100 would overflow 64 bits.
    EXPECT_EQ(stepsDone(~std::uint64_t{0} / 2, ~std::uint64_t{0} - 1, 100), 50U);
    // No measure: nothing to count against.
    EXPECT_EQ(stepsDone(kGiB, 0, 100), 0U);
    EXPECT_EQ(stepsDone(kGiB, ~std::uint64_t{0}, 100), 0U);

    // The command line's line, fed the way the exporter feeds it.
    char* text = nullptr;
    std::size_t size = 0;
    std::FILE* out = ::open_memstream(&text, &size);
    {
        CommandLineProgress printer(out, "long.wav");
        SoundExportProtocol& receiver = printer;
        receiver.exportLength64(length);
        receiver.exportUpdate64(4 * kGiB + kGiB / 2);
    }
    std::fclose(out);
    const std::string said(text, size);
    std::free(text);
    EXPECT_NE(said.find("Exporting long.wav:  75 %"), std::string::npos) << said;
}

// Ctrl+C, or a kill, while the command line exports: the export stops at its next block, leaves
// nothing behind and keeps the file at OUT, and the status is the shell's for that signal.
TEST(CommandLineExportTest, AStopSignalMidRenderEndsWithItsStatusAndNothingLeftBehind) {
    testsupport::TempDir dir;
    const std::string music = dir.file("in.wav");
    ASSERT_TRUE(
        testsupport::writeAudioFile(music, testsupport::sine(440.0, 4.0, 44100, 2), 44100, 2));
    const std::string out = dir.file("out.wav");
    for (const auto& [signal, status] : {std::pair{SIGINT, 130}, std::pair{SIGTERM, 143}}) {
        std::ofstream(out) << "the previous export";
        // The progress line raises the signal once it shows a figure past 0 %: mid-render, on
        // the export's own handler, as a user's Ctrl+C would arrive.
        struct Raiser {
            int signal;
            bool raised = false;
            std::string said;
        } raiser{signal, false, {}};
        cookie_io_functions_t io{};
        io.write = [](void* cookie, const char* data, std::size_t size) -> ssize_t {
            auto* r = static_cast<Raiser*>(cookie);
            const std::string line(data, size);
            r->said += line;
            if (!r->raised && line.find('%') != std::string::npos &&
                line.find("  0 %") == std::string::npos) {
                r->raised = true;
                std::raise(r->signal);
            }
            return static_cast<ssize_t>(size);
        };
        std::FILE* progress = ::fopencookie(&raiser, "w", io);
        ASSERT_NE(progress, nullptr);
        const auto request = commandline::parse({"--export", out, music});
        EXPECT_EQ(commandline::runExport(request, progress, nullptr), status) << signal;
        std::fclose(progress);
        EXPECT_TRUE(raiser.raised);
        // Stopped mid-render, not rendered to the end and thrown away.
        EXPECT_EQ(raiser.said.find("100 %"), std::string::npos) << raiser.said;
        EXPECT_EQ(testsupport::readFile(out), "the previous export");
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir.path()))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, (std::vector<std::string>{"in.wav", "out.wav"}));
    }
}

// Names in a folder, for what an export adds to it.
std::vector<std::string> namesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Looks into the target's folder at every step of the export: a temporary file with a name
// would be seen there, an unnamed one never is.
struct FolderWatcher : Progress {
    void exportUpdate(std::uint32_t n) override {
        Progress::exportUpdate(n);
        if (namesIn(folder) != before)
            changed = true;
    }
    std::string folder;
    std::vector<std::string> before;
    bool changed = false;
};

// While it runs an export has no name in the folder, so a killed one leaves nothing; a named
// temporary of an export killed over a day ago is removed, whatever name that export had, and
// one of a younger export, which may still be writing, is kept.
TEST_F(SoundExporterTest, ARunningExportHasNoNameAndOnlyDayOldTemporariesAreRemoved) {
    const int probe = ::open(dir_.path().c_str(), O_TMPFILE | O_WRONLY, 0600);
    if (probe < 0)
        GTEST_SKIP() << "the test folder's file system has no unnamed files";
    ::close(probe);
    const std::string out = dir_.file("song.wav");
    const std::string stale = dir_.file(".song.wav.tmp-0badf00d.wav");
    const std::string young = dir_.file(".song.wav.tmp-12345678.wav");
    const std::string otherStale = dir_.file(".take 2.m4a.tmp-deadbeef.m4a");
    std::ofstream(otherStale) << "left by an export under another name";
    std::ofstream(stale) << "left by an export killed two days ago";
    std::ofstream(young) << "an export started two hours ago";
    const std::time_t now = std::time(nullptr);
    const timespec twoDays[2] = {{0, UTIME_OMIT}, {now - 2 * 24 * 3600, 0}};
    const timespec twoHours[2] = {{0, UTIME_OMIT}, {now - 2 * 3600, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, stale.c_str(), twoDays, 0), 0);
    ASSERT_EQ(::utimensat(AT_FDCWD, young.c_str(), twoHours, 0), 0);
    ASSERT_EQ(::utimensat(AT_FDCWD, otherStale.c_str(), twoDays, 0), 0);

    for (const bool replacing : {false, true}) {
        SCOPED_TRACE(replacing ? "replacing a file" : "a new file");
        FolderWatcher watcher;
        watcher.folder = dir_.path();
        SoundExporter exporter;
        exporter.setDelegate(&watcher);
        ASSERT_TRUE(exporter.prepare(settings(0, 0)));
        // exportTo() clears the stale temporary before it renders, so the folder the progress
        // sees is the one without it.
        watcher.before = namesIn(dir_.path());
        std::erase(watcher.before, ".song.wav.tmp-0badf00d.wav");
        std::erase(watcher.before, ".take 2.m4a.tmp-deadbeef.m4a");
        const bool ok = exporter.exportTo(exporttype::kWav, out);
        exporter.finish();
        ASSERT_TRUE(ok) << exporter.failure();
        EXPECT_GT(watcher.updates, 0);
        EXPECT_FALSE(watcher.changed);
        EXPECT_FALSE(fs::exists(stale));
        EXPECT_FALSE(fs::exists(otherStale));
        EXPECT_TRUE(fs::exists(young));
        EXPECT_EQ(leftovers(), std::vector<std::string>{".song.wav.tmp-12345678.wav"});
        std::vector<float> decoded;
        ASSERT_TRUE(testsupport::decodeFile(out, &decoded));
        EXPECT_NEAR(static_cast<double>(decoded.size() / 2), 4.0 * 44100, 44100 * 0.01);
        // The second round: a two-day-old temporary again, now beside an existing file.
        std::ofstream(stale) << "left by an export killed two days ago";
        ASSERT_EQ(::utimensat(AT_FDCWD, stale.c_str(), twoDays, 0), 0);
    }
}

// A folder, a pipe or a device as the export's target is refused before anything is rendered,
// from the command line (one line on stderr, exit 1) and from the window (its failure), and
// nothing is created; /dev/stdout too, whatever the output goes to, even a regular file.
TEST_F(SoundExporterTest, AFolderPipeOrDeviceAsTargetIsRefusedBeforeRendering) {
    const std::string folder = dir_.file("takes.wav");
    fs::create_directory(folder);
    const std::string pipe = dir_.file("pipe.wav");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    const auto before = namesIn(dir_.path());
    for (const std::string& out : {folder, pipe, std::string("/dev/null"), std::string("/dev/full"),
                                   std::string("/dev/stdout")}) {
        SCOPED_TRACE(out);
        commandline::Request request = commandline::parse({"--export", out, music_});
        ASSERT_EQ(request.action, commandline::Action::Export) << request.error;
        char* progressText = nullptr;
        char* errorText = nullptr;
        std::size_t progressSize = 0;
        std::size_t errorSize = 0;
        std::FILE* progress = ::open_memstream(&progressText, &progressSize);
        std::FILE* errors = ::open_memstream(&errorText, &errorSize);
        EXPECT_EQ(commandline::runExport(request, progress, errors), 1);
        std::fclose(progress);
        std::fclose(errors);
        const std::string shown(progressText, progressSize);
        const std::string said(errorText, errorSize);
        std::free(progressText);
        std::free(errorText);
        EXPECT_EQ(shown, "");
        EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
        EXPECT_NE(said.find(out == folder ? "Is a directory" : "not a regular file"),
                  std::string::npos)
            << said;

        progress_ = Progress{};
        std::string failure;
        EXPECT_FALSE(exportWith(settings(0, 0), exporttype::kWav, out, &failure));
        EXPECT_NE(failure.find("could not be written"), std::string::npos) << failure;
        EXPECT_EQ(progress_.updates, 0);
    }
    EXPECT_EQ(namesIn(dir_.path()), before);
    EXPECT_TRUE(fs::is_fifo(pipe));
    EXPECT_TRUE(fs::is_empty(folder));
}

TEST(CommandLineExportTest, BadValuesAndMissingFilesAreOneLineErrors) {
    using commandline::Action;
    using commandline::parse;
    EXPECT_EQ(parse({"song.mp3"}).action, Action::StartPlayer);
    EXPECT_EQ(parse({"--help"}).action, Action::Help);
    const auto good = parse(
        {"--export", "Out.M4A", "--tempo=-25", "--pitch", "2", "--quality", "light", "in.mp3"});
    ASSERT_EQ(good.action, Action::Export) << good.error;
    EXPECT_EQ(exporttype::forPath(good.output), exporttype::kM4a);
    EXPECT_FLOAT_EQ(good.settings.tempo, -25.0F);
    EXPECT_EQ(good.settings.engineFlags, TONVERA_FX_TEMPO_LIGHT);
    EXPECT_TRUE(good.settings.hearing.neutral());
    EXPECT_EQ(good.settings.level, ExportLevel::Original);
    EXPECT_EQ(parse({"--export", "o.wav", "--level", "heard", "in.mp3"}).settings.level,
              ExportLevel::Heard);
    EXPECT_EQ(parse({"--export", "o.wav", "--level=original", "in.mp3"}).settings.level,
              ExportLevel::Original);
    EXPECT_EQ(parse({"--export", "o.wav", "--level", "loud", "in.mp3"}).error,
              "--level must be original or heard");
    const auto hearing =
        parse({"--export", "o.wav", "--tuning", "-18", "--focus", "custom:500:1.5:-6",
               "--centre-cancel", "--channels", "swapped", "in.mp3"});
    ASSERT_EQ(hearing.action, Action::Export) << hearing.error;
    EXPECT_FLOAT_EQ(hearing.settings.tuning, -18.0F);
    EXPECT_EQ(hearing.settings.hearing.focus.band, formats::FocusBand::Custom);
    EXPECT_FLOAT_EQ(hearing.settings.hearing.focus.centreHz, 500.0F);
    EXPECT_FLOAT_EQ(hearing.settings.hearing.focus.widthOctaves, 1.5F);
    EXPECT_FLOAT_EQ(hearing.settings.hearing.focus.gainDb, -6.0F);
    EXPECT_TRUE(hearing.settings.hearing.centreCancel);
    EXPECT_EQ(hearing.settings.hearing.channels, formats::ChannelChoice::Swapped);
    for (const auto& bad : std::vector<std::vector<std::string>>{
             {"--export", "o.wav", "--tempo", "fast", "in.mp3"},
             {"--export", "o.wav", "--tempo", "-99", "in.mp3"},
             {"--export", "o.wav", "--rate", "nan", "in.mp3"},
             {"--export", "o.wav", "--quality", "great", "in.mp3"},
             {"--export", "o.wav", "--tuning", "51", "in.mp3"},
             {"--export", "o.wav", "--focus", "custom:500:1", "in.mp3"},
             {"--export", "o.wav", "--focus", "custom:500:1:6:2", "in.mp3"},
             {"--export", "o.wav", "--focus", "custom:5:1:6", "in.mp3"},
             {"--export", "o.wav", "--channels", "both", "in.mp3"},
             {"--export", "o.wav", "--level", "in.mp3"},
             {"--export", "o.wav"},
             {"--export", "o.wav", "--loud", "in.mp3"}}) {
        const auto request = parse(bad);
        EXPECT_EQ(request.action, Action::Invalid) << bad[2];
        EXPECT_FALSE(request.error.empty());
    }

    testsupport::TempDir dir;
    commandline::Request request = parse({"--export", dir.file("o.wav"), dir.file("none.mp3")});
    char* text = nullptr;
    std::size_t size = 0;
    std::FILE* errors = ::open_memstream(&text, &size);
    EXPECT_EQ(commandline::runExport(request, nullptr, errors), 1);
    std::fclose(errors);
    const std::string said(text, size);
    std::free(text);
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    EXPECT_NE(said.find("none.mp3"), std::string::npos) << said;
    EXPECT_FALSE(fs::exists(dir.file("o.wav")));
}

}  // namespace
