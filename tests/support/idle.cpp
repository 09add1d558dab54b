#include "idle.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>

#include <chrono>
#include <ctime>
#include <thread>

namespace {

// How often the given threads of the process went to sleep. Being put aside
// while running (an involuntary switch) only tells how busy the machine is.
long long Sleeps(const QStringList &threads)
{
    long long total = 0;
    for (const QString &thread : threads) {
        QFile status(QStringLiteral("/proc/self/task/%1/status").arg(thread));
        if (!status.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("voluntary_ctxt_switches:"))
                total += line.mid(line.indexOf(':') + 1).trimmed().toLongLong();
        }
    }
    return total;
}

double CpuMilliseconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

} // namespace

Idleness MeasureIdle(int milliseconds)
{
    QEventLoop loop;
    // Whatever is already waiting runs first, before the count starts.
    loop.processEvents(QEventLoop::AllEvents);
    const QStringList threads = QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    const long long switches = Sleeps(threads);
    const double cpu = CpuMilliseconds();
    // The wait ends from a thread of its own rather than a timer of the loop:
    // a timer may wake the loop more than once as it comes due.
    std::thread end([&loop, milliseconds] {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    Idleness idleness;
    // The loop went to sleep once, and only the end of the wait woke it.
    idleness.wakeUps = qMax(0LL, Sleeps(threads) - switches - 1);
    idleness.cpuMilliseconds = CpuMilliseconds() - cpu;
    end.join();
    return idleness;
}
