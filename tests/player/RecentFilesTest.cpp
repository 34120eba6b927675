// The recent files: the program's own list in the settings and its entries in the desktop's
// recently-used.xbel, which other programs share.
#include <gtest/gtest.h>

#include <QDateTime>
#include <QFile>
#include <QMap>
#include <QSettings>
#include <QUrl>
#include <QXmlStreamReader>

#include "player/recent/DesktopRecentList.h"
#include "player/recent/RecentFiles.h"
#include "player/recent/XbelBookmarks.h"
#include "support/TempHome.h"

namespace {

QString inTemp(const testsupport::TempDir& dir, const std::string& name) {
    return QString::fromStdString(dir.file(name));
}

void writeBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

QByteArray readBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

using Attributes = QMap<QString, QString>;

struct Bookmark {
    Attributes attributes;
    QString mimeType;
    QMap<QString, Attributes> applications;  // by name
    int count = 0;                           // how often the href is listed
};

Attributes attributesOf(const QXmlStreamReader& reader) {
    Attributes result;
    for (const QXmlStreamAttribute& a : reader.attributes()) {
        result.insert(a.qualifiedName().toString(), a.value().toString());
    }
    return result;
}

// The bookmarks as a namespace-aware reader of the list sees them, by href; a document that is
// not well-formed fails the test.
QMap<QString, Bookmark> bookmarksIn(const QByteArray& document) {
    QMap<QString, Bookmark> result;
    QXmlStreamReader reader(document);
    Bookmark* current = nullptr;
    while (!reader.atEnd()) {
        if (reader.readNext() != QXmlStreamReader::StartElement) {
            continue;
        }
        if (reader.name() == QLatin1String("bookmark") && reader.namespaceUri().isEmpty()) {
            const Attributes attributes = attributesOf(reader);
            current = &result[attributes.value("href")];
            current->attributes = attributes;
            ++current->count;
        } else if (current && reader.namespaceUri() == QLatin1String(xbel::kMimeNamespace) &&
                   reader.name() == QLatin1String("mime-type")) {
            current->mimeType = reader.attributes().value("type").toString();
        } else if (current && reader.namespaceUri() == QLatin1String(xbel::kBookmarkNamespace) &&
                   reader.name() == QLatin1String("application")) {
            const Attributes attributes = attributesOf(reader);
            current->applications.insert(attributes.value("name"), attributes);
        }
    }
    EXPECT_FALSE(reader.hasError()) << reader.errorString().toStdString() << "\n"
                                    << document.toStdString();
    return result;
}

// As GLib writes the list: another program's bookmark, and the song already opened elsewhere.
const char* const kOtherProgramsList = R"(<?xml version="1.0" encoding="UTF-8"?>
<xbel version="1.0"
      xmlns:bookmark="http://www.freedesktop.org/standards/desktop-bookmarks"
      xmlns:mime="http://www.freedesktop.org/standards/shared-mime-info"
>
  <bookmark href="file:///home/u/notes%20today.txt" added="2023-01-02T03:04:05.000006Z" modified="2023-01-03T03:04:05.000006Z" visited="2023-01-04T03:04:05.000006Z">
    <info>
      <metadata owner="http://freedesktop.org">
        <mime:mime-type type="text/plain"/>
        <bookmark:groups>
          <bookmark:group>Editors</bookmark:group>
        </bookmark:groups>
        <bookmark:applications>
          <bookmark:application name="gedit" exec="&#39;gedit %u&#39;" modified="2023-01-03T03:04:05.000006Z" count="4"/>
        </bookmark:applications>
      </metadata>
    </info>
  </bookmark>
  <!-- written by hand -->
  <bookmark href="SONG" added="2022-05-06T07:08:09Z" modified="2022-05-06T07:08:09Z" visited="2022-05-06T07:08:09Z">
    <info>
      <metadata owner="http://freedesktop.org">
        <mime:mime-type type="audio/x-wav"/>
        <bookmark:applications>
          <bookmark:application name="vlc" exec="&#39;vlc %u&#39;" modified="2022-05-06T07:08:09Z" count="2"/>
        </bookmark:applications>
      </metadata>
    </info>
  </bookmark>
</xbel>
)";

}  // namespace

