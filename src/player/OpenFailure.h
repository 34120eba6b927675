// The one sentence that tells the user why a music file could not be opened, from the audio
// library's error code for the failed open.
#ifndef TONVERA_PLAYER_OPENFAILURE_H
#define TONVERA_PLAYER_OPENFAILURE_H

#include <QString>

// `path` as given to the open (empty when none was named); `errorCode` a BASS_ERROR_* value.
QString openFailureText(const QString& path, int errorCode);

#endif
