// Where the audio layer reports what a user or developer should know (a feeder that fell behind,
// a limit that was hit). The layer has no logger of its own: the program points the sink at its
// log; without a sink the lines go to stderr.
//
// Threads: any thread except the audio callback, which must never log; the sink is called on
// the reporting thread and must be thread-safe.
#ifndef TONVERA_AUDIOLIB_CORE_DIAGNOSTICS_H
#define TONVERA_AUDIOLIB_CORE_DIAGNOSTICS_H

namespace audiolib {

using DiagnosticSink = void (*)(const char* line);

// nullptr restores stderr.
void setDiagnosticSink(DiagnosticSink sink);
void diagnostic(const char* line);

}  // namespace audiolib

#endif
