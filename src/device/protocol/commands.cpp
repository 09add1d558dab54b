#include "device/protocol/commands.h"

#include "device/common/numbertext.h"

namespace Frames {

const char *commandName(quint8 code)
{
    static const char *const names[CommandCount] = {
        "SetTime", "SetTimeZone", "SetReadMode", "SetGenerateMode",
        "SetOutputFreeze", "SetReaderEnable", "SetLeapYear", "SetBinarySeconds",
        "SetControlFunction", "SetOffset", "SetYear",
    };
    return code < CommandCount ? names[code] : nullptr;
}

QByteArray CommandFrame(quint8 code, QByteArrayView payload)
{
    QByteArray frame;
    frame.reserve(payload.size() + 2);
    frame.append(payload.data(), payload.size());
    frame.append(char(code));
    frame.append(char(FrameTerminator));
    return frame;
}

QString dayTimeText(int day, int hour, int minute, int second)
{
    using NumberText::zeroPadded;
    return QStringLiteral("%1 %2:%3:%4")
        .arg(zeroPadded(day, 3), zeroPadded(hour, 2), zeroPadded(minute, 2), zeroPadded(second, 2));
}

QString commandValueText(const QByteArray &frame)
{
    const quint8 code = frame.size() >= 2 ? quint8(frame.at(frame.size() - 2)) : 0xFF;
    if (!commandName(code) || frame.size() != payloadLength(code) + 2)
        return {};
    const auto at = [&](int i) { return quint8(frame.at(i)); };
    if (code == SetTime)
        return dayTimeText(dayOfYear(at(0), at(1)), at(2), at(3), at(4));
    if (code == SetOffset)
        return QString::number(offsetFromDigits(reinterpret_cast<const quint8 *>(frame.constData())));
    return QString::number(at(0));
}

QByteArray setTimePayload(int day, int hour, int minute, int second)
{
    const char bytes[] = {char(dayHundreds(day)), char(dayRest(day)), char(hour), char(minute), char(second)};
    return QByteArray(bytes, sizeof bytes);
}

QByteArray offsetDigits(int microseconds)
{
    const char bytes[] = {char(microseconds / 1000), char(microseconds % 1000 / 100),
                          char(microseconds % 100 / 10), char(microseconds % 10)};
    return QByteArray(bytes, sizeof bytes);
}

int offsetFromDigits(const quint8 *digits)
{
    return digits[0] * 1000 + digits[1] * 100 + digits[2] * 10 + digits[3];
}

} // namespace Frames
