#pragma once

#include "device/common/watcheddescriptor.h"

#include <QObject>

#include <array>
#include <cstdint>

// The serial lines' descriptors, all watched through one epoll descriptor
// that the event loop watches as one more.
//
// Why: at every wake-up the event loop hands the kernel each descriptor it
// watches (poll()), and the kernel asks each terminal in turn, so with a
// notifier per line a wake-up costs in proportion to the lines open. A
// monitor of 64 units whose reports are spread over the second wakes about
// 64 times a second, and spent most of its time there. epoll is told of each
// line once, and a wake-up costs the same for one line as for a hundred.
//
// A wake-up first has every ready line read (Watcher::take), each noting the
// clock at its own read, and only then has each hand out what it read
// (Watcher::tell): a unit's report is not read later because another unit's
// report was handled first.
//
// There is one watch for the application, made with its first line and
// ended with the application object; lines are used on its thread only.
class LineWatch final : public QObject
{
public:
    class Watcher
    {
    public:
        // The line's descriptor is ready, with these epoll events: read it,
        // or send what waits, but raise nothing yet.
        virtual void take(std::uint32_t events) = 0;
        // Every ready line of this wake-up has been read: hand out what was.
        virtual void tell() = 0;

    protected:
        ~Watcher() = default;
    };

    static LineWatch &instance();

    // Watches `fd` for input, and for room to write while `output` says so;
    // false, with errno, where it cannot be watched.
    [[nodiscard]] bool add(int fd, Watcher *watcher);
    void setOutput(int fd, Watcher *watcher, bool output);
    // Before the descriptor is closed: a descriptor closed while a copy of
    // it lives on (in a child process not yet through exec) would otherwise
    // stay watched. Nothing of the watcher is called after this.
    void remove(int fd, Watcher *watcher);

private:
    explicit LineWatch(QObject *parent);
    void wake();

    WatchedDescriptor m_epoll;
    // The lines of each wake-up being handled, the innermost first (a line's
    // handler may run an event loop of its own).
    static constexpr int MostAtOnce = 64;
    struct Batch
    {
        std::array<Watcher *, MostAtOnce> ready{};
        int count = 0;
        Batch *outer = nullptr;
    };
    Batch *m_batch = nullptr;
};