TEST(RecentFiles, KeepsTheTenLatestMostRecentFirstAndReadsThemBackAfterARestart) {
    const testsupport::TempDir dir;
    const QString store = inTemp(dir, "settings.ini");
    auto file = [&dir](int i) { return inTemp(dir, "f" + std::to_string(i) + ".ogg"); };
    {
        RecentFiles list(store);
        for (int i = 0; i < 12; ++i) {
            list.add(file(i));
        }
        list.add(file(5));  // reopened: moves up, not listed twice
    }
    const QStringList expected{file(5), file(11), file(10), file(9), file(8),
                               file(7), file(6),  file(4),  file(3), file(2)};
    EXPECT_EQ(RecentFiles(store).paths(), expected);
    EXPECT_EQ(QSettings(store, QSettings::IniFormat).value("RECENT_FILES").toStringList(),
              expected);
}

TEST(DesktopRecentList, RecordsOurUseBesideOtherProgramsAndUpdatesOurEntryInPlace) {
    const testsupport::TempDir dir;
    const QString song = inTemp(dir, "my song.wav");
    writeBytes(song, "RIFF");
    const QString songUrl = QUrl::fromLocalFile(song).toString(QUrl::FullyEncoded);
    const QDateTime first(QDate(2024, 3, 1), QTime(10, 0), Qt::UTC);
    const QDateTime second = first.addSecs(60);

    // No list yet (nor its folder): one is made holding our bookmark.
    const QString fresh = inTemp(dir, "new/recently-used.xbel");
    ASSERT_TRUE(DesktopRecentList(fresh).add(song, first));
    const QMap<QString, Bookmark> made = bookmarksIn(readBytes(fresh));
    ASSERT_EQ(made.size(), 1);
    EXPECT_EQ(made[songUrl].applications["Tonvera"].value("count"), "1");
    EXPECT_EQ(made[songUrl].applications["Tonvera"].value("exec"), "'tonvera %u'");
    EXPECT_EQ(made[songUrl].attributes.value("added"), "2024-03-01T10:00:00.000Z");

    const QString list = inTemp(dir, "recently-used.xbel");
    writeBytes(list, QByteArray(kOtherProgramsList).replace("SONG", songUrl.toUtf8()));
    const QMap<QString, Bookmark> before = bookmarksIn(readBytes(list));
    const DesktopRecentList desktop(list);
    ASSERT_TRUE(desktop.add(song, first));
    ASSERT_TRUE(desktop.add(song, second));
    const QByteArray after = readBytes(list);
    const QMap<QString, Bookmark> bookmarks = bookmarksIn(after);

    ASSERT_EQ(bookmarks.size(), 2) << after.toStdString();
    const Bookmark& notes = bookmarks["file:///home/u/notes%20today.txt"];
    const Bookmark& notesBefore = before["file:///home/u/notes%20today.txt"];
    EXPECT_EQ(notes.attributes, notesBefore.attributes);
    EXPECT_EQ(notes.applications, notesBefore.applications);
    EXPECT_EQ(notes.mimeType, "text/plain");
    EXPECT_TRUE(after.contains("<bookmark:group>Editors</bookmark:group>"));
    EXPECT_TRUE(after.contains("<!-- written by hand -->"));

    // One bookmark for the song, shared with the other player; ours counts both opens.
    const Bookmark& ours = bookmarks[songUrl];
    EXPECT_EQ(ours.count, 1);
    EXPECT_EQ(ours.attributes.value("added"), "2022-05-06T07:08:09Z");
    EXPECT_EQ(ours.attributes.value("modified"), "2024-03-01T10:01:00.000Z");
    EXPECT_EQ(ours.attributes.value("visited"), "2024-03-01T10:01:00.000Z");
    EXPECT_EQ(ours.applications["vlc"], before[songUrl].applications["vlc"]);
    ASSERT_EQ(ours.applications.size(), 2);
    EXPECT_EQ(ours.applications["Tonvera"].value("count"), "2");
    EXPECT_EQ(ours.applications["Tonvera"].value("modified"), "2024-03-01T10:01:00.000Z");
    EXPECT_EQ(ours.mimeType, "audio/x-wav");
}

TEST(DesktopRecentList, LeavesAListThatIsNotWellFormedXbelUntouched) {
    const testsupport::TempDir dir;
    const QString song = inTemp(dir, "song.wav");
    const QString list = inTemp(dir, "recently-used.xbel");
    for (const QByteArray& content :
         {QByteArray("<?xml version=\"1.0\"?>\n<xbel version=\"1.0\">\n  <bookmark href=\"x\">"),
          QByteArray("<xbel><bookmark href=\"a\" href=\"b\"/></xbel>"),
          QByteArray("<html><body/></html>"), QByteArray("<xbel xmlns:bookmark=\"urn:other\"/>")}) {
        writeBytes(list, content);
        EXPECT_FALSE(DesktopRecentList(list).add(song)) << content.toStdString();
        EXPECT_EQ(readBytes(list), content);
    }
}
