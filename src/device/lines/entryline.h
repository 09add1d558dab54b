#pragma once

#include "device/lines/networkline.h"
#include "device/lines/serialline.h"
#include "device/lines/unitline.h"

// Why `entry` names no line a unit can be on, or nothing when it names one:
// an absolute device path (/dev/ttyUSB0), a bare device name that stands for
// one in /dev (ttyUSB0), or a network line (networkaddress.h). Refused: an
// empty entry ("no line"), any other text, a relative path among it (it
// would depend on the folder the program was started in), and what
// parseNetworkAddress refuses. The [Ports] scan, the window's --port line
// and the monitor's units are all judged here.
QString entryRefusal(QStringView entry);

// The line an entry names, as a [Ports] entry or a command line names it: a
// device path or name (SerialLine), or a tcp:// or rfc2217:// address
// (NetworkLine). An entry that names no usable line cannot be opened,
// and refusal() says why.
class EntryLine final : public UnitLine
{
    Q_OBJECT

public:
    explicit EntryLine(QObject *parent = nullptr);

    // Ends whatever was open or awaited; the next open() uses this entry.
    void setEntry(const QString &entry);
    QString entry() const { return m_entry; }
    // Why the entry names no line; empty when it names one.
    QString refusal() const { return m_refusal; }

    bool open() override;
    bool isOpen() const override;
    void close() override;
    bool readInput(QByteArray &block) override;
    qint64 readAtNs() const override { return m_line->readAtNs(); }
    bool write(const QByteArray &block) override;
    bool worthReopeningAtOnce() const override;
    LineFailure failure() const override;
    QString failureDetail() const override;
    // Nothing is awaited for an entry that names no line.
    void awaitReturn() override;

private:
    SerialLine m_serial;
    NetworkLine m_network;
    UnitLine *m_line = &m_serial;
    QString m_entry;
    QString m_refusal;
};
