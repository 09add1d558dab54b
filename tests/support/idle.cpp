#include "idle.h"

#include <QEventLoop>
#include <QFile>
#include <QSocketNotifier>
#include <QTimer>

#include <chrono>
#include <ctime>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

namespace {

// How often the program's thread went to sleep. Being put aside while running (an involuntary switch) only tells
// how busy the machine is; Qt's pooled helper threads come and go on a schedule of their own.
long long voluntarySleeps()
{
    QFile status(QStringLiteral("/proc/thread-self/status"));
    const QByteArray text = status.open(QIODevice::ReadOnly) ? status.readAll() : QByteArray();
    const qsizetype at = text.indexOf("\nvoluntary_ctxt_switches:");
    return at < 0 ? -1 : text.mid(at + 25, text.indexOf('\n', at + 1) - at - 25).trimmed().toLongLong();
}

double cpuMilliseconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

} // namespace

Idleness measureIdle(int milliseconds)
{
    QEventLoop loop;
    // What is already due runs first, such as a repaint that the platform schedules a few milliseconds ahead.
    QTimer::singleShot(250, &loop, &QEventLoop::quit);
    loop.exec();
    // The wait ends from a thread of its own, by a byte on a pipe: a timer of the loop may wake it more than once as
    // it comes due, and an event posted to it takes a lock that a preempted thread may still hold.
    int pipe[2];
    if (::pipe2(pipe, O_CLOEXEC) != 0)
        return {-1, 0};
    QSocketNotifier ended(pipe[0], QSocketNotifier::Read);
    QObject::connect(&ended, &QSocketNotifier::activated, &loop, &QEventLoop::quit);
    const long long sleeps = voluntarySleeps();
    const double cpu = cpuMilliseconds();
    std::thread end([fd = pipe[1], milliseconds] {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
        [[maybe_unused]] const ssize_t n = ::write(fd, "", 1);
    });
    loop.exec();
    // The loop went to sleep once, and the end of the wait woke it.
    const Idleness idleness{qMax(0LL, voluntarySleeps() - sleeps - 1), cpuMilliseconds() - cpu};
    end.join();
    ::close(pipe[0]);
    ::close(pipe[1]);
    return idleness;
}
