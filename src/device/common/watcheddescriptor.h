#pragma once

#include <QObject>
#include <QSocketNotifier>

#include <unistd.h>

// A descriptor the program makes for itself (an epoll or a timer descriptor),
// watched for input by the event loop and closed with this object, its
// notifier first. `slot` of `receiver` is called when it can be read. One
// that could not be made (-1) is kept as such and watched by nothing.
class WatchedDescriptor
{
public:
    template <typename Receiver, typename Slot>
    WatchedDescriptor(int fd, Receiver *receiver, Slot slot)
        : m_fd(fd)
    {
        if (m_fd < 0)
            return;
        m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read);
        QObject::connect(m_notifier, &QSocketNotifier::activated, receiver, slot);
    }
    ~WatchedDescriptor()
    {
        delete m_notifier;
        if (m_fd >= 0)
            ::close(m_fd);
    }
    WatchedDescriptor(const WatchedDescriptor &) = delete;
    WatchedDescriptor &operator=(const WatchedDescriptor &) = delete;

    int fd() const { return m_fd; }
    bool isValid() const { return m_fd >= 0; }

private:
    int m_fd;
    QSocketNotifier *m_notifier = nullptr;
};
