// The panel's window as Qt builds it and nothing more: every control laid out
// by Form718::setupUi, shown, with no port scan and no behaviour wired. The
// floor for this window. Quits once it has been painted and the event loop is
// idle.

#include "shownidle.h"

#include "panel/form718.h"

#include <QApplication>
#include <QWidget>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("QV-718"));
    QApplication::setApplicationName(QStringLiteral("QV-718"));

    QWidget window;
    Form718 ui;
    ui.setupUi(&window);
    window.show();
    QuitWhenShownAndIdle(window);
    return QApplication::exec();
}
