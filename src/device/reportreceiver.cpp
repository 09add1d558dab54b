#include "reportreceiver.h"

#include "unitline.h"

bool ReportReceiver::receive(UnitLine &line, Module1::ReportSink &sink)
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
