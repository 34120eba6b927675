#include "player/practice/LoopTool.h"

#include <QAction>
#include <QApplication>
#include <QBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMainWindow>
#include <QMenu>
#include <QPushButton>
#include <QToolButton>
#include <algorithm>
#include <cmath>
#include <optional>

#include "engine/SoundEngine.h"
#include "logging/Console.h"
#include "player/DisplayFormat.h"

namespace {

// A loop shorter than this is no passage, and the seam's crossfade would fill it.
constexpr double kShortestLoopSeconds = 0.05;

QString loopTimeText(double seconds) {
    const double shown = std::max(0.0, seconds);
    const int minutes = static_cast<int>(shown / 60.0);
    const double rest = shown - minutes * 60.0;
    return QStringLiteral("%1:%2").arg(minutes).arg(rest, 5, 'f', 2, QLatin1Char('0'));
}

}  // namespace

LoopTool::LoopTool(SoundEngine& engine, Seek seek)
    : QObject(nullptr), engine_(engine), seek_(std::move(seek)) {}

LoopTool::~LoopTool() = default;

void LoopTool::addControls(QWidget* group, QBoxLayout* row) {
    // A and B set the loop's ends here; their arrows hold the nudges.
    const auto endButton = [this, group](const QString& text, const QString& tip, bool isEnd) {
        auto* button = new QToolButton(group);
        button->setText(text);
        button->setToolTip(tip);
        button->setPopupMode(QToolButton::MenuButtonPopup);
        auto* menu = new QMenu(button);
        for (const double ms : {-100.0, -10.0, 10.0, 100.0}) {
            QAction* move =
                menu->addAction(ms < 0 ? tr("%1 ms earlier").arg(-ms) : tr("%1 ms later").arg(ms));
            connect(move, &QAction::triggered, this, [this, ms, isEnd] {
                nudgeEnd_ = isEnd;
                nudge(ms / 1000.0);
            });
        }
        button->setMenu(menu);
        return button;
    };
    buttonA_ = endButton(tr("A"), tr("Set the loop start here ( [ )"), false);
    buttonB_ = endButton(tr("B"), tr("Set the loop end here ( ] )"), true);
    connect(buttonA_, &QToolButton::clicked, this, &LoopTool::setStart);
    connect(buttonB_, &QToolButton::clicked, this, &LoopTool::setEnd);
    buttonLoop_ = new QPushButton(tr("Loop"), group);
    buttonLoop_->setCheckable(true);
    buttonLoop_->setToolTip(tr("Loop on or off (L)"));
    connect(buttonLoop_, &QPushButton::clicked, this, &LoopTool::setOn);
    buttonClear_ = new QPushButton(tr("Clear"), group);
    buttonClear_->setToolTip(tr("Clear the loop"));
    connect(buttonClear_, &QPushButton::clicked, this, &LoopTool::clear);
    loopLabel_ = new QLabel(group);
    loopLabel_->setObjectName(QStringLiteral("labelLoop"));
    // The ends in seconds, to be read and typed exactly; shown while a loop is set.
    const auto endField = [this, group](const QString& name, const QString& tip, bool isEnd) {
        auto* field = new QLineEdit(group);
        field->setObjectName(name);
        field->setToolTip(tip);
        field->setMaximumWidth(field->fontMetrics().horizontalAdvance(QStringLiteral("00000.00")));
        connect(field, &QLineEdit::editingFinished, this,
                [this, field, isEnd] { typedEnd(field, isEnd); });
        return field;
    };
    fieldA_ = endField(QStringLiteral("fieldLoopStart"), tr("Loop start in seconds"), false);
    fieldB_ = endField(QStringLiteral("fieldLoopEnd"), tr("Loop end in seconds"), true);
    for (QWidget* widget : std::initializer_list<QWidget*>{
             buttonA_, buttonB_, buttonLoop_, buttonClear_, loopLabel_, fieldA_, fieldB_}) {
        row->addWidget(widget);
    }
    row->addStretch(1);
}

void LoopTool::addPositionSeconds(QMainWindow* window) {
    // Seconds with tenths beside the time display, while a loop asks for that precision.
    positionSeconds_ = new QLabel(window);
    positionSeconds_->setObjectName(QStringLiteral("labelPositionSeconds"));
    positionSeconds_->setToolTip(tr("The position in seconds of the music"));
    if (auto* transport = window->findChild<QBoxLayout*>(QStringLiteral("layoutTransport"))) {
        transport->addWidget(positionSeconds_);
    }
}

void LoopTool::addMenuItems(QMenu* menu) {
    connect(menu->addAction(tr("Set Loop &Start (A)\t[")), &QAction::triggered, this,
            &LoopTool::setStart);
    connect(menu->addAction(tr("Set Loop &End (B)\t]")), &QAction::triggered, this,
            &LoopTool::setEnd);
    loopAction_ = menu->addAction(tr("&Loop\tL"));
    loopAction_->setCheckable(true);
    connect(loopAction_, &QAction::triggered, this, &LoopTool::setOn);
    connect(menu->addAction(tr("&Clear Loop")), &QAction::triggered, this, &LoopTool::clear);
    connect(menu->addAction(tr("&Back to Start\tHome")), &QAction::triggered, this,
            &LoopTool::backToStart);
    // The menu's items are the last of the loop's controls: from here on it can be shown.
    show();
}

