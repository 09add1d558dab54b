#pragma once

#include "fakeport.h"
#include "testenv.h"

#include "panel/frm718.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

// The window's controls, found by name as an operator's tools find them.
struct Controls
{
    const QWidget &window;
    template <class T>
    T *find(const char *name) const
    {
        return window.findChild<T *>(QLatin1String(name));
    }

    QLabel *picLogo = find<QLabel>("picLogo");
    QGroupBox *Frame4 = find<QGroupBox>("Frame4");
    QComboBox *cmbComports = find<QComboBox>("cmbComports");
    QLabel *imgLock = find<QLabel>("imgLock");
    QLabel *lblLock = find<QLabel>("lblLock");
    QLabel *lblGeneratorTime = find<QLabel>("lblGeneratorTime");
    QComboBox *cmbReadMode = find<QComboBox>("cmbReadMode");
    QComboBox *cmbGenerateMode = find<QComboBox>("cmbGenerateMode");
    QLabel *lblYear = find<QLabel>("lblYear");
    QLineEdit *txtYear = find<QLineEdit>("txtYear");
    QWidget *frameSetTime = find<QWidget>("frameSetTime");
    QPushButton *cmdSetTime = find<QPushButton>("cmdSetTime");
    QLineEdit *txtDay = find<QLineEdit>("txtDay");
    QLineEdit *txtHour = find<QLineEdit>("txtHour");
    QLineEdit *txtMinute = find<QLineEdit>("txtMinute");
    QLineEdit *txtSecond = find<QLineEdit>("txtSecond");
    QComboBox *cmbTimeZone = find<QComboBox>("cmbTimeZone");
    QLineEdit *txtOffset = find<QLineEdit>("txtOffset");
    QComboBox *cmbControlFunction = find<QComboBox>("cmbControlFunction");
    QCheckBox *chkFreeze = find<QCheckBox>("chkFreeze");
    QCheckBox *chkBinarySeconds = find<QCheckBox>("chkBinarySeconds");
    QCheckBox *chkReaderEnable = find<QCheckBox>("chkReaderEnable");
    QCheckBox *chkLeapYear = find<QCheckBox>("chkLeapYear");
};

// The message boxes on screen.
inline QList<QMessageBox *> Messages()
{
    QList<QMessageBox *> boxes;
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (auto *box = qobject_cast<QMessageBox *>(w); box && box->isVisible())
            boxes << box;
    }
    return boxes;
}

inline void CloseMessages()
{
    for (QMessageBox *box : Messages())
        box->close();
}

// A window on a fake line on which the `present` ports open, remembering
// port `remembered` (0: nothing stored), its clock reading `now` if given.
// Start-up has run; `port` is the fake line.
inline std::unique_ptr<frm718> StartOnFakeLine(TempSettings &settings, const QSet<qint16> &present, int remembered,
                                               FakePort *&port, const QDateTime &now = {})
{
    if (remembered)
        settings.set(QStringLiteral("Settings/Comport"), QString::number(remembered));
    port = new FakePort(present);
    auto window = std::make_unique<frm718>(port);
    if (now.isValid())
        window->setClock([now] { return now; });
    window->Form_Load();
    return window;
}

// Shows a window and waits until it has the focus, as the operator's would.
inline bool ShowActive(QWidget *window)
{
    window->show();
    return QTest::qWaitForWindowActive(window);
}
