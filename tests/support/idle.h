#pragma once

#include <QString>

// What the program does while its event loop waits with nothing to do: how often its thread was woken beyond the one
// wake-up that ends the wait (a polling timer shows here), and the CPU time used (a busy loop shows here).
struct Idleness
{
    long long wakeUps = 0;
    double cpuMilliseconds = 0;

    bool isIdle() const { return wakeUps == 0 && cpuMilliseconds < 20; }
    QString describe() const { return QStringLiteral("%1 wake-ups, %2 ms of CPU").arg(wakeUps).arg(cpuMilliseconds); }
};

// Runs the event loop for `milliseconds`, blocking as the program does.
Idleness measureIdle(int milliseconds = 2000);