void LoopTool::setStart() {
    if (!engine_.musicAvailable()) {
        QApplication::beep();
        return;
    }
    const double here = engine_.positionSeconds();
    loop_.start = here;
    if (loop_.end <= here + kShortestLoopSeconds) {
        loop_.end = 0.0;
        loop_.on = false;
    }
    nudgeEnd_ = false;
    apply();
}

void LoopTool::setEnd() {
    if (!engine_.musicAvailable()) {
        QApplication::beep();
        return;
    }
    const double here = engine_.positionSeconds();
    if (here < loop_.start + kShortestLoopSeconds) {
        console("loop: the end must come after the start");
        QApplication::beep();
        return;
    }
    loop_.end = here;
    // Setting both ends is asking for the loop.
    loop_.on = true;
    nudgeEnd_ = true;
    apply();
    // Where the end was set, playback has already passed it: go round at once.
    seek_(loop_.start);
}

void LoopTool::setOn(bool on) {
    if (on && !loop_.isSet()) {
        QApplication::beep();
        on = false;
    }
    loop_.on = on;
    apply();
    const double here = engine_.positionSeconds();
    if (on && (here < loop_.start || here >= loop_.end)) {
        seek_(loop_.start);
    }
}

void LoopTool::clear() {
    emit aboutToClear();
    loop_ = LoopRange{};
    apply();
}

void LoopTool::nudge(double seconds) {
    const double length = engine_.lengthSeconds();
    if (nudgeEnd_ && loop_.isSet()) {
        loop_.end = std::clamp(loop_.end + seconds, loop_.start + kShortestLoopSeconds, length);
    } else {
        const double latest = loop_.isSet() ? loop_.end - kShortestLoopSeconds : length;
        loop_.start = std::clamp(loop_.start + seconds, 0.0, std::max(0.0, latest));
    }
    apply();
}

void LoopTool::loopBetween(const LoopRange& range) {
    if (!range.isSet() || !engine_.musicAvailable()) {
        QApplication::beep();
        return;
    }
    loop_ = LoopRange{range.start, range.end, true};
    nudgeEnd_ = true;
    apply();
    seek_(loop_.start);
}

void LoopTool::backToStart() {
    seek_(loop_.on && loop_.isSet() ? loop_.start : playStartedAt_);
}

void LoopTool::playStarted() {
    playStartedAt_ = engine_.positionSeconds();
}

void LoopTool::playFromStart() {
    loop_.on = true;
    apply();
    seek_(loop_.start);
}

void LoopTool::set(const LoopRange& loop) {
    loop_ = loop;
    if (!loop_.isSet()) {
        loop_.on = false;
    }
    apply();
}

void LoopTool::musicOpened() {
    loop_ = LoopRange{};
    playStartedAt_ = 0.0;
    show();
}

void LoopTool::typedEnd(QLineEdit* field, bool isEnd) {
    if (!field->isModified()) {
        return;
    }
    field->setModified(false);
    bool number = false;
    const double value = QLocale::c().toDouble(
        field->text().trimmed().replace(QLatin1Char(','), QLatin1Char('.')), &number);
    const std::optional<double> typed =
        number && std::isfinite(value) ? std::optional<double>(value) : std::nullopt;
    const double length = engine_.lengthSeconds();
    LoopRange changed = loop_;
    (isEnd ? changed.end : changed.start) = typed.value_or(-1.0);
    // A typed end keeps the loop a passage inside the song; anything else is refused.
    if (!typed || changed.start < 0.0 || changed.end > length ||
        changed.end < changed.start + kShortestLoopSeconds) {
        console("loop: %s is no %s for this loop", qUtf8Printable(field->text()),
                isEnd ? "end" : "start");
        QApplication::beep();
        show();
        return;
    }
    loop_ = changed;
    nudgeEnd_ = isEnd;
    apply();
    const double here = engine_.positionSeconds();
    if (loop_.on && (here < loop_.start || here >= loop_.end)) {
        seek_(loop_.start);
    }
}

void LoopTool::showPositionSeconds() {
    const bool shown = loop_.isSet() && engine_.musicAvailable();
    positionSeconds_->setVisible(shown);
    if (shown) {
        positionSeconds_->setText(display::secondsText(engine_.positionSeconds()));
    }
}

void LoopTool::apply() {
    const bool wraps = loop_.on && loop_.isSet();
    if (wraps) {
        console("loop: A %.3f s, B %.3f s", loop_.start, loop_.end);
    } else {
        console("loop: off");
    }
    engine_.setLoop(wraps ? loop_.start : 0.0, wraps ? loop_.end : 0.0);
    show();
    emit changed(loop_);
}

void LoopTool::show() {
    const bool shown = loop_.isSet();
    QString text;
    if (shown) {
        text = tr("A %1 \u2013 B %2").arg(loopTimeText(loop_.start), loopTimeText(loop_.end));
        if (!loop_.on)
            text += tr(" (off)");
    } else if (loop_.start > 0.0) {
        text = tr("A %1").arg(loopTimeText(loop_.start));
    } else {
        text = tr("No loop");
    }
    loopLabel_->setText(text);
    fieldA_->setVisible(shown);
    fieldB_->setVisible(shown);
    for (QLineEdit* field : {fieldA_, fieldB_}) {
        if (!(field->hasFocus() && field->isModified())) {
            const double end = field == fieldA_ ? loop_.start : loop_.end;
            field->setText(QString::number(end, 'f', 3));
            field->setModified(false);
        }
    }
    showPositionSeconds();
    buttonLoop_->setChecked(loop_.on);
    loopAction_->setChecked(loop_.on);
}
