// The panel's own start-up, call for call as the program makes it (the real
// serial line, the port scan of every port, the remembered port reopened),
// except that it quits once the window has been painted and the event loop is
// idle.

#include "shownidle.h"

#include "device/serialportservice.h"
#include "panel/frm718.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("QV-718"));
    QApplication::setApplicationName(QStringLiteral("QV-718"));

    frm718 window(std::make_unique<SerialPortService>());
    window.Form_Load();
    window.show();
    QuitWhenShownAndIdle(window);
    return QApplication::exec();
}
