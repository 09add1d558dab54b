#include "device/common/numbertext.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace NumberText {
namespace {

bool isBlank(QChar c) { return c == u' ' || c == u'\t'; }
bool isDigit(QChar c) { return c >= u'0' && c <= u'9'; }

// The position after the run of digits that starts at i.
qsizetype skipDigits(QStringView text, qsizetype i)
{
    while (i < text.size() && isDigit(text[i]))
        ++i;
    return i;
}

// from_chars gives up on magnitudes a double cannot hold, both huge and tiny.
// Decide which from the decimal exponent the text implies: huge reads as
// infinity, tiny as 0.
double outOfRangeValue(const std::string &number)
{
    const bool negative = number.front() == '-';
    long long magnitude = 0;
    bool leading = true;
    bool fraction = false;
    size_t i = (number.front() == '-' || number.front() == '+') ? 1 : 0;
    for (; i < number.size() && number[i] != 'e' && number[i] != 'E'; ++i) {
        const char c = number[i];
        if (c == '.') {
            fraction = true;
        } else if (leading && c == '0') {
            if (fraction)
                --magnitude;
        } else {
            leading = false;
            if (!fraction)
                ++magnitude;
        }
    }
    if (i < number.size()) {
        const char *first = number.data() + i + 1;
        if (*first == '+')
            ++first;
        long long exponent = 0;
        const auto r = std::from_chars(first, number.data() + number.size(), exponent);
        if (r.ec == std::errc::result_out_of_range)
            exponent = (*first == '-') ? -1000000 : 1000000;
        magnitude += exponent;
    }
    const double value = magnitude > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    return negative ? -value : value;
}

} // namespace

Reading read(QStringView text)
{
    Reading r;
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && isBlank(text[i]))
        ++i;

    const qsizetype start = i;
    if (i < n && (text[i] == u'+' || text[i] == u'-'))
        ++i;
    qsizetype end = skipDigits(text, i);
    qsizetype digits = end - i;
    i = end;
    if (i < n && text[i] == u'.') {
        end = skipDigits(text, i + 1);
        // "5." reads as 5; a lone "." is no number.
        if (digits + (end - i - 1) > 0) {
            digits += end - i - 1;
            i = end;
        }
    }
    if (digits == 0)
        return r;

    // An exponent counts only when digits follow it: "1e3" is 1000, "1e" is 1.
    if (i < n && (text[i] == u'e' || text[i] == u'E')) {
        qsizetype j = i + 1;
        if (j < n && (text[j] == u'+' || text[j] == u'-'))
            ++j;
        if (skipDigits(text, j) > j)
            i = skipDigits(text, j);
    }

    // Only ASCII was accepted above, so Latin-1 is exact; from_chars never
    // looks at the locale.
    std::string ascii = text.mid(start, i - start).toString().toStdString();
    const char *first = ascii.data();
    const char *last = first + ascii.size();
    if (*first == '+')
        ++first;
    double value = 0;
    const auto result = std::from_chars(first, last, value);
    if (result.ec == std::errc::result_out_of_range)
        value = outOfRangeValue(ascii);
    r.value = value;

    while (i < n && isBlank(text[i]))
        ++i;
    r.whole = (i == n);
    return r;
}

double roundHalfEven(double value)
{
    // nearbyint follows the current rounding mode, which is round-to-nearest,
    // ties-to-even unless someone changed it.
    return std::nearbyint(value);
}

bool fitsInt16(double value)
{
    return value >= std::numeric_limits<qint16>::min()
        && value <= std::numeric_limits<qint16>::max();
}

QString wholeNumberText(double value)
{
    if (std::isinf(value))
        return value < 0 ? QStringLiteral("-inf") : QStringLiteral("inf");
    if (std::fabs(value) < 9.0e15)
        return QString::number(static_cast<qint64>(value));
    return QString::number(value, 'f', 0);
}

QString zeroPadded(qint64 value, int digits)
{
    return QString::number(value).rightJustified(digits, QLatin1Char('0'));
}

} // namespace NumberText
