#include "reports.h"

namespace Module1 {

int WriteTimeReport(char *frame, int day, int hour, int minute, int second, const ReportDate *date)
{
    int n = 0;
    frame[n++] = char(FrameStart);
    frame[n++] = char(day / 100);
    frame[n++] = char(day % 100);
    frame[n++] = char(hour);
    frame[n++] = char(minute);
    frame[n++] = char(second);
    if (date) {
        frame[n++] = char(date->year - 2000);
        frame[n++] = char(date->firstGroup);
        frame[n++] = char(date->secondGroup);
    }
    frame[n++] = char(TimeReportEnd);
    return n;
}

QByteArray TimeReportFrame(int day, int hour, int minute, int second, const ReportDate *date)
{
    char frame[TimeReportMaxFrame];
    return QByteArray(frame, WriteTimeReport(frame, day, hour, minute, second, date));
}

QByteArray StatusReportFrame(quint8 timeZone, quint8 readMode, quint8 generateMode, quint8 flags, quint8 byte4,
                             QByteArrayView offsetDigits)
{
    QByteArray frame;
    frame.reserve(StatusReportLength + 2);
    for (const quint8 byte : {FrameStart, timeZone, readMode, generateMode, flags, byte4})
        frame += char(byte);
    frame += offsetDigits;
    frame += char(StatusReportEnd);
    return frame;
}

void ReportFramer::ProcessReceivedBytes(QByteArrayView block, ReportSink &sink)
{
    for (const char c : block) {
        const auto byte = static_cast<quint8>(c);
        switch (byte) {
        case FrameStart:
        case FrameStartAlternative:
            InFrame = 1;
            RxCount = 0;
            break;
        case TimeReportEnd:
        case StatusReportEnd:
            // Dispatch first, reset after: the sink sees the frame's count.
            if (InFrame == 1) {
                if (byte == TimeReportEnd)
                    sink.ShowGeneratorTime(RxBuffer.data(), RxCount);
                else
                    sink.ApplyStatus(RxBuffer.data());
            }
            InFrame = 0;
            RxCount = 0;
            break;
        default:
            RxBuffer[RxCount] = byte;
            if (++RxCount > RxBufferSize - 1)
                RxCount = 0;
            break;
        }
    }
}

} // namespace Module1
