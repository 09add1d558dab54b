#include "idle.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>

#include <chrono>
#include <ctime>
#include <thread>

namespace {

// How often the given threads went to sleep. Being put aside while running
// (an involuntary switch) only tells how busy the machine is.
long long Sleeps(const QStringList &threads)
{
    long long total = 0;
    for (const QString &thread : threads) {
        QFile status(QStringLiteral("/proc/self/task/%1/status").arg(thread));
        if (status.open(QIODevice::ReadOnly)) {
            const QByteArray text = status.readAll();
            const qsizetype at = text.indexOf("\nvoluntary_ctxt_switches:");
            total += text.mid(at + 25, text.indexOf('\n', at + 1) - at - 25).trimmed().toLongLong();
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
    loop.processEvents(QEventLoop::AllEvents);  // what is already waiting runs first
    const QStringList threads = QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    const long long sleeps = Sleeps(threads);
    const double cpu = CpuMilliseconds();
    // The wait ends from a thread of its own: a timer of the loop may wake it
    // more than once as it comes due.
    std::thread end([&loop, milliseconds] {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    // The loop went to sleep once, and the end of the wait woke it.
    const Idleness idleness{qMax(0LL, Sleeps(threads) - sleeps - 1), CpuMilliseconds() - cpu};
    end.join();
    return idleness;
}
