#include "ui/ValueSlider.h"

#include <QPainter>
#include <QProxyStyle>
#include <QStyleOptionSlider>
#include <algorithm>
#include <climits>
#include <cmath>

namespace {

// The style's own answer, except that the left button sets the slider absolutely. With no base
// style given, QProxyStyle follows the application's style and does not own it.
class JumpToClickStyle : public QProxyStyle {
  public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == QStyle::SH_Slider_AbsoluteSetButtons) {
            return Qt::LeftButton;
        }
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

}  // namespace

ValueSlider::ValueSlider(QWidget* parent) : QSlider(parent) {
    connect(this, &QAbstractSlider::valueChanged, this, [this] {
        if (!settingFromCode_) {
            emit userMoved();
        }
    });
}

void ValueSlider::setJumpsToClick(bool on) {
    if (on == jumpsToClick_) {
        return;
    }
    jumpsToClick_ = on;
    if (on) {
        auto* style = new JumpToClickStyle;
        style->setParent(this);  // a widget does not own the style it is given
        setStyle(style);
    } else {
        QStyle* own = style();
        setStyle(nullptr);  // back to the application's style
        delete own;
    }
}

void ValueSlider::setScale(double stepsPerUnit) {
    if (stepsPerUnit > 0.0 && std::isfinite(stepsPerUnit)) {
        scale_ = stepsPerUnit;
    }
}

float ValueSlider::floatValue() const {
    return static_cast<float>(value() / scale_);
}
float ValueSlider::floatMinimum() const {
    return static_cast<float>(minimum() / scale_);
}
float ValueSlider::floatMaximum() const {
    return static_cast<float>(maximum() / scale_);
}

int ValueSlider::toSteps(double units) const {
    // Clamped in double first: a typed 1e30 must not overflow the int conversion.
    const double steps = std::round(units * scale_);
    if (steps <= static_cast<double>(INT_MIN))
        return INT_MIN;
    if (steps >= static_cast<double>(INT_MAX))
        return INT_MAX;
    return static_cast<int>(steps);
}

void ValueSlider::setFloatValue(float value) {
    if (std::isnan(value)) {
        return;
    }
    const bool outer = settingFromCode_;
    settingFromCode_ = true;
    setValue(toSteps(value));  // QAbstractSlider clamps to the range
    settingFromCode_ = outer;
}

float ValueSlider::heldValue(float value) const {
    if (std::isnan(value)) {
        return floatValue();
    }
    return static_cast<float>(std::clamp(toSteps(value), minimum(), maximum()) / scale_);
}

void ValueSlider::setFloatRange(float minimum, float maximum) {
    if (std::isnan(minimum) || std::isnan(maximum)) {
        return;
    }
    const bool outer = settingFromCode_;
    settingFromCode_ = true;
    setRange(toSteps(minimum), toSteps(maximum));  // moves the value into the new range
    settingFromCode_ = outer;
}

void ValueSlider::setHighlight(float from, float to) {
    if (!(to > from)) {
        from = to = 0.0F;
    }
    if (from == highlightFrom_ && to == highlightTo_) {
        return;
    }
    highlightFrom_ = from;
    highlightTo_ = to;
    update();
}

void ValueSlider::paintEvent(QPaintEvent* event) {
    QSlider::paintEvent(event);
    if (!hasHighlight() || maximum() <= minimum()) {
        return;
    }
    QStyleOptionSlider option;
    initStyleOption(&option);
    const QRect groove =
        style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, this);
    const QRect handle =
        style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
    // The handle's centre travels the groove less one handle: the same span the values map to.
    const bool across = orientation() == Qt::Horizontal;
    const int handleLength = across ? handle.width() : handle.height();
    const int span = (across ? groove.width() : groove.height()) - handleLength;
    const int origin = (across ? groove.left() : groove.top()) + handleLength / 2;
    const auto pixelOf = [&](float value) {
        return origin + QStyle::sliderPositionFromValue(minimum(), maximum(), toSteps(value), span,
                                                        option.upsideDown);
    };
    const int from = pixelOf(highlightFrom_);
    const int to = pixelOf(highlightTo_);
    QPainter painter(this);
    // Not the palette's highlight: the groove's played part has that colour already.
    const QColor colour(255, 140, 0, 150);
    const int thickness = (across ? groove.height() : groove.width()) + 6;
    if (across) {
        const int y = groove.center().y() - thickness / 2;
        painter.fillRect(QRect(std::min(from, to), y, std::max(2, std::abs(to - from)), thickness),
                         colour);
    } else {
        const int x = groove.center().x() - thickness / 2;
        painter.fillRect(QRect(x, std::min(from, to), thickness, std::max(2, std::abs(to - from))),
                         colour);
    }
    // The handle stays on top of the range.
    option.subControls = QStyle::SC_SliderHandle;
    style()->drawComplexControl(QStyle::CC_Slider, &option, &painter, this);
}
