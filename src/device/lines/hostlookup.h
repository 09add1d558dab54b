#pragma once

#include "device/lines/networkaddress.h"
#include "device/lines/unitline.h"

#include <QDeadlineTimer>
#include <QHostAddress>
#include <QList>
#include <QStringList>

#include <memory>
#include <vector>

#include <sys/socket.h>

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
    // The same, as the socket calls take them.
    std::vector<sockaddr_storage> socketAddresses() const;

    // Readable once the lookup is done: for a caller that waits on several
    // lookups and connections with one poll().
    int doneDescriptor() const;

private:
    struct Shared;
    std::shared_ptr<Shared> m_shared;
};

// Connections to device servers, made the one way both the start-up scan and
// the opening of a line make them: each entry's lookup, then a connection to
// every address of its name at once, all entries at the same time. The first
// connection of an entry that stands wins, and the entry's others are closed
// at once: a name whose first address drops every packet (a firewalled IPv6
// path, a dead interface, a listener whose queue is full) opens through its
// second within the same deadline. Returns as soon as every entry has a
// connection or has failed, or when the deadline passes.
struct Connected
{
    int descriptor = -1;  // the connection that stood (non-blocking), or -1
    QString why;          // where none stood and the reason is known
    LineFailure failure = LineFailure::None;  // where none stood
};
std::vector<Connected> connectFirst(const QList<NetworkAddress> &entries, const QDeadlineTimer &deadline);
