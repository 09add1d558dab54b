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
    bool whole = false;  // nothing but blanks follows that number
};

// Reads the number a text begins with: leading blanks skipped, an optional
// sign, digits, an optional decimal point with digits, an optional exponent;
// reading stops at the first character that cannot continue the number. A
// text that does not begin with a number has the value 0. Magnitudes beyond
// the range of a double read as infinity.
Reading read(QStringView text);

// Nearest whole number; an exact half goes to the even neighbour.
double roundHalfEven(double value);

// True when value, already whole, fits a 16-bit signed integer.
bool fitsInt16(double value);

// The whole number as plain decimal text: "-" if negative, no leading zeros.
QString wholeNumberText(double value);

// A count of at least `digits` digits, zeros in front: zeroPadded(5, 2) is
// "05", zeroPadded(123, 2) "123". For values from 0 up.
QString zeroPadded(qint64 value, int digits);

} // namespace NumberText
