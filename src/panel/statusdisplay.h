#pragma once

#include "device/reports.h"

#include <QString>

struct Form718;
struct PanelState;

// What the unit's reports show in the window. Every time report rewrites the
// generator time; every status report sets the lock lamp and the set-time
// editor; the first status report after a port was opened (once a time
// report has told the unit's kind) loads every setting into the controls and
// enables them. Later reports leave the settings alone until a port is
// opened again.
class StatusDisplay : public Module1::ReportSink
{
public:
    StatusDisplay(Form718 &ui, PanelState &state);
    virtual ~StatusDisplay() = default;

    void ShowGeneratorTime(const quint8 *report, qint16 count) override;
    void ApplyStatus(const quint8 *report) override;

    // Offers "GPS" as read mode 6, or withdraws it.
    void SetGpsAvailable(bool available);
    // Offers "Encoded Year" as control function 2 when timeReportHasDate is 1,
    // else withdraws it.
    void SetEncodedYearAvailable(qint16 timeReportHasDate);

    // "123 14:05:09", and with the date "123 14:05:09   |   05-03-2009".
    static QString GeneratorTimeText(const quint8 *report, bool withDate);

protected:
    // The last write of a full application: the unit's offset into its
    // field. Overridable so that a failure at that point can be staged.
    virtual void ShowOffset(int offset);

private:
    Form718 &m_ui;
    PanelState &m_state;
};
