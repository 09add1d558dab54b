#include "offsetentry.h"

#include "form718.h"
#include "panelstate.h"

#include "device/commands.h"
#include "device/numbertext.h"

#include <QLineEdit>

using namespace Module1;

OffsetEntry::OffsetEntry(Form718 &ui, const PanelState &state, PortService &Comm, QObject *parent)
    : QObject(parent)
    , m_ui(ui)
    , m_state(state)
    , m_comm(Comm)
{
    connect(ui.txtOffset, &QLineEdit::textChanged, this, &OffsetEntry::txtOffset_Change);
}

void OffsetEntry::txtOffset_Change()
{
    if (m_state.ApplyingStatus)
        return;

    const NumberText::Reading reading = NumberText::Read(m_ui.txtOffset->text());
    double value = reading.value;
    if (!reading.whole || value < 0 || value > 9999) {
        m_ui.txtOffset->setText(QStringLiteral("0"));  // re-enters this handler
        value = 0;
        m_ui.txtOffset->setFocus();
        m_ui.txtOffset->setSelection(0, 1);
    }
    const int offset = int(NumberText::RoundHalfEven(value));
    SendCommand(m_comm, SetOffset, OffsetPayload(offset));
}
