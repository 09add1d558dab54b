#pragma once

#include <QStringList>

// What the program does while its event loop waits with nothing to do: how often its thread was woken beyond the one
// wake-up that ends the wait (a polling timer shows here), the CPU time used (a busy loop shows here), and the events
// the loop handled meanwhile, to name the cause when there is one.
struct Idleness
{
    long long wakeUps = 0;
    double cpuMilliseconds = 0;
    QStringList events;

    bool isIdle() const { return wakeUps == 0 && cpuMilliseconds < 20; }
    QString describe() const { return QStringLiteral("%1 wake-ups, %2 ms of CPU: %3").arg(wakeUps).arg(cpuMilliseconds).arg(events.join(", ")); }
};

// Runs the event loop for `milliseconds`, blocking as the program does.
Idleness measureIdle(int milliseconds = 2000);
