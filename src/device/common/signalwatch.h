#pragma once

#include <functional>
#include <initializer_list>

// Turns signals into events of the event loop: the handler installed only
// writes the signal's number to a pipe, which the loop watches, and
// `handle` then runs there with that number, where it may do anything (quit
// the application, for SIGTERM). Call once, after the application object
// exists, for every signal to watch. False if the pipe cannot be made, a
// handler not installed, or it was called before.
bool watchSignals(std::initializer_list<int> numbers, std::function<void(int)> handle);
