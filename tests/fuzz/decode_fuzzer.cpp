// libFuzzer target: bytes as an audio file opened through the C API, as the player opens music:
// a decoding source stream, read, seeked within its length and read again, then a tempo stream
// over it. Besides crashes, hangs and sanitizer reports it checks that no non-finite sample
// comes out and that seeks within the length succeed.
#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "audiolib/audiolib.h"

namespace {

// Enough to cover every decoder path on a small input without letting one input take seconds.
constexpr DWORD kBytesPerPull = 16384;
constexpr int kMaxPulls = 64;

const std::string& inputPath() {
    // The name lives in a plain array so that the clean-up at exit can still read it after the
    // string has been destroyed.
    static char name[] = "/tmp/tonvera-decode-fuzz-XXXXXX";
    static const std::string path = [] {
        const int fd = ::mkstemp(name);
        if (fd < 0)
            std::abort();
        ::close(fd);
        std::atexit([] { ::unlink(name); });
        return std::string(name);
    }();
    return path;
}

void writeInput(const std::uint8_t* bytes, std::size_t length) {
    const int fd = ::open(inputPath().c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0)
        std::abort();
    std::size_t done = 0;
    while (done < length) {
        const ssize_t n = ::write(fd, bytes + done, length - done);
        if (n <= 0)
            std::abort();
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
}

void pullAndCheck(HSTREAM stream) {
    std::vector<float> buffer(kBytesPerPull / sizeof(float));
    for (int i = 0; i < kMaxPulls; ++i) {
        const DWORD got =
            BASS_ChannelGetData(stream, buffer.data(), kBytesPerPull | BASS_DATA_FLOAT);
        if (got == static_cast<DWORD>(-1) || got == 0)
            return;
        for (std::size_t k = 0; k < got / sizeof(float); ++k) {
            if (!std::isfinite(buffer[k]))
                std::abort();  // damaged samples must leave the decoder as silence
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (!BASS_Init(0, 44100, 0, nullptr, nullptr))
        std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t length) {
    writeInput(bytes, length);
    // PRESCAN: the length is exact at open, so every seek within it must land or clamp (without
    // it, a container that states no length reports an estimate until its background scan ends,
    // and a seek beyond what is measured so far is refused by design).
    const HSTREAM source =
        BASS_StreamCreateFile(FALSE, inputPath().c_str(), 0, 0,
                              BASS_STREAM_DECODE | BASS_SAMPLE_FLOAT | BASS_STREAM_PRESCAN);
    if (!source)
        return 0;
    pullAndCheck(source);
    const QWORD bytesLength = BASS_ChannelGetLength(source, BASS_POS_BYTE);
    BASS_CHANNELINFO info{};
    if (!BASS_ChannelGetInfo(source, &info) || info.chans == 0)
        std::abort();
    const QWORD frameBytes = 4ULL * info.chans;
    for (QWORD target : {bytesLength / 2, bytesLength / 7, bytesLength}) {
        if (!BASS_ChannelSetPosition(source, target - target % frameBytes, BASS_POS_BYTE))
            std::abort();  // a seek within the length lands or clamps
        pullAndCheck(source);
    }
    BASS_ChannelSetPosition(source, 0, BASS_POS_BYTE);
    const HSTREAM tempo = BASS_FX_TempoCreate(source, BASS_STREAM_DECODE | BASS_FX_FREESOURCE);
    if (!tempo) {
        BASS_StreamFree(source);
        return 0;
    }
    BASS_ChannelSetAttribute(tempo, BASS_ATTRIB_TEMPO, -20.0F);
    BASS_ChannelSetAttribute(tempo, BASS_ATTRIB_TEMPO_PITCH, 3.0F);
    pullAndCheck(tempo);
    BASS_StreamFree(tempo);
    return 0;
}
