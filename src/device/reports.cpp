#include "reports.h"

namespace Module1 {

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
