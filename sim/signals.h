#pragma once

#include <functional>

// Turns signals into events of the event loop: the handler only writes the
// signal's number to a pipe, which the loop watches. SIGINT and SIGTERM end
// the program in order (QCoreApplication::quit()); SIGUSR1 calls `silence`
// with true (the unit stops reporting), SIGUSR2 with false (it reports
// again), so that a test or an operator can make the unit fall silent when
// it suits them. Call once, after the application object exists. False if
// the pipe cannot be made.
bool watchSignals(std::function<void(bool)> silence);
