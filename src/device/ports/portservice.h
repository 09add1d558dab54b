#pragma once

#include "device/lines/unitline.h"

#include <QByteArrayView>
#include <QList>

// The serial line to the unit as the window sees it: a line chosen by port
// number. The window owns one instance (`Comm`); tests substitute a fake,
// and the program uses PortLine.
class PortService : public UnitLine
{
    Q_OBJECT

public:
    using UnitLine::UnitLine;

    // Chooses the port that the next open() uses (portdevices.h). Callers
    // close the port first. Whatever was awaited belongs to the port before.
    virtual void setPortNumber(qint16 port) = 0;

    // Around a scan of `ports` (probe after probe): a line may check several
    // ports at once beforehand, so that the whole scan waits no longer than
    // for the slowest of them, and answer their probes from that.
    virtual void beginScan(const QList<qint16> &ports) { Q_UNUSED(ports); }
    virtual void endScan() {}

    // For this run, the line is `entry` (the window's --port line, a device
    // path or a network address) whatever port number is chosen.
    virtual void useEntryForRun(const QString &entry) = 0;

    // Writes a command frame with one write and tells commandSent(): the
    // one place where commands reach the line.
    bool writeCommand(const QByteArray &frame);

signals:
    // A command frame has been handed to the line (commands.h).
    void commandSent(const QByteArray &frame);
};

namespace Ports {

// Frames the payload (Frames::CommandFrame) and writes it to the port with
// one write. A closed port makes it a silent no-op: the command is dropped,
// not kept for later. A write that fails surfaces as a line failure through
// the port's own notification.
void SendCommand(PortService &Comm, quint8 code, QByteArrayView payload);

} // namespace Ports
