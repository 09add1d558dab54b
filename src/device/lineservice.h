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
// A scan checks the network entries all at once first: ports whose server
// does not answer in time fail their probe without another wait, and an
// entry that is no usable address gets one line on standard error naming it
// and the reason, and is not listed.
class LineService final : public PortService
{
    Q_OBJECT

public:
    explicit LineService(QObject *parent = nullptr);

    // Chooses the kind of line by the port's entry.
    void setPortNumber(qint16 port) override;
    // Everything else goes to the line chosen; during a scan, a network
    // port found unreachable fails to open without another wait.
    bool open() override;
    bool isOpen() const override;
    void close() override;
    bool readInput(QByteArray &block) override;
    bool write(const QByteArray &block) override;
    void awaitReturn() override;
    void beginScan(const QList<qint16> &ports) override;
    void endScan() override;

private:
    SerialPortService m_serial;
    NetworkPortService m_network;
    PortService *m_line = &m_serial;
    qint16 m_port = 0;
    // During a scan: the network ports that cannot be reached.
    QHash<qint16, bool> m_unreachable;
};
