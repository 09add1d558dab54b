#pragma once

#include "monitoredunit.h"

#include <QDeadlineTimer>
#include <QObject>

// One unit's time as samples for chronyd's SOCK reference clock (chrony.conf:
// refclock SOCK PATH): one datagram on chronyd's socket for each time report
// that may stand for the unit's time (ClockUse::Used), in the form chrony's
// SOCK driver reads: a struct sock_sample whose `tv` is the report's arrival
// by the computer's clock and whose `offset` is the unit's time then minus
// `tv` (UnitClock::Reading::offset, good to about a millisecond with the
// unit's calibrated phase); chronyd takes tv + offset as the true time at tv.
// `pulse` and `leap` are 0: no pulse, no leap second announced.
//
// chronyd makes the socket when it starts; the feed connects a non-blocking
// datagram socket of its own to it. A socket that is missing, refuses or is
// full (chronyd stopped, restarted or not reading), or that the monitor may
// not write to, costs that sample and every one for RetryMs after it; the next
// sample then connects afresh. Each failure writes one journal entry
// (chrony-unreachable), so at most one a minute. Nothing ever waits.
class ChronyFeed final : public QObject
{
    Q_OBJECT

public:
    static constexpr int RetryMs = 60000;

    // For the unit `unit` on `line`, to chronyd's socket at `socket`.
    ChronyFeed(const QString &unit, const QString &line, const QString &socket, QObject *parent = nullptr);
    ~ChronyFeed() override;

    // A reading of the unit's clock (MonitoredUnit::clockReading).
    void take(ClockUse use, const UnitClock::Reading &reading, qint64 arrivedNs);

private:
    void send(qint64 arrivedNs, double offset);
    void close();

    QString m_unit, m_line, m_socket;
    int m_fd = -1;
    QDeadlineTimer m_retry = QDeadlineTimer(0);  // no sample is sent before it
};
