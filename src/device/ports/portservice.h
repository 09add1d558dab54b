#pragma once

#include "device/lines/unitline.h"

#include <QList>

// The serial line to the unit as the window sees it: a line chosen by port
// number. The window owns one instance (`Comm`); tests substitute a fake,
// and the program uses PortLine.
class PortService : public UnitLine
{
    Q_OBJECT

public:
    using UnitLine::UnitLine;

    // Chooses the port that the next open() uses (1 to 16 in use). Callers
    // close the port first. Whatever was awaited belongs to the port before.
    virtual void setPortNumber(qint16 port) = 0;

    // Around a scan of `ports` (probe after probe): a line may check several
    // ports at once beforehand, so that the whole scan waits no longer than
    // for the slowest of them, and answer their probes from that.
    virtual void beginScan(const QList<qint16> &ports) { Q_UNUSED(ports); }
    virtual void endScan() {}

signals:
    // A command frame has been handed to the line (commands.h).
    void commandSent(const QByteArray &frame);
};
