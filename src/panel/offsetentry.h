#pragma once

#include <QObject>

class PortService;
class StatusDisplay;
namespace Ui {
class frm718;
}

// The microsecond offset field. Every change of its text leaves at once as
// the offset's four decimal digits. Text that is not an offset from 0 to 9999
// becomes a selected "0" with the focus in the field; setting that "0" is a
// change too, so a rejected text sends the offset 0 twice, once from the
// nested change and once from the change that rejected the text.
class OffsetEntry : public QObject
{
    Q_OBJECT

public:
    OffsetEntry(Ui::frm718 &ui, const StatusDisplay &status, PortService &Comm, QObject *parent);

private:
    void txtOffset_Change();

    Ui::frm718 &ui;
    const StatusDisplay &m_status;
    PortService &Comm;
};
