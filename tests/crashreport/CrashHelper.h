// A process that installs the fatal-signal handler and then crashes in the way asked for.
#ifndef TONVERA_TESTS_CRASHREPORT_CRASHHELPER_H
#define TONVERA_TESTS_CRASHREPORT_CRASHHELPER_H

namespace crashhelper {

// mode "fault": a write to an unmapped address; "overflow": unbounded recursion. Writes the crash
// log into `folder`. Returns only when the crash did not happen (a test failure).
int run(const char* mode, const char* folder);

}  // namespace crashhelper

#endif
