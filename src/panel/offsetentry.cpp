#include "offsetentry.h"

#include "statusdisplay.h"
#include "ui_frm718.h"

#include "device/ports/portservice.h"
#include "device/protocol/commands.h"
#include "device/common/numbertext.h"

using namespace Frames;
using Ports::SendCommand;

OffsetEntry::OffsetEntry(Ui::frm718 &ui, const StatusDisplay &status, PortService &Comm, QObject *parent)
    : QObject(parent)
    , ui(ui)
    , m_status(status)
    , Comm(Comm)
{
    connect(ui.txtOffset, &QLineEdit::textChanged, this, &OffsetEntry::txtOffset_Change);
}

void OffsetEntry::txtOffset_Change()
{
    if (m_status.applyingStatus())
        return;

    const NumberText::Reading reading = NumberText::read(ui.txtOffset->text());
    double value = reading.value;
    if (!reading.whole || value < 0 || value > MaxOffset) {
        ui.txtOffset->setText(QStringLiteral("0"));  // re-enters this handler
        value = 0;
        ui.txtOffset->setFocus();
        ui.txtOffset->setSelection(0, 1);
    }
    const int offset = int(NumberText::roundHalfEven(value));
    SendCommand(Comm, SetOffset, offsetDigits(offset));
}
