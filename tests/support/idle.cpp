#include "idle.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>

#include <cstdlib>
#include <cstring>
#include <ctime>

#include <fcntl.h>
#include <sys/timerfd.h>
#include <unistd.h>

namespace {

// How often the program's thread went to sleep, read without allocating anything. Being put aside while running (an
// involuntary switch) only tells how busy the machine is.
long long Sleeps(int status)
{
    char text[4096];
    const ssize_t n = ::pread(status, text, sizeof text - 1, 0);
    text[n > 0 ? n : 0] = '\0';
    const char *at = std::strstr(text, "\nvoluntary_ctxt_switches:");
    return at ? std::atoll(at + 25) : -1;
}

double CpuMilliseconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

// Names every event the loop hands to an object of this thread.
struct EventLog : QObject
{
    QStringList events;
    bool eventFilter(QObject *receiver, QEvent *event) override
    {
        events << QStringLiteral("%1 to %2 %3").arg(int(event->type())).arg(receiver->metaObject()->className(), receiver->objectName());
        return false;
    }
};

} // namespace

Idleness MeasureIdle(int milliseconds)
{
    QEventLoop loop;
    // What is already due runs first, such as a repaint that the platform schedules a few milliseconds ahead.
    QTimer::singleShot(250, &loop, &QEventLoop::quit);
    loop.exec();
    // The wait ends by a timer of the kernel's, which makes its descriptor readable once: a timer of the loop may wake
    // it more than once as it comes due. Everything is made before the count starts, so that nothing of the
    // measurement itself (a thread started, memory taken) can put the thread to sleep while it is measured.
    const int status = ::open(QStringLiteral("/proc/thread-self/status").toLocal8Bit().constData(), O_RDONLY | O_CLOEXEC);
    const int timer = ::timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC);
    QSocketNotifier ended(timer, QSocketNotifier::Read);
    QObject::connect(&ended, &QSocketNotifier::activated, &loop, &QEventLoop::quit);
    EventLog log;
    log.events.reserve(64);
    QCoreApplication::instance()->installEventFilter(&log);
    const itimerspec wait{{0, 0}, {milliseconds / 1000, milliseconds % 1000 * 1000000L}};
    const long long sleeps = Sleeps(status);
    const double cpu = CpuMilliseconds();
    ::timerfd_settime(timer, 0, &wait, nullptr);
    loop.exec();
    // The loop went to sleep once, and the end of the wait woke it.
    Idleness idleness{qMax(0LL, Sleeps(status) - sleeps - 1), CpuMilliseconds() - cpu, {}};
    QCoreApplication::instance()->removeEventFilter(&log);
    log.events.removeAll(QStringLiteral("%1 to QSocketNotifier ").arg(int(QEvent::SockAct)));
    idleness.events = log.events;
    ::close(timer);
    ::close(status);
    return idleness;
}
