// Recording one use of a file in a freedesktop recently-used list (an XBEL document), changing
// nothing else in it: other bookmarks, other programs' entries on the same bookmark, comments and
// elements this code does not know are carried over as they are.
//
// Threads: any; no shared state.
#ifndef TONVERA_PLAYER_RECENT_XBELBOOKMARKS_H
#define TONVERA_PLAYER_RECENT_XBELBOOKMARKS_H

#include <QByteArray>
#include <QDateTime>
#include <QString>

// One use of a file by one program.
struct XbelVisit {
    QString href;       // the file's URL, fully encoded
    QString localPath;  // absolute; finds a bookmark whose href another program spelled otherwise
    QString mimeType;
    QString application;  // the program's name, as the list identifies programs
    QString exec;         // its command line, with %u for the file
    QDateTime time;       // written in UTC
};

struct XbelUpdate {
    QByteArray document;  // the whole new document; meaningful only when `error` is empty
    QString error;        // why the document was not changed
};

namespace xbel {
inline constexpr char kBookmarkNamespace[] =
    "http://www.freedesktop.org/standards/desktop-bookmarks";
inline constexpr char kMimeNamespace[] = "http://www.freedesktop.org/standards/shared-mime-info";
inline constexpr char kMetadataOwner[] = "http://freedesktop.org";
}  // namespace xbel

// Adds a bookmark for the visit, or updates the one the file has: its modified and visited times,
// its MIME type, and the program's application entry (count one up). `document` empty: a new list
// holding only this bookmark. A document that is not well-formed XML, whose root is not <xbel>,
// or that binds the bookmark: or mime: prefix to another namespace, is refused with the reason.
XbelUpdate recordXbelVisit(const QByteArray& document, const XbelVisit& visit);

#endif
