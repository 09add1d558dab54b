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
    return QApplication::exec();
}
