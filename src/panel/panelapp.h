#pragma once

#include <functional>

class QWidget;

// The program: the window on the serial line, started up, shown, and the
// event loop run until the operator closes it. Needs the QApplication.
// `shown` runs once the window is shown (the start-up benchmark times it).
int RunPanel(const std::function<void(QWidget &)> &shown = {});
