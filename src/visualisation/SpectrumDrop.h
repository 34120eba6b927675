// What the spectrum view makes of something dragged onto it. The view admits a sound object
// (audio data) or file names (local-file URLs); on a drop an image is preferred to file names, and
// only the first file is opened.
//
// Threads: main thread only (drag and drop events).
#ifndef TONVERA_VISUALISATION_SPECTRUMDROP_H
#define TONVERA_VISUALISATION_SPECTRUMDROP_H

#include <QStringList>
#include <Qt>

class QMimeData;

namespace spectrumdrop {

enum class DropType { None, Image, FileNames };

// Audio data under any "audio/..." format.
bool offersSound(const QMimeData& mime);
// Image data of any kind.
bool offersImage(const QMimeData& mime);
// The local files among the dropped URLs, in the drag's order; remote URLs are left out, since
// the engine opens paths on this machine only.
QStringList localFilePaths(const QMimeData& mime);

// Whether the drag carries one of the two admitted types at all.
bool admits(const QMimeData& mime);
// The operation answered to the source: copy when it allows copying, else none. Never move: a
// file manager would delete a file that was "moved" into the player.
Qt::DropAction answer(Qt::DropActions possible);
// The type used on drop: an image first, then file names.
DropType preferredType(const QMimeData& mime);

}  // namespace spectrumdrop

#endif
