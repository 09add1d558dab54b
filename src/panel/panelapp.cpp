#include "panelapp.h"

#include "frm718.h"

#include "device/program.h"
#include "device/serialportservice.h"

#include <QApplication>

int RunPanel(const std::function<void(QWidget &)> &shown)
{
    Program::SetIdentity();
    frm718 window(new SerialPortService);
    window.Form_Load();
    window.show();
    if (shown)
        shown(window);
    return QApplication::exec();
}
