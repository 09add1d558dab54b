#pragma once

#include <QString>
#include <QStringView>

// Numbers typed by the operator or found in the settings store. One reading
// rule for the whole program, independent of the locale: the decimal
// separator is always ".".
namespace NumberText {

struct Reading
{
    double value = 0;    // the number the text begins with, 0 if none
    bool found = false;  // the text begins with a number (after blanks)
    bool whole = false;  // nothing but blanks follows that number
};

// Reads the number a text begins with: leading blanks skipped, an optional
// sign, digits, an optional decimal point with digits, an optional exponent;
// reading stops at the first character that cannot continue the number. A
// text that does not begin with a number has the value 0. Magnitudes beyond
// the range of a double read as infinity.
Reading Read(QStringView text);

// The text as a whole is a number: it begins with one and only blanks follow.
// Empty text is not a number.
inline bool IsNumber(QStringView text) { return Read(text).whole; }

// Nearest whole number; an exact half goes to the even neighbour.
double RoundHalfEven(double value);

// True when value, already whole, fits a 16-bit signed integer.
bool FitsInt16(double value);

// The whole number as plain decimal text: "-" if negative, no leading zeros.
QString WholeNumberText(double value);

// A count of at least `digits` digits, zeros in front: ZeroPadded(5, 2) is
// "05", ZeroPadded(123, 2) "123". For values from 0 up.
QString ZeroPadded(qint64 value, int digits);

} // namespace NumberText
