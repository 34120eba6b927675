// The texts of the player window's value fields and time display, and the rate slider's range:
// pure functions, so their arithmetic is tested without a window or an engine.
#ifndef TONVERA_PLAYER_DISPLAYFORMAT_H
#define TONVERA_PLAYER_DISPLAYFORMAT_H

#include <QString>
#include <optional>

namespace display {

// The one number format of the value fields: moved away from zero to the next multiple of 0.05
// (a multiple stays), exactly two decimals after a comma whatever the locale, no grouping, a
// leading minus. The rounding works on the value as it was set, the float's shortest decimal
// form: 12.3f gives "12,30" although it is stored a hair above 12.3, and 12.34f gives "12,35".
QString formatNumber(float value);

// A number typed into a value field: a comma or a point as the decimal separator, blanks around
// it ignored. Anything else (letters, two separators, an empty field, infinities, values beyond
// the float range) gives nullopt, so the caller leaves the engine alone.
std::optional<float> parseNumber(const QString& text);

// "%02u:%02u / %02u:%02u": position and length in playing time, that is seconds of the file
// (the position slider's value and maximum) divided by the tempo ratio and truncated. Minutes are
// not limited to two digits. nullopt when the ratio is not above 0 (no music): the display then
// keeps its text.
std::optional<QString> playingTimeText(double positionSeconds, double lengthSeconds,
                                       float tempoRatio);

// "83.4 s": a place in the music in seconds of the file with tenths (truncated, so a place never
// reads later than it is), as the loop and the markers show and take typed values.
QString secondsText(double seconds);

// The rate slider's range for a file's own rate r: trunc(0.7 r) to trunc(1.3 r), both products in
// single precision, so 48000 Hz gives 33600..62399 (1.3f is a little below 1.3).
struct RateRange {
    int minimum = 0;
    int maximum = 0;
};
RateRange rateRange(float fileRate);

}  // namespace display

#endif
