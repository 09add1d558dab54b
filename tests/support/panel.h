#pragma once

#include "fakeport.h"
#include "testenv.h"

#include "panel/frm718.h"

#include <QApplication>
#include <QMessageBox>
#include <QTest>

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
    auto fake = std::make_unique<FakePort>(present);
    port = fake.get();
    auto window = std::make_unique<frm718>(std::move(fake));
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
