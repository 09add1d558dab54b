#pragma once

#include "networkaddress.h"

#include <QDeadlineTimer>
#include <QHostAddress>
#include <QList>
#include <QStringList>

#include <memory>

// The addresses a device server's host stands for, found without holding
// the caller past its deadline. getaddrinfo takes no time limit and may wait
// many seconds on a name server that does not answer, and Qt's asynchronous
// lookup needs the event loop, which opening a line must not run. So a name
// is looked up on a thread of its own that shares only a small block with
// the caller; whichever lets go of the block last frees it, and a late
// answer touches nothing else. The thread ends when the resolver's own
// time-outs do. A literal address needs no thread and is known at once.
class HostLookup
{
public:
    // Starts the lookup.
    explicit HostLookup(const QString &host);

    bool isDone() const;
    // Waits for the lookup until the deadline; false if it passes first.
    bool wait(const QDeadlineTimer &deadline) const;
    // The addresses, in the resolver's order of preference; none while the
    // lookup runs or when the name does not resolve.
    QList<QHostAddress> addresses() const;

private:
    friend QList<bool> answering(const QList<NetworkAddress> &, int, QStringList &);
    struct Shared;
    std::shared_ptr<Shared> m_shared;
};

// Which of `entries` accept a TCP connection within `deadlineMs`. Every
// lookup and every connection starts at once, every address of a name is
// tried, and the answer comes as soon as every entry has answered or the
// deadline has passed, whichever is first: an entry that answers in time is
// never held up by another. A connection is closed as soon as it stands.
// `why` gets, for each entry, the reason it is not reached where one is
// known ("the name does not resolve"), else nothing.
QList<bool> answering(const QList<NetworkAddress> &entries, int deadlineMs, QStringList &why);
