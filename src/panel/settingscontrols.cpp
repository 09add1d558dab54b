#include "settingscontrols.h"

#include "picknotifier.h"
#include "statusdisplay.h"
#include "ui_frm718.h"

#include "device/ports/portservice.h"
#include "device/protocol/commands.h"

using namespace Frames;
using Ports::SendCommand;

SettingsControls::SettingsControls(Ui::frm718 &ui, const StatusDisplay &status, PortService &Comm,
                                   QObject *parent)
    : QObject(parent)
    , ui(ui)
    , m_status(status)
    , Comm(Comm)
{
    const auto onPick = [this](QComboBox *list, void (SettingsControls::*handler)()) {
        connect(new PickNotifier(list), &PickNotifier::picked, this, handler);
    };
    onPick(ui.cmbTimeZone, &SettingsControls::cmbTimeZone_Click);
    onPick(ui.cmbReadMode, &SettingsControls::cmbReadMode_Click);
    onPick(ui.cmbGenerateMode, &SettingsControls::cmbGenerateMode_Click);
    onPick(ui.cmbControlFunction, &SettingsControls::cmbControlFunction_Click);

    // A click always changes a box's state, so the state change alone is the
    // one notification, for the operator's clicks and the program's writes.
    const auto onState = [this](QCheckBox *box, void (SettingsControls::*handler)()) {
        connect(box, &QCheckBox::stateChanged, this, handler);
    };
    onState(ui.chkFreeze, &SettingsControls::chkFreeze_Click);
    onState(ui.chkReaderEnable, &SettingsControls::chkReaderEnable_Click);
    onState(ui.chkLeapYear, &SettingsControls::chkLeapYear_Click);
    onState(ui.chkBinarySeconds, &SettingsControls::chkBinarySeconds_Click);
}

void SettingsControls::cmbTimeZone_Click() { sendSetting(ui.cmbTimeZone, SetTimeZone); }
void SettingsControls::cmbReadMode_Click() { sendSetting(ui.cmbReadMode, SetReadMode); }
void SettingsControls::cmbGenerateMode_Click() { sendSetting(ui.cmbGenerateMode, SetGenerateMode); }
void SettingsControls::cmbControlFunction_Click() { sendSetting(ui.cmbControlFunction, SetControlFunction); }
void SettingsControls::chkFreeze_Click() { sendSetting(ui.chkFreeze, SetOutputFreeze); }
void SettingsControls::chkReaderEnable_Click() { sendSetting(ui.chkReaderEnable, SetReaderEnable); }
void SettingsControls::chkLeapYear_Click() { sendSetting(ui.chkLeapYear, SetLeapYear); }
void SettingsControls::chkBinarySeconds_Click() { sendSetting(ui.chkBinarySeconds, SetBinarySeconds); }

void SettingsControls::sendSetting(const QComboBox *list, quint8 code)
{
    if (m_status.applyingStatus())
        return;
    sendSettingValue(list->currentIndex(), code);
}

void SettingsControls::sendSetting(const QCheckBox *box, quint8 code)
{
    if (m_status.applyingStatus())
        return;
    // The state as the unit counts it: 0 clear, 1 ticked, 2 greyed.
    const Qt::CheckState state = box->checkState();
    sendSettingValue(state == Qt::Checked ? 1 : state == Qt::PartiallyChecked ? 2 : 0, code);
}

void SettingsControls::sendSettingValue(int value, quint8 code)
{
    // A list with nothing selected has no position to send.
    if (value < 0 || value > 255)
        return;
    const char payload = char(value);
    SendCommand(Comm, code, QByteArrayView(&payload, 1));
}
