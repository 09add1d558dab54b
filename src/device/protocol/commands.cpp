#include "device/protocol/commands.h"

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
