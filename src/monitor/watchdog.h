#pragma once

#include <QObject>
#include <QTimer>

// The monitor as systemd sees it (sd_notify(3), Type=notify): READY=1 once it
// serves its metrics, STOPPING=1 as it ends, and, where the service asks for
// a watchdog (WatchdogSec=, handed on as WATCHDOG_USEC), WATCHDOG=1 from a
// timer of the event loop every half of that time. A loop that hangs stops
// the pets, and systemd then ends the monitor and starts it again. Without a
// service manager (no NOTIFY_SOCKET) nothing is sent; without a watchdog no
// timer runs. It is the one timer a monitor whose units are all silent keeps.
class ServiceWatchdog final : public QObject
{
public:
    explicit ServiceWatchdog(QObject *parent = nullptr);

    // READY=1, and the pets from now on where a watchdog is asked for.
    void ready();
    // STOPPING=1.
    void stopping();

private:
    QTimer m_pets;
};
