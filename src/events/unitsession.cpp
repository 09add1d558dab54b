#include "unitsession.h"

UnitSession::UnitSession(UnitLine &line, QObject *parent)
    : QObject(parent)
    , m_line(line)
{
    connect(&m_line, &UnitLine::returned, this, &UnitSession::opened);
    connect(&m_line, &UnitLine::returnFailed, this, &UnitSession::failedToOpen);
    connect(&m_watch, &UnitWatch::silent, this, &UnitSession::silent);
    connect(&m_watch, &UnitWatch::happened, this, [this](UnitEvent event) { emit this->event(event, m_watch.failure()); });
}

void UnitSession::start()
{
    if (m_line.open()) {
        opened();
    } else {
        failedToOpen();
        m_line.awaitReturn();
    }
}

void UnitSession::opened()
{
    m_reopenedWithoutData = false;
    m_watch.lineOpened();
    emit lineOpened();
}

void UnitSession::failedToOpen()
{
    emit openFailed(m_line.failure());
    m_watch.openFailed(m_line.failure());
}

void UnitSession::lose()
{
    const LineFailure failure = m_line.failure();
    m_watch.lineLost(failure);
    // A line that never carried a report tells why it is down all the same.
    m_watch.openFailed(failure);
    if (m_line.isOpen())
        m_line.close();
    emit lineLost(failure);
    m_line.awaitReturn();
}

void UnitSession::receive()
{
    QByteArray block;
    if (m_line.readInput(block)) {
        m_arrivedNs = m_line.readAtNs();
        if (!block.isEmpty()) {
            m_reopenedWithoutData = false;
            m_framer.ProcessReceivedBytes(block, *this);
            emit framed();
        }
        return;
    }
    if (m_line.isOpen())
        m_line.close();
    m_framer.reset();
    emit framed();
    if (!m_reopenedWithoutData && m_line.worthReopeningAtOnce() && m_line.open()) {
        m_reopenedWithoutData = true;
        return;
    }
    lose();
}

void UnitSession::forget()
{
    m_watch.forget();
}

void UnitSession::ShowGeneratorTime(const quint8 *report, qint16 count)
{
    m_watch.timeReport();
    emit timeReport(report, count, m_arrivedNs);
}

void UnitSession::ApplyStatus(const quint8 *report)
{
    m_watch.statusReport(Frames::readerLocked(report));
    emit statusReport(report);
}
