#pragma once

#include <QByteArray>
#include <QObject>

// The serial line to the unit, as the rest of the program sees it. The window
// owns one instance (`Comm`); tests substitute a fake, and the program uses
// LineService. Every call happens on the user-interface thread.
class PortService : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // Chooses the port that the next open() uses (1 to 16 in use). Callers
    // close the port first.
    virtual void setPortNumber(qint16 port) = 0;

    // True exactly while a port is open.
    virtual bool isOpen() const = 0;

    // Opens the chosen port at 9600 bit/s, 8 data bits, no parity, one stop
    // bit, no flow control, raw bytes. False when the port is missing, busy or
    // unusable; callers treat every failure alike.
    virtual bool open() = 0;

    virtual void close() = 0;

    // Sends the block's bytes in order. False when the block could not be
    // handed to the line; a line that fails later reports it through
    // received() and a failing readInput().
    virtual bool write(const QByteArray &block) = 0;

    // Takes every byte received and not yet read, in arrival order (possibly
    // none). False when the line has failed (the device vanished, the far end
    // hung up, a read or write error): the caller then closes and reopens.
    virtual bool readInput(QByteArray &block) = 0;

    // After the line has failed: whether one attempt to open it again at
    // once, quietly, is worth making before the line is shown as lost.
    virtual bool worthReopeningAtOnce() const { return true; }

    // The line was lost and could not be opened again: waits, without a
    // polling timer, for the chosen port to come back, and opens it when it
    // does. A local device is watched through its folders (it returns when
    // an adapter is plugged in again or a link is made again); a network line
    // is tried again now and then. returned() tells when the port is open
    // again. setPortNumber(), open() and close() end the wait. Nothing is
    // watched while a line is open.
    virtual void awaitReturn() {}

    // Around a scan of `ports` (probe after probe): a line may check several
    // ports at once beforehand, so that the whole scan waits no longer than
    // for the slowest of them, and answer their probes from that.
    virtual void beginScan(const QList<qint16> &ports) { Q_UNUSED(ports); }
    virtual void endScan() {}

signals:
    // Bytes are waiting, or something happened on the line (a failure among
    // them). Delivered on the user-interface thread; the handler does not need
    // to tell the two apart.
    void received();

    // The port awaited is open again.
    void returned();
};
