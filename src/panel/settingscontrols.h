#pragma once

#include <QObject>

class PortService;
class QCheckBox;
class QComboBox;
class StatusDisplay;
namespace Ui {
class frm718;
}

// The four settings lists and four check boxes. Each change, the operator's
// or the program's, leaves at once as one command: the list position or the
// box state as a single payload byte. Nothing is sent while a status report
// is being written into the controls, and nothing while no port is open.
class SettingsControls : public QObject
{
    Q_OBJECT

public:
    SettingsControls(Ui::frm718 &ui, const StatusDisplay &status, PortService &Comm, QObject *parent);

private:
    void cmbTimeZone_Click();
    void cmbReadMode_Click();
    void cmbGenerateMode_Click();
    void cmbControlFunction_Click();
    void chkFreeze_Click();
    void chkReaderEnable_Click();
    void chkLeapYear_Click();
    void chkBinarySeconds_Click();

    // The one procedure behind all eight handlers.
    void sendSetting(const QComboBox *list, quint8 code);
    void sendSetting(const QCheckBox *box, quint8 code);
    void sendSettingValue(int value, quint8 code);

    Ui::frm718 &ui;
    const StatusDisplay &m_status;
    PortService &Comm;
};
