#pragma once

#include "unitwatch.h"

#include "device/lines/unitline.h"
#include "device/protocol/reports.h"

#include <QObject>

// One unit's session on its line, for the window and the monitor alike: the
// line's connections (opened, lost, awaited), the reports framed out of its
// bytes, and the unit's events (unitwatch.h). Its owner reacts to what it
// hands out and drives nothing of it, but for what only the owner knows: the
// window opens its line by port number and tells the session when it did,
// or that it could not.
//
// A line that fails while open is closed, and opened once more at once,
// quietly, where the line finds that worth it (UnitLine::worthReopeningAtOnce)
// and a byte has arrived since the last such reopening; otherwise it is lost:
// lineLost(), then the line is awaited (UnitLine::awaitReturn) until it is
// open again (lineOpened()).
class UnitSession : public QObject, private Frames::ReportSink
{
    Q_OBJECT

public:
    // The session works on `line`, which its owner keeps.
    explicit UnitSession(UnitLine &line, QObject *parent = nullptr);

    // Opens the line, or awaits it (telling why it did not open).
    void start();
    // The owner has opened the line: a new connection, nothing reported on it
    // yet.
    void opened();
    // The owner could not use the line: it is closed, lost and awaited.
    void lose();
    // Reads what waits on the line and frames it. The owner calls it for
    // each notification of the line.
    void receive();
    // Another unit from now on: nothing of this one carries over.
    void forget();

    // Why the line is down, as the latest lost-line event told it.
    LineFailure failure() const { return m_watch.failure(); }
    // What the framing met that was no whole report, since the start.
    const Frames::ReportFramer::Errors &reportErrors() const { return m_framer.errors(); }

signals:
    // Whole reports, synchronously, in the order of their terminators; the
    // report stays valid until the handler returns (reports.h). A time
    // report comes with the moment its terminator arrived: the computer's
    // clock (CLOCK_REALTIME, nanoseconds since the epoch) read at the read
    // that delivered it (UnitLine::readAtNs), not later in the loop.
    void timeReport(const quint8 *report, qint16 count, qint64 arrivedNs);
    void statusReport(const quint8 *report);
    // A connection stands; nothing has been reported on it yet.
    void lineOpened();
    // The line is lost, or an opening failed (failure says why); it is
    // awaited.
    void lineLost(LineFailure failure);
    void openFailed(LineFailure failure);
    // No whole report for UnitWatch::SilenceMs on a line that has carried one.
    void silent();
    // The unit's events, as unitwatch.h orders them; a lost line's with why.
    void event(UnitEvent event, LineFailure failure);
    // What came was read and framed (reportErrors() may have grown).
    void framed();

private:
    void ShowGeneratorTime(const quint8 *report, qint16 count) override;
    void ApplyStatus(const quint8 *report) override;
    void failedToOpen();

    UnitLine &m_line;
    UnitWatch m_watch;
    Frames::ReportFramer m_framer;
    // A recovery reopened the line and no byte has arrived since: a second
    // failure now means the line cannot be used, not a passing fault.
    bool m_reopenedWithoutData = false;
    qint64 m_arrivedNs = 0;  // of the bytes being framed
};
