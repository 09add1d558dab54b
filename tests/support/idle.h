#pragma once

#include <QString>

// What the process does while its event loop waits with nothing to do.
struct Idleness
{
    // Times any thread of the process went to sleep and was woken again,
    // beyond the one wake-up that ends the wait.
    long long wakeUps = 0;
    double cpuMilliseconds = 0;

    bool isIdle() const { return wakeUps == 0 && cpuMilliseconds < 20; }
    QString describe() const
    {
        return QStringLiteral("%1 wake-ups and %2 ms of CPU time").arg(wakeUps).arg(cpuMilliseconds);
    }
};

// Runs the event loop for `milliseconds`, blocking as the program does, and
// counts what happened meanwhile. A polling timer shows as wake-ups, a busy
// loop as CPU time.
Idleness MeasureIdle(int milliseconds = 2000);
