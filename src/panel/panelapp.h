#pragma once

#include <functional>

class QWidget;

// The program: reads the command line, makes the application, puts the
// window on the serial line, starts it up, shows it and runs the event loop
// until the operator closes it. --help and --version need no display.
// `shown` runs once the window is shown (the start-up benchmark times it).
int runPanel(int &argc, char **argv, const std::function<void(QWidget &)> &shown = {});
