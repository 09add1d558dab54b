// The panel's own start-up, through the same function as the program's
// main() (the real serial line, the port scan of every port, the remembered
// port reopened), except that it quits once the window has been painted and
// the event loop is idle.

#include "shownidle.h"

#include "panel/panelapp.h"

int main(int argc, char *argv[])
{
    return runPanel(argc, argv, quitWhenShownAndIdle);
}
