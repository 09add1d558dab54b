#pragma once

#include "device/protocol/reports.h"

class UnitLine;

// Takes a line's reports in, for the window and the monitor alike: every byte
// waiting is framed. A line that fails is closed and opened once more at
// once, quietly, where the line finds that worth it
// (UnitLine::worthReopeningAtOnce) and a byte has arrived since the last such
// reopening; otherwise it is lost, and the caller shows it so and awaits it.
class ReportReceiver
{
public:
    // Reads what waits on `line` and frames it into `sink`. False when the
    // line has failed and is closed.
    bool receive(UnitLine &line, Frames::ReportSink &sink);

    // A line has been opened anew: a failure may again be met by a quiet
    // reopening.
    void lineOpened() { m_reopenedWithoutData = false; }

    // What the framing met that was no whole report (reports.h).
    const Frames::ReportFramer::Errors &errors() const { return m_framer.errors(); }

private:
    Frames::ReportFramer m_framer;
    // A recovery reopened the line and no byte has arrived since: a second
    // failure now means the line cannot be used, not a passing fault.
    bool m_reopenedWithoutData = false;
};
