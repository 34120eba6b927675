// Where the audio layer's diagnostic lines go. The layer has no logger of its own: the engine
// points the sink at its Logger; without a sink a line goes to stderr.
// Any thread except the audio callback (a sink may block and allocate).
#ifndef TONVERA_AUDIOLIB_CORE_DIAGNOSTICS_H
#define TONVERA_AUDIOLIB_CORE_DIAGNOSTICS_H

namespace audiolib {

// nullptr restores stderr. The sink is called with one line, without a line feed.
void setDiagnosticSink(void (*sink)(const char* line));
void diagnostic(const char* line);

}  // namespace audiolib

#endif
