#pragma once

#include <QObject>

class PortService;
struct Form718;
struct PanelState;

// The microsecond offset field. Every change of its text leaves at once as
// the offset's four decimal digits. Text that is not an offset from 0 to 9999
// becomes a selected "0" with the focus in the field; setting that "0" is a
// change too, so a rejected text sends the offset 0 twice, once from the
// nested change and once from the change that rejected the text.
class OffsetEntry : public QObject
{
    Q_OBJECT

public:
    OffsetEntry(Form718 &ui, const PanelState &state, PortService &Comm, QObject *parent);

    void txtOffset_Change();

private:
    Form718 &m_ui;
    const PanelState &m_state;
    PortService &m_comm;
};
