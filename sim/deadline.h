#pragma once

#include "device/common/watcheddescriptor.h"

#include <QObject>

// A single-shot timer for a moment of the computer's monotonic clock (CLOCK_MONOTONIC, in nanoseconds): a timerfd that
// the event loop watches, so that it fires as soon after that moment as the loop wakes, with nothing rounded to
// milliseconds and nothing added up from one interval to the next. A moment already past fires at once.
class Deadline : public QObject
{
    Q_OBJECT

public:
    explicit Deadline(QObject *parent = nullptr);

    // The monotonic clock now, in nanoseconds.
    static qint64 now();

    // False if the system would not give a timer (out of descriptors); it then never fires.
    bool isValid() const { return m_timer.isValid(); }
    // Fires once at `at` (monotonic nanoseconds), replacing any moment set before.
    void start(qint64 at);
    void stop();

signals:
    void reached();

private:
    void expired();

    WatchedDescriptor m_timer;
};
