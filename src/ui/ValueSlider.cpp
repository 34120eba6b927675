#include "ui/ValueSlider.h"

#include <climits>
#include <cmath>

ValueSlider::ValueSlider(QWidget* parent) : QSlider(parent) {
    connect(this, &QAbstractSlider::valueChanged, this, [this] {
        if (!settingFromCode_) {
            emit userMoved();
        }
    });
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
