// The panel's window as its form builds it and nothing more: every control
// laid out by frm718.ui, shown, with no fonts, lists or pictures set, no
// port scan and no behaviour wired. The floor for this window. Quits once it
// has been painted and the event loop is idle.

#include "shownidle.h"
#include "ui_frm718.h"

#include "device/common/program.h"

#include <QApplication>
#include <QWidget>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    Program::setIdentity();

    QWidget window;
    Ui::frm718 ui;
    ui.setupUi(&window);
    window.show();
    quitWhenShownAndIdle(window);
    return QApplication::exec();
}
