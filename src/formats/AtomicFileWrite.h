// Replacing a file's whole content so that readers see either the old file or the new one, never
// a part: the bytes go to a temporary file in the same folder, which is put in place of the target
// only when every byte was written and flushed to the disk. The Qt face of the core's
// AtomicFileWriter, whose rules every writer of a user's file shares.
//
// Threads: any thread; calls for different files do not meet.
//
// QSaveFile is not used: Qt 6.4 reports success when the disk fills up part way through (a short
// write followed by ENOSPC/EFBIG is taken as done), which would lose the user's file.
#ifndef TONVERA_FORMATS_ATOMICFILEWRITE_H
#define TONVERA_FORMATS_ATOMICFILEWRITE_H

#include <QByteArray>
#include <QString>

// Returns why it failed (for the user), or an empty text on success. On failure the target is
// untouched and no temporary file is left behind; temporary files that an earlier, crashed save
// left beside the target are removed. A write-protected target is refused, as a direct write
// would be, and so is anything else that is not a regular file. A symbolic link is written
// through: its target is replaced, the link stays. A file that is replaced keeps its
// permissions; a new file gets the usual ones (0666 less the umask).
// The temporary name stays within the file system's name length, however long the target's.
QString writeFileAtomically(const QString& path, const QByteArray& data);

#endif
