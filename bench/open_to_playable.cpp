// Time from opening a music file to having its first block of tempo-processed audio: the
// player's open (BASS_StreamCreateFile + BASS_FX_TempoCreate) until BASS_ChannelGetData delivers.
// This is what the window waits for when a file is chosen; it must not grow with the file's
// length. Files: 3 and 60 minutes of MP3, 60 minutes of FLAC and of AAC in M4A, made with the
// ffmpeg program in a temporary folder (or taken from the folder given as the first argument,
// where they are made once and kept). Prints figures only; nothing passes or fails on time.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "audiolib/audiolib.h"
#include "support/TempHome.h"

namespace {

using Clock = std::chrono::steady_clock;

struct BenchFile {
    const char* name;
    int seconds;
    const char* codecArgs;
};

// A tone with some noise, so that the lossless file is not trivially small.
bool makeFile(const std::string& path, const BenchFile& file) {
    if (std::filesystem::exists(path)) {
        return true;
    }
    const std::string seconds = std::to_string(file.seconds);
    const std::string command =
        "ffmpeg -nostdin -v error -y -f lavfi -i \"sine=f=440:r=44100:d=" + seconds +
        "\" -f lavfi -i \"anoisesrc=r=44100:a=0.05:d=" + seconds +
        "\" -filter_complex \"[0][1]amix=inputs=2,aformat=channel_layouts=stereo\" " +
        file.codecArgs + " '" + path + "'";
    std::printf("making %s (%d s)...\n", file.name, file.seconds);
    std::fflush(stdout);
    return std::system(command.c_str()) == 0;
}

// Milliseconds from open to the first pulled block; negative when the file did not open.
double openToPlayable(const std::string& path, double* lengthSeconds) {
    const auto start = Clock::now();
    const HSTREAM source =
        BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, BASS_STREAM_DECODE | BASS_SAMPLE_FLOAT);
    if (!source) {
        return -1.0;
    }
    const HSTREAM tempo =
        BASS_FX_TempoCreate(source, BASS_FX_FREESOURCE | BASS_STREAM_DECODE | BASS_SAMPLE_LOOP);
    if (!tempo) {
        BASS_StreamFree(source);
        return -1.0;
    }
    std::vector<float> block(4096 * 2);
    const DWORD got =
        BASS_ChannelGetData(tempo, block.data(), static_cast<DWORD>(block.size() * sizeof(float)));
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    *lengthSeconds = BASS_ChannelBytes2Seconds(tempo, BASS_ChannelGetLength(tempo, BASS_POS_BYTE));
    BASS_StreamFree(tempo);
    return got == static_cast<DWORD>(-1) ? -1.0 : ms;
}

}  // namespace

int main(int argc, char** argv) {
    testsupport::TempDir temp;
    const std::string folder = argc > 1 ? argv[1] : temp.path();
    std::filesystem::create_directories(folder);
    if (!BASS_Init(0, 44100, 0, nullptr, nullptr)) {
        std::printf("cannot initialise the no-sound device: %d\n", BASS_ErrorGetCode());
        return 1;
    }
    const BenchFile files[] = {
        {"3min.mp3", 180, "-c:a libmp3lame -b:a 192k"},
        {"60min.mp3", 3600, "-c:a libmp3lame -b:a 192k"},
        {"60min.flac", 3600, "-c:a flac"},
        {"60min.m4a", 3600, "-c:a aac -b:a 160k"},
    };
    std::printf("\n%-12s %10s %12s %12s %12s\n", "file", "MiB", "length s", "first ms",
                "best of 5 ms");
    for (const BenchFile& file : files) {
        const std::string path = folder + "/" + file.name;
        if (!makeFile(path, file)) {
            std::printf("%-12s cannot be made (is the ffmpeg program installed?)\n", file.name);
            continue;
        }
        double length = 0.0;
        // The first open finds the file in the page cache like every later one (it was just
        // written), so the figures show the work of opening, not the disk.
        const double first = openToPlayable(path, &length);
        double best = first;
        for (int i = 0; i < 4; ++i) {
            best = std::min(best, openToPlayable(path, &length));
        }
        const double mib =
            static_cast<double>(std::filesystem::file_size(path)) / (1024.0 * 1024.0);
        if (first < 0) {
            std::printf("%-12s %10.1f cannot be opened (error %d)\n", file.name, mib,
                        BASS_ErrorGetCode());
            continue;
        }
        std::printf("%-12s %10.1f %12.1f %12.1f %12.1f\n", file.name, mib, length, first, best);
    }
    BASS_Free();
    return 0;
}
