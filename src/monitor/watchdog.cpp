#include "watchdog.h"

#include <systemd/sd-daemon.h>

#include <algorithm>
#include <climits>

ServiceWatchdog::ServiceWatchdog(QObject *parent)
    : QObject(parent)
{
    connect(&m_pets, &QTimer::timeout, this, [] { sd_notify(0, "WATCHDOG=1"); });
}

void ServiceWatchdog::ready()
{
    sd_notify(0, "READY=1");
    uint64_t microseconds = 0;
    if (sd_watchdog_enabled(0, &microseconds) > 0) {
        sd_notify(0, "WATCHDOG=1");
        m_pets.start(int(std::clamp<uint64_t>(microseconds / 2000, 1, INT_MAX)));
    }
}

void ServiceWatchdog::stopping()
{
    m_pets.stop();
    sd_notify(0, "STOPPING=1");
}
