// A slider whose value is a float in the unit of what it controls (percent, semitones, Hz...).
// Qt sliders count in whole steps, so `scale` steps make one unit: a tempo slider with scale 100
// moves in steps of 0.01 %.
//
// Setting the value or range from code is silent; only changes made by the user (mouse,
// keyboard, wheel, or setValue() from outside, which is how tests act as the user) emit
// userMoved(). The controller relies on this: setting a slider from code must not reach the
// engine.
#ifndef TONVERA_UI_VALUESLIDER_H
#define TONVERA_UI_VALUESLIDER_H

#include <QSlider>

class ValueSlider : public QSlider {
    Q_OBJECT
    Q_PROPERTY(double scale READ scale WRITE setScale)
    Q_PROPERTY(bool jumpsToClick READ jumpsToClick WRITE setJumpsToClick)

  public:
    explicit ValueSlider(QWidget* parent = nullptr);

    double scale() const { return scale_; }
    // Steps per unit; values not above 0 are ignored. Set it before the range and the value.
    void setScale(double stepsPerUnit);

    // A left click on the groove puts the handle where it was clicked, instead of moving it one
    // page towards the click; dragging and keys are unchanged. Off by default.
    bool jumpsToClick() const { return jumpsToClick_; }
    void setJumpsToClick(bool on);

    float floatValue() const;
    float floatMinimum() const;
    float floatMaximum() const;
    // Held within the range (the nearest end); a NaN changes nothing.
    void setFloatValue(float value);
    // What setFloatValue(value) would leave the slider holding, without changing it.
    float heldValue(float value) const;
    void setFloatRange(float minimum, float maximum);

    // A range of values shown highlighted on the groove (an A-B loop on the position slider);
    // from >= to shows none.
    void setHighlight(float from, float to);
    bool hasHighlight() const { return highlightTo_ > highlightFrom_; }

  signals:
    void userMoved();

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    int toSteps(double units) const;

    double scale_ = 1.0;
    bool settingFromCode_ = false;
    bool jumpsToClick_ = false;
    float highlightFrom_ = 0.0F;
    float highlightTo_ = 0.0F;
};

#endif
