#include "idle.h"

#include <QEventLoop>
#include <QPixmapCache>
#include <QSocketNotifier>
#include <QTimer>

#include <cstdlib>
#include <cstring>
#include <ctime>

#include <fcntl.h>
#include <sys/timerfd.h>
#include <unistd.h>

namespace {

// How often the program's thread went to sleep, read without allocating anything (being put aside while running, an
// involuntary switch, only tells how busy the machine is); and the process's CPU time.
long long sleeps(int status)
{
    char text[4096] = {};
    const char *at = ::pread(status, text, sizeof text - 1, 0) > 0 ? std::strstr(text, "\nvoluntary_ctxt_switches:") : nullptr;
    return at ? std::atoll(at + 25) : -1;
}
double cpuMilliseconds()
{
    timespec t{};
    return clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t) == 0 ? double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6 : 0;
}

} // namespace

Idleness measureIdle(int milliseconds)
{
    QEventLoop loop;
    // What is already due runs first, such as a repaint that the platform schedules a few milliseconds ahead.
    QTimer::singleShot(250, &loop, &QEventLoop::quit);
    loop.exec();
    // Qt's own pixmap cache ages what the style drew with a timer of 10 to 30 s, process-wide, until the cache is
    // empty; emptied here, it stops. (Left running, it fell inside a measurement now and then as one wake-up.)
    QPixmapCache::clear();
    // A kernel timer ends the wait, making its descriptor readable once (a timer of the loop may wake it more than once
    // as it comes due), and everything is made before the count starts: nothing of the measurement's own, a thread
    // started or memory taken, may put the thread to sleep while it is measured.
    const int status = ::open("/proc/thread-self/status", O_RDONLY | O_CLOEXEC), timer = ::timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC);
    QSocketNotifier ended(timer, QSocketNotifier::Read);
    QObject::connect(&ended, &QSocketNotifier::activated, &loop, &QEventLoop::quit);
    const itimerspec wait{{0, 0}, {milliseconds / 1000, milliseconds % 1000 * 1000000L}};
    const long long before = sleeps(status);
    const double cpu = cpuMilliseconds();
    ::timerfd_settime(timer, 0, &wait, nullptr);
    loop.exec();
    // The loop went to sleep once, and the end of the wait woke it.
    const Idleness idleness{qMax(0LL, sleeps(status) - before - 1), cpuMilliseconds() - cpu};
    ::close(timer);
    ::close(status);
    return idleness;
}
