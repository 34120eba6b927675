// The player window's metronome row and what its controls do to the metronome: the BPM field,
// the start-with-music check box, the on/off button with its two pictures, and the click volume.
// The play button of the music reaches the metronome through musicStarted() / musicPaused().
//
// Threads: main thread only.
#ifndef TONVERA_METRONOME_METRONOMCONTROLS_H
#define TONVERA_METRONOME_METRONOMCONTROLS_H

#include <QObject>
#include <QString>
#include <QVariant>

class QAbstractButton;
class QLineEdit;
class Metronom;
class ValueSlider;

class MetronomControls : public QObject {
    Q_OBJECT

  public:
    struct Widgets {
        QLineEdit* labelMetronomBPM = nullptr;
        QAbstractButton* buttonMetronomStartWithMusic = nullptr;  // a check box
        QAbstractButton* buttonMetronomPlay = nullptr;            // checkable: on = running
        ValueSlider* sliderMetronomVolume = nullptr;
    };

    // When the button's current picture has this name (its file name without folder and
    // extension), stopMetronom() swaps the pictures back.
    static constexpr char kSwapBackImageName[] = "bla";

    // All pointers must outlive this object. `image` is the picture the button shows first (the
    // metronome is off), `alternateImage` the one it shows after the first click.
    MetronomControls(const Widgets& widgets, Metronom& metronom, const QString& image,
                     const QString& alternateImage, QObject* parent = nullptr);

    // Connects the three controls' user actions to the handlers below. Code that connects them
    // itself does not call this.
    void connectControls();

    // The on/off button was clicked; its checked state is the state after the click. On: the
    // field's whole number becomes the BPM and the metronome starts; a BPM that cannot be used
    // turns the button back off, so it never shows a running picture for a silent metronome.
    // Off: stop. The pictures swap with every accepted click.
    void clickedButtonMetronomPlay();
    // Ticked: disables the on/off button and stops the metronome (button state and pictures
    // stay). Cleared: enables the button; a running metronome keeps running.
    void clickedButtonMetronomStartWithMusic();
    void sliderMetronomVolumeMoved();
    // Disables the on/off button and stops the metronome; swaps the pictures back when the
    // current one is named kSwapBackImageName.
    void stopMetronom();

    // The music started playing: with the check box ticked, the field's BPM is taken and the
    // metronome (re)started; otherwise nothing.
    void musicStarted();
    // The music was paused: the metronome stops, however it was started. Its button is left
    // as it is.
    void musicPaused();

    // The BPM field's whole-number value as a number object (0 when it begins with no digits).
    QVariant bpmFromField() const;

    QString image() const { return image_; }
    QString alternateImage() const { return alternateImage_; }

  private:
    void swapImages();
    void showImage();

    Widgets widgets_;
    Metronom& metronom_;
    QString image_;
    QString alternateImage_;
};

#endif
