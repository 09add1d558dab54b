#include "device/protocol/reports.h"

#include "device/common/numbertext.h"

namespace Frames {

int writeTimeReport(char *frame, int day, int hour, int minute, int second, const ReportDate *date)
{
    int n = 0;
    frame[n++] = char(FrameStart);
    frame[n++] = char(dayHundreds(day));
    frame[n++] = char(dayRest(day));
    frame[n++] = char(hour);
    frame[n++] = char(minute);
    frame[n++] = char(second);
    if (date) {
        frame[n++] = char(yearByte(date->year));
        frame[n++] = char(date->firstGroup);
        frame[n++] = char(date->secondGroup);
    }
    frame[n++] = char(TimeReportEnd);
    return n;
}

QByteArray timeReportFrame(int day, int hour, int minute, int second, const ReportDate *date)
{
    char frame[TimeReportMaxFrame];
    return QByteArray(frame, writeTimeReport(frame, day, hour, minute, second, date));
}

QByteArray statusReportFrame(quint8 timeZone, quint8 readMode, quint8 generateMode, quint8 flags, quint8 byte4,
                             QByteArrayView digits)
{
    QByteArray frame;
    frame.reserve(StatusReportLength + 2);
    for (const quint8 byte : {FrameStart, timeZone, readMode, generateMode, flags, byte4})
        frame += char(byte);
    frame += digits;
    frame += char(StatusReportEnd);
    return frame;
}

QString generatorTimeText(const quint8 *report, bool withDate)
{
    using NumberText::zeroPadded;
    QString text = QString::number(report[0]) + zeroPadded(report[1], 2) + QLatin1Char(' ') + zeroPadded(report[2], 2)
        + QLatin1Char(':') + zeroPadded(report[3], 2) + QLatin1Char(':') + zeroPadded(report[4], 2);
    if (withDate) {
        text += QLatin1String("   |   ") + zeroPadded(report[6], 2) + QLatin1Char('-') + zeroPadded(report[7], 2)
            + QLatin1Char('-') + QString::number(yearOf(report[5]));
    }
    return text;
}

void ReportFramer::ProcessReceivedBytes(QByteArrayView block, ReportSink &sink)
{
    for (const char c : block) {
        const auto byte = static_cast<quint8>(c);
        switch (byte) {
        case FrameStart:
        case FrameStartAlternative:
            m_errors.incomplete += InFrame;
            InFrame = true;
            m_wrapped = false;
            RxCount = 0;
            break;
        case TimeReportEnd:
        case StatusReportEnd:
            // Dispatch first, reset after: the sink sees the frame's count.
            if (InFrame) {
                if (byte == TimeReportEnd)
                    sink.ShowGeneratorTime(RxBuffer.data(), RxCount);
                else
                    sink.ApplyStatus(RxBuffer.data());
            } else {
                ++m_errors.stray;
            }
            InFrame = false;
            RxCount = 0;
            break;
        default:
            m_errors.stray += !InFrame;
            RxBuffer[RxCount] = byte;
            if (++RxCount > RxBufferSize - 1) {
                RxCount = 0;
                m_errors.overlong += InFrame && !m_wrapped;
                m_wrapped = true;
            }
            break;
        }
    }
}

} // namespace Frames
