#include "shownidle.h"

#include <QApplication>
#include <QEvent>
#include <QFile>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <ctime>

qint64 monotonicNs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

long residentKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (QByteArray line = status.readLine(); !line.isEmpty(); line = status.readLine()) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

namespace {

// Waits for the window's first paint, then for the event loop to run dry.
class FirstPaintWatcher final : public QObject
{
public:
    explicit FirstPaintWatcher(QWidget &window)
        : QObject(&window)
    {
        window.installEventFilter(this);
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && !m_painted) {
            m_painted = true;
            watched->removeEventFilter(this);
            // A zero timer runs once every event waiting now has been handled.
            QTimer::singleShot(0, [] {
                const qint64 idle = monotonicNs();
                std::printf("idle %lld rss %ld\n", static_cast<long long>(idle), residentKb());
                std::fflush(stdout);
                QApplication::quit();
            });
        }
        return false;
    }

private:
    bool m_painted = false;
};

} // namespace

void quitWhenShownAndIdle(QWidget &window)
{
    new FirstPaintWatcher(window);
}
