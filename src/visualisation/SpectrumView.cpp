#include "visualisation/SpectrumView.h"

#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QPainter>
#include <QTimer>
#include <utility>

#include "engine/SoundEngine.h"
#include "logging/Console.h"
#include "visualisation/GlobalSettings.h"
#include "visualisation/SpectrumDrop.h"

SpectrumView::SpectrumView(QWidget* parent) : QWidget(parent) {
    setAcceptDrops(true);
    // Every paint covers the whole view with black first.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

SpectrumView::~SpectrumView() = default;

void SpectrumView::setFileOpener(FileOpener opener) {
    opener_ = std::move(opener);
}

void SpectrumView::setEngine(SoundEngine* engine) {
    setDataSource(engine != nullptr ? std::make_unique<EngineDataSource>(*engine) : nullptr);
}

void SpectrumView::setDataSource(std::unique_ptr<VisualDataSource> source) {
    std::lock_guard<std::recursive_mutex> lock(dataLock_);
    dataSource_ = std::move(source);
}

void SpectrumView::setSettings(GlobalSettings* settings) {
    settings_ = settings;
}

GlobalSettings& SpectrumView::settings() {
    return settings_ != nullptr ? *settings_ : GlobalSettings::sharedSingleton();
}

VisualDataSource& SpectrumView::dataSource() {
    if (!dataSource_)
        dataSource_ = std::make_unique<EngineDataSource>(SoundEngine::sharedSingleton());
    return *dataSource_;
}

void SpectrumView::updateData() {
    std::lock_guard<std::recursive_mutex> lock(dataLock_);
    specData_ = std::monostate{};
    switch (settings().spectrumType()) {
        case SpectrumTypeFFT:
            if (auto bins = dataSource().spectrumData(kDataSize, kDataHeight)) {
                specData_ = std::move(*bins);
            }
            break;
        case SpectrumTypeWaveForm:
            specData_ = dataSource().waveData(kDataSize, kDataHeight);
            break;
        default:
            break;
    }
}

SpectrumData SpectrumView::specData() {
    std::lock_guard<std::recursive_mutex> lock(dataLock_);
    return specData_;
}

void SpectrumView::setSpecData(SpectrumData data) {
    std::lock_guard<std::recursive_mutex> lock(dataLock_);
    specData_ = std::move(data);
}

void SpectrumView::renderTo(QPainter& painter, const QSize& frame) {
    std::lock_guard<std::recursive_mutex> lock(viewLock_);
    spectrumrender::render(painter, QSizeF(frame), settings().spectrumType(), specData_);
}

QSize SpectrumView::sizeHint() const {
    return {500, 130};
}

void SpectrumView::paintEvent(QPaintEvent* /*event*/) {
    // The whole view is redrawn whatever part was exposed: the data is drawn in one pass.
    QPainter painter(this);
    renderTo(painter, size());
}

namespace {
// Entering and moving answer alike (QDragEnterEvent is a QDragMoveEvent).
void answerDrag(QDragMoveEvent* event) {
    const Qt::DropAction action = spectrumdrop::answer(event->possibleActions());
    if (action == Qt::IgnoreAction || !spectrumdrop::admits(*event->mimeData())) {
        event->ignore();
        return;
    }
    event->setDropAction(action);
    event->accept();
}
}  // namespace

void SpectrumView::dragEnterEvent(QDragEnterEvent* event) {
    console("DragQueen.draggingEntered");
    answerDrag(event);
}

void SpectrumView::dragMoveEvent(QDragMoveEvent* event) {
    answerDrag(event);
}

void SpectrumView::dragLeaveEvent(QDragLeaveEvent* event) {
    console("DragQueen.draggingExited");
    event->accept();
}

void SpectrumView::dropEvent(QDropEvent* event) {
    const Qt::DropAction action = spectrumdrop::answer(event->possibleActions());
    if (action == Qt::IgnoreAction) {
        event->ignore();
        return;
    }
    takeDrop(*event->mimeData());
    event->setDropAction(action);
    event->accept();
}

void SpectrumView::takeDrop(const QMimeData& mime) {
    switch (spectrumdrop::preferredType(mime)) {
        case spectrumdrop::DropType::None:
            console("Oppps.....");
            return;
        case spectrumdrop::DropType::Image:
            return;
        case spectrumdrop::DropType::FileNames:
            break;
    }
    const QString path = spectrumdrop::localFilePaths(mime).constFirst();
    console("SpectrumView got drag'n'drop file: %s", path.toUtf8().constData());
    if (QFileInfo(path).isDir()) {
        console("SpectrumView: a folder is not music, not opened: %s", path.toUtf8().constData());
        return;
    }
    if (!opener_)
        return;
    // Opened once the drop has finished: the file manager waits for the drop's answer, and
    // opening (decoding, measuring the length) must not keep it waiting. The timer dies with the
    // view, so a view closed in between opens nothing.
    QTimer::singleShot(0, this, [this, path] {
        if (opener_)
            opener_(path);
    });
}
