#include "player/overview/SongOverview.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace {

constexpr int kHeight = 56;
const QColor kBackground(24, 24, 28);
const QColor kPlayed(90, 180, 255);
const QColor kAhead(70, 110, 150);
const QColor kLoop(255, 140, 0, 70);  // the position slider's loop colour, lighter
const QColor kLoopEdge(255, 140, 0, 220);
const QColor kMarker(255, 215, 0);
const QColor kPlayhead(255, 255, 255);

}  // namespace

SongOverview::SongOverview(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("songOverview"));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    // The keys move the position already; the strip is for the pointer.
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::PointingHandCursor);
    setToolTip(tr("The whole song: click or drag to play from there"));
    setAccessibleName(tr("Song overview"));
}

QSize SongOverview::sizeHint() const {
    return {400, kHeight};
}

QSize SongOverview::minimumSizeHint() const {
    return {60, kHeight};
}

void SongOverview::setPeaks(std::shared_ptr<const OverviewPeaks> peaks) {
    peaks_ = std::move(peaks);
    computeColumns();
    update();
}

void SongOverview::setProgress(std::optional<float> progress) {
    if (progress == progress_)
        return;
    progress_ = progress;
    update();
}

void SongOverview::setMessage(const QString& text) {
    if (text == message_)
        return;
    message_ = text;
    update();
}

void SongOverview::setMarks(const Marks& marks) {
    if (dragging_) {
        // The pointer holds the position until it lets go.
        Marks kept = marks;
        kept.position = marks_.position;
        if (kept == marks_)
            return;
        marks_ = std::move(kept);
    } else {
        if (marks == marks_)
            return;
        marks_ = marks;
    }
    update();
}

double SongOverview::secondsAt(double x) const {
    if (width() <= 0 || marks_.length <= 0.0)
        return 0.0;
    return std::clamp(x / width(), 0.0, 1.0) * marks_.length;
}

double SongOverview::xOf(double seconds) const {
    if (marks_.length <= 0.0)
        return 0.0;
    return seconds / marks_.length * width();
}

void SongOverview::computeColumns() {
    columns_.clear();
    const int columns = width();
    if (!peaks_ || columns <= 0)
        return;
    const int lanes = peaks_->lanes;
    columns_.resize(static_cast<std::size_t>(columns) * static_cast<std::size_t>(lanes));
    const double framesPerColumn = static_cast<double>(peaks_->frames) / columns;
    for (int column = 0; column < columns; ++column) {
        const auto first = static_cast<std::uint64_t>(column * framesPerColumn);
        const auto last =
            std::max(first + 1, static_cast<std::uint64_t>((column + 1) * framesPerColumn));
        for (int lane = 0; lane < lanes; ++lane) {
            columns_[static_cast<std::size_t>(column * lanes + lane)] =
                peaks_->peakOver(first, last, lane);
        }
    }
}

void SongOverview::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    computeColumns();
}

void SongOverview::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.fillRect(rect(), kBackground);
    const int w = width();
    const int h = height();
    if (peaks_ && !columns_.empty()) {
        const int lanes = peaks_->lanes;
        const double laneHeight = static_cast<double>(h) / lanes;
        const int played = static_cast<int>(std::lround(xOf(marks_.position)));
        for (int column = 0; column < w; ++column) {
            painter.setPen(column < played ? kPlayed : kAhead);
            for (int lane = 0; lane < lanes; ++lane) {
                const double centre = laneHeight * (lane + 0.5);
                const double half = columns_[static_cast<std::size_t>(column * lanes + lane)] *
                                    (laneHeight / 2 - 1);
                painter.drawLine(QLineF(column + 0.5, centre - half, column + 0.5, centre + half));
            }
        }
    }

    // Over the waveform, so the passage's own peaks show tinted.
    const bool hasLoop = marks_.loopEnd > marks_.loopStart && marks_.length > 0.0;
    if (hasLoop) {
        const double a = xOf(marks_.loopStart);
        const double b = xOf(marks_.loopEnd);
        QColor band = kLoop;
        if (!marks_.loopOn)
            band.setAlpha(band.alpha() / 2);
        painter.fillRect(QRectF(a, 0, std::max(1.0, b - a), h), band);
        painter.setPen(QPen(kLoopEdge, 1));
        painter.drawLine(QLineF(a, 0, a, h));
        painter.drawLine(QLineF(b, 0, b, h));
    }

    painter.setPen(QPen(kMarker, 1));
    for (std::size_t i = 0; i < marks_.markers.size(); ++i) {
        const double x = xOf(marks_.markers[i]);
        painter.drawLine(QLineF(x, 0, x, h));
        const QPolygonF flag({QPointF(x, 0), QPointF(x + 6, 0), QPointF(x, 6)});
        painter.setBrush(kMarker);
        painter.drawPolygon(flag);
        painter.drawText(QPointF(x + 3, h - 3), QString::number(i + 1));
    }

    if (marks_.length > 0.0) {
        const double x = xOf(marks_.position);
        painter.setPen(QPen(kPlayhead, 2));
        painter.drawLine(QLineF(x, 0, x, h));
    }

    QString text = message_;
    if (progress_) {
        text = tr("Reading the song\u2026 %1 %").arg(std::lround(*progress_ * 100.0F));
        painter.fillRect(QRectF(0, h - 3, w * static_cast<double>(*progress_), 3), kPlayed);
    }
    if (!text.isEmpty()) {
        painter.setPen(palette().color(QPalette::BrightText));
        painter.drawText(rect(), Qt::AlignCenter, text);
    }
}

void SongOverview::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || marks_.length <= 0.0) {
        QWidget::mousePressEvent(event);
        return;
    }
    dragging_ = true;
    marks_.position = secondsAt(event->position().x());
    update();
    emit seekRequested(marks_.position);
}

void SongOverview::mouseMoveEvent(QMouseEvent* event) {
    if (!dragging_) {
        QWidget::mouseMoveEvent(event);
        return;
    }
    const double seconds = secondsAt(event->position().x());
    if (seconds != marks_.position) {
        marks_.position = seconds;
        update();
        emit seekRequested(seconds);
    }
}

void SongOverview::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        dragging_ = false;
    QWidget::mouseReleaseEvent(event);
}
