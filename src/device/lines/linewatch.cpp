#include "device/lines/linewatch.h"

#include <QCoreApplication>
#include <QPointer>
#include <QThread>

#include <algorithm>
#include <utility>
#include <sys/epoll.h>

LineWatch &LineWatch::instance()
{
    static QPointer<LineWatch> watch;
    if (!watch)
        watch = new LineWatch(QCoreApplication::instance());
    Q_ASSERT(QThread::currentThread() == watch->thread());
    return *watch;
}

LineWatch::LineWatch(QObject *parent)
    : QObject(parent)
    , m_epoll(::epoll_create1(EPOLL_CLOEXEC), this, &LineWatch::wake)
{
}

bool LineWatch::add(int fd, Watcher *watcher)
{
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.ptr = watcher;
    return m_epoll.isValid() && ::epoll_ctl(m_epoll.fd(), EPOLL_CTL_ADD, fd, &event) == 0;
}

void LineWatch::setOutput(int fd, Watcher *watcher, bool output)
{
    epoll_event event{};
    event.events = output ? EPOLLIN | EPOLLOUT : EPOLLIN;
    event.data.ptr = watcher;
    ::epoll_ctl(m_epoll.fd(), EPOLL_CTL_MOD, fd, &event);
}

void LineWatch::remove(int fd, Watcher *watcher)
{
    ::epoll_ctl(m_epoll.fd(), EPOLL_CTL_DEL, fd, nullptr);
    for (Batch *batch = m_batch; batch; batch = batch->outer)
        std::replace(batch->ready.begin(), batch->ready.begin() + batch->count, watcher, static_cast<Watcher *>(nullptr));
}

void LineWatch::wake()
{
    // Level-triggered: lines still ready beyond these wake the loop again.
    epoll_event events[MostAtOnce];
    const int count = ::epoll_wait(m_epoll.fd(), events, MostAtOnce, 0);
    if (count <= 0)
        return;
    Batch batch;
    batch.outer = m_batch;
    m_batch = &batch;
    for (int i = 0; i < count; ++i) {
        auto *watcher = static_cast<Watcher *>(events[i].data.ptr);
        watcher->take(events[i].events);
        batch.ready[std::size_t(batch.count++)] = watcher;
    }
    // A handler may close, reopen or delete any line, which remove() then
    // takes out of the batch.
    for (int i = 0; i < batch.count; ++i) {
        if (Watcher *ready = std::exchange(batch.ready[std::size_t(i)], nullptr))
            ready->tell();
    }
    m_batch = batch.outer;
}
