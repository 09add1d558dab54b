#pragma once

#include <QObject>

class PortService;
class QCheckBox;
class QComboBox;
struct Form718;
struct PanelState;

// The four settings lists and four check boxes. Each change, the operator's
// or the program's, leaves at once as one command: the list position or the
// box state as a single payload byte. Nothing is sent while a status report
// is being written into the controls, and nothing while no port is open.
class SettingsControls : public QObject
{
    Q_OBJECT

public:
    SettingsControls(Form718 &ui, const PanelState &state, PortService &Comm, QObject *parent);

    void cmbTimeZone_Click();
    void cmbReadMode_Click();
    void cmbGenerateMode_Click();
    void cmbControlFunction_Click();
    void chkFreeze_Click();
    void chkReaderEnable_Click();
    void chkLeapYear_Click();
    void chkBinarySeconds_Click();

private:
    // The one procedure behind all eight handlers.
    void SendSetting(const QComboBox *list, quint8 code);
    void SendSetting(const QCheckBox *box, quint8 code);
    void SendSettingValue(int value, quint8 code);

    Form718 &m_ui;
    const PanelState &m_state;
    PortService &m_comm;
};
