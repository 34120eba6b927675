#include "audiolib/core/Diagnostics.h"

#include <atomic>
#include <cstdio>

namespace audiolib {

namespace {
std::atomic<void (*)(const char*)> g_sink{nullptr};
}  // namespace

void setDiagnosticSink(void (*sink)(const char* line)) {
    g_sink.store(sink, std::memory_order_release);
}

void diagnostic(const char* line) {
    if (auto* sink = g_sink.load(std::memory_order_acquire)) {
        sink(line);
        return;
    }
    std::fprintf(stderr, "%s\n", line);
}

}  // namespace audiolib
