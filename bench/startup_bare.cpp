// The floor of any Qt Widgets program: an application and one empty window,
// shown. Quits once the window has been painted and the event loop is idle.

#include "shownidle.h"

#include <QApplication>
#include <QWidget>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.show();
    quitWhenShownAndIdle(window);
    return QApplication::exec();
}
