// Numbers read the way the player's text fields and stored settings have always been read: the
// number a text begins with, so "120,5" is 120 and "abc" is 0. Locale-independent: a point is the
// only decimal separator here.
#ifndef TONVERA_FORMATS_NUMBERTEXT_H
#define TONVERA_FORMATS_NUMBERTEXT_H

#include <QStringView>
#include <QVariant>

namespace numbertext {

// Leading blanks, an optional sign and decimal digits; anything after them is ignored. 0 when the
// text begins with no digits. Beyond the int range the result is held at INT_MAX / INT_MIN.
int integerValue(QStringView text);

// Leading blanks, an optional sign, digits with an optional fraction and an optional exponent.
// 0 when the text begins with no number; a magnitude beyond double's range gives an infinity.
// "inf" and "nan" are not numbers here.
double realValue(QStringView text);

// The whole-number part of a number object (an integer or a real QVariant): truncated toward zero
// and held within the int range; 0 for an empty variant, NaN or anything that is not a number.
int wholeNumberPart(const QVariant& number);

// A number object as a float; NaN for an empty variant or anything that is not a number.
float floatValue(const QVariant& number);

}  // namespace numbertext

#endif
