#pragma once

#include "device/lines/entryline.h"
#include "device/ports/portservice.h"

#include <QHash>

// The line behind a port number, whatever its kind: a local serial device
// (SerialLine) or a line behind a device server on the network
// (NetworkLine), as the port's entry names it (portdevices.h). This
// is the window's `Comm`; nothing above the device layer knows which kind of
// line it has.
//
// A port's entry is read once, by the scan or by the choice of the port, and
// handed to the line it names (entryline.h). An entry that names no usable
// line gets one line on the log (linelog.h) naming it and the reason, and
// cannot be opened.
//
// A scan checks the network entries all at once first (hostlookup.h), and
// their probes are answered from that, without connecting again: a port
// whose server accepts a connection in time is listed, whether or not its
// device can be opened now, so that choosing it shows the line as lost and
// waits for it.
class PortLine final : public PortService
{
    Q_OBJECT

public:
    explicit PortLine(QObject *parent = nullptr);

    void setPortNumber(qint16 port) override;
    void useEntryForRun(const QString &entry) override;
    void beginScan(const QList<qint16> &ports) override;
    void endScan() override;
    // During a scan, a network port opens (and closes) as its server
    // answered; else these go to the line chosen.
    bool open() override;
    bool isOpen() const override;
    void close() override;
    // These always go to the line chosen.
    bool write(const QByteArray &block) override;
    bool readInput(QByteArray &block) override;
    qint64 readAtNs() const override { return m_line.readAtNs(); }
    void awaitReturn() override;
    bool worthReopeningAtOnce() const override;
    LineFailure failure() const override;
    QString failureDetail() const override;

private:
    EntryLine m_line;
    // During a scan: each port's entry, and whether each network port's
    // server answers; a probe of one that does is open until closed.
    QHash<qint16, QString> m_scanEntries;
    QHash<qint16, bool> m_scanned;
    QString m_entryForRun;
    QString m_told;  // the last failure the log named, with its entry
    qint16 m_port = 0;
    bool m_probed = false;
};
