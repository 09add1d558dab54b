#include "deadline.h"

#include <ctime>
#include <sys/timerfd.h>
#include <unistd.h>

namespace {

constexpr qint64 NanosecondsPerSecond = 1000000000;

timespec timespecOf(qint64 nanoseconds)
{
    return {time_t(nanoseconds / NanosecondsPerSecond), long(nanoseconds % NanosecondsPerSecond)};
}

} // namespace

Deadline::Deadline(QObject *parent)
    : QObject(parent)
    , m_timer(::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC), this, &Deadline::expired)
{
}

qint64 Deadline::now()
{
    timespec t{};
    ::clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * NanosecondsPerSecond + t.tv_nsec;
}

void Deadline::start(qint64 at)
{
    // A zero value would disarm the timer; the clock has long passed 1 ns after boot, so that moment is past too.
    const itimerspec setting{{0, 0}, timespecOf(qMax<qint64>(at, 1))};
    if (m_timer.isValid())
        ::timerfd_settime(m_timer.fd(), TFD_TIMER_ABSTIME, &setting, nullptr);
}

void Deadline::stop()
{
    const itimerspec off{};
    if (m_timer.isValid())
        ::timerfd_settime(m_timer.fd(), 0, &off, nullptr);
}

void Deadline::expired()
{
    // Setting the timer again clears an expiry not yet read, so one that was replaced in the meantime reads nothing.
    quint64 expiries = 0;
    if (::read(m_timer.fd(), &expiries, sizeof expiries) == ssize_t(sizeof expiries) && expiries > 0)
        emit reached();
}
