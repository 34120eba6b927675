#include "player/overview/OverviewController.h"

#include <QBoxLayout>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMainWindow>
#include <QStandardPaths>
#include <algorithm>

#include "engine/OverviewBuilder.h"
#include "engine/SoundEngine.h"
#include "formats/AtomicFileWrite.h"
#include "logging/Console.h"
#include "player/PlayerControls.h"
#include "player/overview/SongOverview.h"

namespace {

constexpr int kPollMs = 50;
// Each overview is at most 128 KiB; the oldest go once there are more than this many.
constexpr int kMostCachedOverviews = 300;
// A cache file larger than any overview is no overview.
constexpr qint64 kLargestCacheFile = 256 * 1024;

// Worker thread: QFile and QDir are reentrant, and this touches only the cache folder.
std::string loadCache(const QString& file) {
    QFile in(file);
    if (in.size() > kLargestCacheFile || !in.open(QIODevice::ReadOnly))
        return {};
    return in.readAll().toStdString();
}

// Worker thread.
void storeCache(const QString& folder, const QString& file, const std::string& bytes) {
    if (!QDir().mkpath(folder)) {
        console("overview: cannot make the cache folder %s", qUtf8Printable(folder));
        return;
    }
    const QString why =
        writeFileAtomically(file, QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
    if (!why.isEmpty()) {
        console("overview: not cached: %s", qUtf8Printable(why));
        return;
    }
    const QFileInfoList cached =
        QDir(folder).entryInfoList({QStringLiteral("*.peaks")}, QDir::Files, QDir::Time);
    for (qsizetype i = kMostCachedOverviews; i < cached.size(); ++i) {
        QFile::remove(cached[i].absoluteFilePath());
    }
}

}  // namespace

OverviewController::OverviewController(PlayerControls& controls, SoundEngine& engine)
    : QObject(nullptr), engine_(engine) {
    QMainWindow* window = controls.window();
    view_ = new SongOverview(window->centralWidget());
    // Above the position slider: the row that holds it comes right after the strip.
    auto* main = qobject_cast<QBoxLayout*>(window->centralWidget()->layout());
    auto* transport = window->findChild<QBoxLayout*>(QStringLiteral("layoutTransport"));
    if (main != nullptr && transport != nullptr) {
        // A little air between it and the spectrum above, which is black too.
        const int at = main->indexOf(transport);
        main->insertSpacing(at, 4);
        main->insertWidget(at + 1, view_);
    }
    connect(view_, &SongOverview::seekRequested, this, &OverviewController::seek);
    poll_.setInterval(kPollMs);
    connect(&poll_, &QTimer::timeout, this, &OverviewController::poll);
}

OverviewController::~OverviewController() = default;

QString OverviewController::cacheFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
           QStringLiteral("/Tonvera/overview");
}

QString OverviewController::cacheFile(const QString& path, QString* key) {
    const QFileInfo info(path);
    *key = QStringLiteral("%1\n%2\n%3")
               .arg(info.absoluteFilePath())
               .arg(info.size())
               .arg(info.lastModified().toMSecsSinceEpoch());
    const QByteArray hash = QCryptographicHash::hash(key->toUtf8(), QCryptographicHash::Sha1);
    return cacheFolder() + QLatin1Char('/') + QString::fromLatin1(hash.toHex()) +
           QStringLiteral(".peaks");
}

void OverviewController::retire() {
    if (builder_) {
        builder_->cancel();
        retired_.push_back(std::move(builder_));
    }
    std::erase_if(retired_, [](const auto& builder) { return builder->finished(); });
}

void OverviewController::musicOpened(const QString& path) {
    retire();
    view_->setPeaks(nullptr);
    view_->setMessage(QString());
    QString key;
    const QString file = cacheFile(path, &key);
    const QString folder = cacheFolder();
    OverviewBuilder::Cache cache{
        [file] { return loadCache(file); },
        [folder, file](const std::string& bytes) { storeCache(folder, file, bytes); }};
    builder_ =
        std::make_unique<OverviewBuilder>(path.toStdString(), key.toStdString(), std::move(cache));
    view_->setProgress(0.0F);
    poll_.start();
    tick();
}

void OverviewController::noMusic() {
    retire();
    if (retired_.empty())
        poll_.stop();
    else
        poll_.start();  // to drop them once they have stopped
    view_->setProgress(std::nullopt);
    view_->setPeaks(nullptr);
    view_->setMessage(QString());
    view_->setMarks(SongOverview::Marks{});
}

void OverviewController::poll() {
    std::erase_if(retired_, [](const auto& builder) { return builder->finished(); });
    if (!builder_) {
        if (retired_.empty())
            poll_.stop();
        return;
    }
    if (!builder_->finished()) {
        view_->setProgress(builder_->progress());
        return;
    }
    std::optional<OverviewPeaks> peaks = builder_->take();
    const std::string why = builder_->failure();
    builder_.reset();
    if (retired_.empty())
        poll_.stop();
    view_->setProgress(std::nullopt);
    if (peaks) {
        view_->setPeaks(std::make_shared<const OverviewPeaks>(std::move(*peaks)));
    } else {
        view_->setMessage(tr("No overview: %1").arg(QString::fromStdString(why)));
    }
}

void OverviewController::setMarkers(const std::vector<Marker>& markers) {
    markers_.clear();
    for (const Marker& marker : markers) {
        markers_.push_back(marker.seconds);
    }
}

void OverviewController::tick() {
    SongOverview::Marks marks;
    if (engine_.musicAvailable()) {
        marks.length = engine_.lengthSeconds();
        marks.position = engine_.positionSeconds();
        marks.loopStart = loop_.start;
        marks.loopEnd = loop_.end;
        marks.loopOn = loop_.on;
        marks.markers = markers_;
    }
    view_->setMarks(marks);
}

void OverviewController::seek(double seconds) {
    if (!engine_.musicAvailable())
        return;
    // The strip's right edge is the song's end, where a seek would change nothing.
    engine_.seekSeconds(std::clamp(seconds, 0.0, std::max(0.0, engine_.lengthSeconds() - 0.01)));
    emit positionMoved();
}
