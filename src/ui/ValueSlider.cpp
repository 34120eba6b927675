#include "ui/ValueSlider.h"

#include <QProxyStyle>
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

void ValueSlider::setFloatRange(float minimum, float maximum) {
    if (std::isnan(minimum) || std::isnan(maximum)) {
        return;
    }
    const bool outer = settingFromCode_;
    settingFromCode_ = true;
    setRange(toSteps(minimum), toSteps(maximum));  // moves the value into the new range
    settingFromCode_ = outer;
}
