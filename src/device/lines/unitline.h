#pragma once

#include <QByteArray>
#include <QObject>

// Why a line failed to open, or failed while open. A small fixed set, so that
// each can be counted and selected on:
//
//   Missing      no such device
//   Permission   the device may not be opened by this user
//   Busy         another program holds the device
//   Unusable     the device is no serial line, or cannot be set to the unit's
//   NoSuchName   the device server's name does not resolve
//   Unreachable  no answer from the device server (or its name server) in time
//   Refused      the device server refused the connection
//   Closed       the far end closed the line, hung up or reset it
//   Protocol     the server broke Telnet or refused binary transmission
//   Flood        the server sent far more than a unit can
enum class LineFailure { None, Missing, Permission, Busy, Unusable, NoSuchName, Unreachable, Refused, Closed, Protocol, Flood };

// The failure's name for metrics and journal fields ("no-such-name"), and a
// short sentence for people ("the name does not resolve").
const char *failureName(LineFailure failure);
const char *failureText(LineFailure failure);

// A serial line to the unit, once its target is chosen: a local device
// (SerialLine) or a line behind a device server (NetworkLine).
// Every call happens on the user-interface thread.
class UnitLine : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // True exactly while the line is open.
    virtual bool isOpen() const = 0;

    // Opens the line as the unit's line is set (lineformat.h). False when it is missing, busy or unusable
    // (failure() says which).
    [[nodiscard]] virtual bool open() = 0;

    virtual void close() = 0;

    // Sends the block's bytes in order. False when the block could not be
    // handed to the line; a line that fails later reports it through
    // failed() and a failing readInput().
    [[nodiscard]] virtual bool write(const QByteArray &block) = 0;

    // Takes every byte received and not yet read, in arrival order (possibly
    // none). False when the line has failed (the device vanished, the far end
    // hung up, a read or write error): the caller then closes and reopens.
    [[nodiscard]] virtual bool readInput(QByteArray &block) = 0;

    // The computer's clock (CLOCK_REALTIME, nanoseconds since the epoch) at
    // the read from the system that brought the last byte readInput()
    // returned, as near to it as the line can tell. A line that reads its
    // device itself notes the clock right at that read; one whose bytes Qt
    // has read for it (a network line's socket) reads the clock when asked,
    // which its reader does right after readInput().
    virtual qint64 readAtNs() const { return realtimeNs(); }
    static qint64 realtimeNs();

    // After the line has failed: whether one attempt to open it again at
    // once, quietly, is worth making before the line is shown as lost.
    virtual bool worthReopeningAtOnce() const { return true; }

    // Why the line last failed: the last open() that returned false, or the
    // failure while open that readInput() reported. None after an opening.
    virtual LineFailure failure() const { return m_failure; }
    // The same in the system's own words, where it said more ("Permission
    // error while locking the device"); else failureText(failure()).
    virtual QString failureDetail() const { return QString::fromLatin1(failureText(failure())); }

    // The line was lost and could not be opened again: waits, without a
    // polling timer, for it to come back, and opens it when it does. A local
    // device is watched through its folders (it returns when an adapter is
    // plugged in again or a link is made again); a network line is tried
    // again now and then. returned() tells when the line is open again.
    // Choosing another target, open() and close() end the wait. Nothing is
    // watched while a line is open.
    virtual void awaitReturn() {}

signals:
    // Bytes are waiting to be read.
    void received();
    // The line has failed while open: readInput() returns false until it is
    // closed. Told once, from the event loop, never from inside a call of the
    // line's own.
    void failed();

    // The line awaited is open again.
    void returned();
    // An attempt to open the line awaited failed (failure() says why); it
    // is still awaited.
    void returnFailed();

protected:
    // One attempt to open the line awaited; returned() if it opens, else
    // returnFailed().
    bool tryReturn()
    {
        if (!open()) {
            emit returnFailed();
            return false;
        }
        emit returned();
        return true;
    }

    void setFailure(LineFailure failure) { m_failure = failure; }

    // Raises received() or failed() from the event loop rather than inside a
    // notification of the line itself, where the handler must not close and
    // reopen it; nothing is raised if the line has been closed meanwhile.
    void receivedLater() { later(&UnitLine::received); }
    void failedLater() { later(&UnitLine::failed); }

private:
    void later(void (UnitLine::*signal)())
    {
        QMetaObject::invokeMethod(
            this,
            [this, signal] {
                if (isOpen())
                    emit(this->*signal)();
            },
            Qt::QueuedConnection);
    }

public:

private:
    LineFailure m_failure = LineFailure::None;
};
