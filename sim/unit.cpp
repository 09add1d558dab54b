#include "unit.h"

#include "device/protocol/commands.h"
#include "device/protocol/lists.h"
#include "device/common/numbertext.h"
#include "device/protocol/reports.h"

#include <QDate>

using namespace Frames;
using NumberText::zeroPadded;

namespace Sim {

namespace {


QString quoted(const char *text)
{
    return QLatin1Char('"') + QLatin1String(text) + QLatin1Char('"');
}

QString onOff(quint8 value)
{
    return QString::number(value) + (value ? QLatin1String(" on") : QLatin1String(" off"));
}

QString notUnderstood(const QString &why, QByteArrayView bytes)
{
    return QStringLiteral("not understood: %1 [%2]").arg(why, hexBytes(bytes));
}

} // namespace

QString hexBytes(QByteArrayView bytes)
{
    return QString::fromLatin1(bytes.toByteArray().toHex(' ').toUpper());
}

Unit::Unit(Form form, const Settings &settings, const Time &start, qint64 now)
    : m_form(form)
    , m_settings(settings)
    , m_clockSet(start)
    , m_clockSetAt(now)
{
}

int Unit::daysInYear(int year) const
{
    const bool leap = m_form == Form::WithDate ? QDate::isLeapYear(year) : m_settings.leapYear;
    return leap ? 366 : 365;
}

Time Unit::timeAt(qint64 now) const
{
    Time time = m_clockSet;
    qint64 nanosecond = time.nanosecond + (now - m_clockSetAt);
    while (nanosecond >= NanosecondsPerDay) {
        nanosecond -= NanosecondsPerDay;
        if (++time.day > daysInYear(time.year)) {
            time.day = 1;
            ++time.year;
        }
    }
    while (nanosecond < 0) {
        nanosecond += NanosecondsPerDay;
        if (--time.day < 1)
            time.day = daysInYear(--time.year);
    }
    time.nanosecond = nanosecond;
    return time;
}

qint64 Unit::untilNextTick(qint64 now, qint64 period) const
{
    return period - timeAt(now).nanosecond % period;
}

void Unit::setClock(const Time &time, qint64 now)
{
    m_clockSet = time;
    m_clockSetAt = now;
}

QByteArray Unit::timeReport(qint64 now) const
{
    const Time time = timeAt(now);
    if (m_form == Form::TimeOnly)
        return timeReportFrame(time.day, time.hour(), time.minute(), time.second());
    // A clock set to day 366 of a common year shows 31 December; the next
    // day is 1 January of the next year.
    const QDate date = QDate(time.year, 1, 1).addDays(qMin(time.day, daysInYear(time.year)) - 1);
    const ReportDate calendar{time.year, date.month(), date.day()};
    return timeReportFrame(time.day, time.hour(), time.minute(), time.second(), &calendar);
}

QByteArray Unit::statusReport() const
{
    const Settings &s = m_settings;
    quint8 flags = 0;
    if (s.outputFreeze)
        flags |= OutputFreezeBit;
    if (s.readerEnabled)
        flags |= ReaderEnabledBit;
    // A time-only unit has one bit for binary seconds and "Pass-Through".
    if (s.binarySeconds || (m_form == Form::TimeOnly && s.controlFunction == Lists::PassThrough))
        flags |= BinarySecondsBit;
    if (s.gpsAvailable)
        flags |= GpsAvailableBit;
    if (reportsLock())
        flags |= ReaderLockedBit;
    const quint8 byte4 = m_form == Form::WithDate ? s.controlFunction : (s.leapYear ? LeapYearBit : 0);
    return statusReportFrame(s.timeZone, s.readMode, s.generateMode, flags, byte4, offsetDigits(s.offset));
}

QString Unit::describeReport(QByteArrayView frame) const
{
    const auto at = [&](int position) { return quint8(frame.at(position + 1)); };
    const int data = int(frame.size()) - 2;
    QString text;
    if (data >= TimeReportShortLength && quint8(frame.back()) == TimeReportEnd) {
        text = QStringLiteral("TimeReport ") + dayTimeText(dayOfYear(at(0), at(1)), at(2), at(3), at(4));
        if (data == TimeReportLongLength)
            text += QStringLiteral(" %1-%2-%3").arg(yearOf(at(5))).arg(zeroPadded(at(6), 2), zeroPadded(at(7), 2));
    } else if (data == StatusReportLength && quint8(frame.back()) == StatusReportEnd) {
        const quint8 flags = at(3);
        QStringList set;
        if (flags & OutputFreezeBit)
            set << QStringLiteral("freeze");
        if (flags & ReaderEnabledBit)
            set << QStringLiteral("reader");
        if (flags & BinarySecondsBit)
            set << (m_form == Form::TimeOnly ? QStringLiteral("binary-seconds/pass-through")
                                             : QStringLiteral("binary-seconds"));
        if (flags & GpsAvailableBit)
            set << QStringLiteral("gps");
        if (flags & ReaderLockedBit)
            set << QStringLiteral("locked");
        text = QStringLiteral("StatusReport zone %1 read %2 generate %3 flags %4 (%5) %6 offset %7")
                   .arg(at(0))
                   .arg(at(1))
                   .arg(at(2))
                   .arg(hexBytes(frame.sliced(4, 1)), set.join(QLatin1Char(' ')))
                   .arg(m_form == Form::WithDate ? QStringLiteral("function %1").arg(at(4))
                                                 : QStringLiteral("leap-year %1").arg(at(4) & LeapYearBit))
                   .arg(offsetFromDigits(reinterpret_cast<const quint8 *>(frame.data()) + 6));
    } else {
        text = QStringLiteral("bytes");
    }
    return text + QStringLiteral(" [") + hexBytes(frame) + QLatin1Char(']');
}

QStringList Unit::receive(QByteArrayView bytes, qint64 now)
{
    QStringList lines;
    for (const char c : bytes) {
        m_pending += c;
        if (quint8(c) == FrameTerminator) {
            // Only the last bytes before the end belong to the frame; anything
            // in front of them is noise on the line.
            const int code = m_pending.size() >= 2 ? quint8(m_pending.at(m_pending.size() - 2)) : -1;
            const int length = payloadLength(quint8(code)) + 2;
            if (code >= 0 && code < CommandCount && m_pending.size() > length) {
                lines << notUnderstood(QStringLiteral("stray bytes"), m_pending.first(m_pending.size() - length));
                m_pending.remove(0, m_pending.size() - length);
            }
            lines << apply(m_pending, now);
            m_pending.clear();
        } else if (m_pending.size() >= MaxFrameLength) {
            lines << notUnderstood(QStringLiteral("%1 bytes without a frame end").arg(m_pending.size()), m_pending);
            m_pending.clear();
        }
    }
    return lines;
}

QString Unit::apply(QByteArrayView frame, qint64 now)
{
    if (frame.size() < 2)
        return notUnderstood(QStringLiteral("frame end without a command"), frame);
    const quint8 code = quint8(frame.at(frame.size() - 2));
    const char *name = commandName(code);
    if (!name)
        return notUnderstood(QStringLiteral("no command has code %1").arg(code), frame);
    const int length = payloadLength(code);
    if (frame.size() - 2 < length) {
        return notUnderstood(QStringLiteral("%1 needs %2 payload bytes, got %3")
                                 .arg(QLatin1String(name))
                                 .arg(length)
                                 .arg(frame.size() - 2),
                             frame);
    }
    const QString meaning = applyCommand(code, frame.first(length), now);
    if (meaning.isEmpty()) {
        QStringList values;
        for (const char byte : frame.first(length))
            values << QString::number(quint8(byte));
        return notUnderstood(QStringLiteral("%1 %2 is out of range for this unit")
                                 .arg(QLatin1String(name), values.join(QLatin1Char(' '))),
                             frame);
    }
    return QStringLiteral("%1 %2 [%3]").arg(QLatin1String(name), meaning, hexBytes(frame));
}

// Applies one command; returns what it means, or nothing if the unit cannot
// take the value (and then nothing changes).
QString Unit::applyCommand(quint8 code, QByteArrayView payload, qint64 now)
{
    const auto at = [&](int i) { return quint8(payload.at(i)); };
    const quint8 value = at(0);
    const auto flag = [&](bool &setting) {
        if (value > 1)
            return QString();
        setting = value == 1;
        return onOff(value);
    };
    const auto position = [&](quint8 &setting, const char *const *names, std::size_t count) {
        if (value >= count)
            return QString();
        setting = value;
        return QString::number(value) + QLatin1Char(' ') + quoted(names[value]);
    };
    Settings &s = m_settings;

    switch (Command(code)) {
    case SetTime: {
        const int day = dayOfYear(at(0), at(1));
        if (at(1) > 99 || day < 1 || day > 366 || at(2) > 23 || at(3) > 59 || at(4) > 59)
            return {};
        Time time = timeAt(now);
        time.day = day;
        time.nanosecond = ((at(2) * 60 + at(3)) * 60 + at(4)) * NanosecondsPerSecond;
        setClock(time, now);
        return dayTimeText(day, at(2), at(3), at(4));
    }
    case SetYear: {
        if (value > 99)
            return {};
        Time time = timeAt(now);
        time.year = yearOf(value);
        setClock(time, now);
        return QStringLiteral("%1 (%2)").arg(value).arg(time.year);
    }
    case SetTimeZone:
        return position(s.timeZone, Lists::TimeZones, std::size(Lists::TimeZones));
    case SetReadMode:
        return position(s.readMode, Lists::ReadModes, s.gpsAvailable ? std::size(Lists::ReadModes) : Lists::GpsReadMode);
    case SetGenerateMode:
        return position(s.generateMode, Lists::GenerateModes, std::size(Lists::GenerateModes));
    case SetControlFunction:
        return position(s.controlFunction, Lists::ControlFunctions,
                        m_form == Form::WithDate ? std::size(Lists::ControlFunctions) : Lists::EncodedYear);
    case SetOutputFreeze:
        return flag(s.outputFreeze);
    case SetReaderEnable:
        return flag(s.readerEnabled);
    case SetBinarySeconds:
        return flag(s.binarySeconds);
    case SetLeapYear: {
        // The clock's days so far were counted with the old setting.
        setClock(timeAt(now), now);
        return flag(s.leapYear);
    }
    case SetOffset: {
        if (at(0) > 9 || at(1) > 9 || at(2) > 9 || at(3) > 9)
            return {};
        s.offset = quint16(offsetFromDigits(reinterpret_cast<const quint8 *>(payload.data())));
        return QStringLiteral("%1 us").arg(s.offset);
    }
    }
    return {};
}

} // namespace Sim
