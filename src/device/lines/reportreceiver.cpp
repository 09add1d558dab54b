#include "device/lines/reportreceiver.h"

#include "device/lines/unitline.h"

bool ReportReceiver::receive(UnitLine &line, Frames::ReportSink &sink)
{
    QByteArray block;
    if (line.readInput(block)) {
        if (!block.isEmpty()) {
            m_reopenedWithoutData = false;
            m_framer.ProcessReceivedBytes(block, sink);
        }
        return true;
    }
    if (line.isOpen())
        line.close();
    m_framer.reset();
    if (!m_reopenedWithoutData && line.worthReopeningAtOnce() && line.open()) {
        m_reopenedWithoutData = true;
        return true;
    }
    return false;
}
