#pragma once

#include <QtGlobal>

// Window-level flags, all false when the window is created. Booleans are kept
// as -1 (true) and 0 (false).
struct PanelState
{
    // True while a status report is written into the settings controls; the
    // controls' own handlers then send nothing. Only the status display
    // writes it.
    qint16 ApplyingStatus = 0;
    // The next usable status report is to be applied in full. Set at start-up
    // and whenever a port is opened; cleared when a report is applied.
    qint16 RefreshPending = 0;
    // The first time report of the run has decided TimeReportHasDate.
    qint16 TimeFormatKnown = 0;
    // 1 when that first time report had 8 data bytes (year and date).
    qint16 TimeReportHasDate = 0;
};

// Holds ApplyingStatus true for its lifetime, however the scope is left.
class ApplyingStatusScope
{
public:
    explicit ApplyingStatusScope(PanelState &state)
        : m_state(state)
    {
        m_state.ApplyingStatus = -1;
    }
    ~ApplyingStatusScope() { m_state.ApplyingStatus = 0; }
    ApplyingStatusScope(const ApplyingStatusScope &) = delete;
    ApplyingStatusScope &operator=(const ApplyingStatusScope &) = delete;

private:
    PanelState &m_state;
};
