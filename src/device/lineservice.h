#pragma once

#include "networkportservice.h"
#include "portservice.h"
#include "serialportservice.h"

#include <QHash>

// The line behind a port number, whatever its kind: a local serial device
// (SerialPortService) or a line behind a device server on the network
// (NetworkPortService), as the port's entry names it (portdevices.h). This
// is the window's `Comm`; nothing above the device layer knows which kind of
// line it has.
//
// A scan checks the network entries all at once first (hostlookup.h), and
// their probes are answered from that, without connecting again: a port
// whose server accepts a connection in time is listed, whether or not its
// device can be opened now, so that choosing it shows the line as lost and
// waits for it. An entry that is no usable address gets one line on the log
// (linelog.h) naming it and the reason, and is not listed.
class LineService final : public PortService
{
    Q_OBJECT

public:
    explicit LineService(QObject *parent = nullptr);

    // Chooses the kind of line by the port's entry.
    void setPortNumber(qint16 port) override;
    // Everything else goes to the line chosen; during a scan, a network
    // port opens (and closes) as its server answered.
    bool open() override;
    bool isOpen() const override;
    void close() override;
    bool readInput(QByteArray &block) override;
    bool write(const QByteArray &block) override;
    bool worthReopeningAtOnce() const override;
    void awaitReturn() override;
    void beginScan(const QList<qint16> &ports) override;
    void endScan() override;

private:
    SerialPortService m_serial;
    NetworkPortService m_network;
    PortService *m_line = &m_serial;
    qint16 m_port = 0;
    // During a scan: whether each network port's server answers; and a
    // probe of one that does, open until closed.
    QHash<qint16, bool> m_scanned;
    bool m_probed = false;
};
