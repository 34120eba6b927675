#include "audiolib/core/Diagnostics.h"

#include <atomic>
#include <cstdio>

namespace audiolib {

namespace {
std::atomic<DiagnosticSink> g_sink{nullptr};
}  // namespace

void setDiagnosticSink(DiagnosticSink sink) {
    g_sink.store(sink, std::memory_order_release);
}

void diagnostic(const char* line) {
    if (DiagnosticSink sink = g_sink.load(std::memory_order_acquire)) {
        sink(line);
    } else {
        std::fprintf(stderr, "%s\n", line);
    }
}

}  // namespace audiolib
