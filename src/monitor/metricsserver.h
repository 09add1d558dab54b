#pragma once

#include <QHttpServer>
#include <QObject>

#include <memory>
#include <vector>

namespace prometheus {
class Collectable;
}

// Serves the metrics to Prometheus: GET /metrics answers the text exposition
// of every collectable's families, rendered when asked; any other path or
// method gets 404 and changes nothing. Qt HTTP Server serves it in the event
// loop of the thread that made it, the monitor's one thread, where the units'
// metrics are set: a loop that hangs answers no scrape either (Prometheus's
// `up` turns 0) instead of stale values from threads of its own.
//
// No client holds up another: every connection waits in the event loop, none
// ties up a worker. A connection gets one answer and is then closed; one still
// open ConnectionMs after it was accepted (half a request sent, or nothing, or
// an answer not read) is closed then; and a connection accepted while
// MaxConnections are open (or a quarter of the descriptors the process may
// open, where that is fewer) closes the oldest of them that has nothing
// waiting to be read and has had GraceMs to send its request; where none has
// had that long yet, accepting pauses until one has. So idle and slow
// clients, or a burst of thousands of connections, delay a scrape by little
// more than the loop takes to accept what waits before it, a scrape never
// loses its connection to connections that came after it, and the lines keep
// the descriptors they need.
class MetricsServer final : public QObject
{
public:
    static constexpr int MaxConnections = 256;
    static constexpr int ConnectionMs = 5000;
    static constexpr int GraceMs = 100;

    explicit MetricsServer(std::vector<std::shared_ptr<prometheus::Collectable>> collectables, QObject *parent = nullptr);

    // Listens on ADDR:PORT, "127.0.0.1:9718" or "[::1]:9718" (as the
    // monitor's options check it); false if it cannot.
    bool listen(const QString &address);

    // The exposition of every family as it is now.
    QByteArray render() const;

private:
    std::vector<std::shared_ptr<prometheus::Collectable>> m_collectables;
    QHttpServer m_http;
};
