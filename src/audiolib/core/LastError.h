// The calling thread's last error, as BASS_ErrorGetCode reports it.
#ifndef TONVERA_AUDIOLIB_CORE_LASTERROR_H
#define TONVERA_AUDIOLIB_CORE_LASTERROR_H

namespace audiolib {

void setLastError(int code);
int lastError();
const char* errorText(int code);

}  // namespace audiolib

#endif
