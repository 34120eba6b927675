#include "CrashHelper.h"

#include <cstdio>
#include <cstring>

#include "crashreport/FatalSignalHandler.h"

namespace crashhelper {

namespace {

volatile int g_stop = 0;
volatile int* volatile g_unmapped = reinterpret_cast<volatile int*>(16);

// Not inlined, so the crash log's first frame is a function of this program.
__attribute__((noinline)) void writeToUnmappedAddress() {
    *g_unmapped = 1;
}

__attribute__((noinline)) int recurse(int depth) {
    volatile char pad[4096];
    pad[depth % sizeof pad] = static_cast<char>(depth);
    if (g_stop != 0) {
        return 0;
    }
    return recurse(depth + 1) + pad[depth % 16];
}

}  // namespace

int run(const char* mode, const char* folder) {
    crashsignal::ProgramInfo info;
    info.executableName = "test_crashreport";
    info.executablePath = "/proc/self/exe";
    info.identifier = "org.tonvera.Tonvera";
    info.version = "9.8.7";
    info.osVersion = "test system";
    std::string why;
    if (!crashsignal::install(folder, info, &why)) {
        std::fprintf(stderr, "crash helper: %s\n", why.c_str());
        return 2;
    }
    if (std::strcmp(mode, "fault") == 0) {
        writeToUnmappedAddress();
    } else if (std::strcmp(mode, "overflow") == 0) {
        return recurse(0);
    }
    return 3;
}

}  // namespace crashhelper
