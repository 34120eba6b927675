// Hands the calling thread back to an output device after it worked on another one (the
// export's no-sound device).
//
// Threads: the library's current device is a setting of the calling thread; only the caller's
// choice changes.
#ifndef TONVERA_ENGINE_OUTPUTDEVICE_H
#define TONVERA_ENGINE_OUTPUTDEVICE_H

// Selects `device` for the calling thread, with a console line before and after naming the
// thread's device at that moment.
void switchThreadToDevice(int device);

#endif
