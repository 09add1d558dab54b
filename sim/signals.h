#pragma once

// Turns SIGINT and SIGTERM into an orderly QCoreApplication::quit(): the
// signal handler only writes to a pipe, which the event loop watches. Call
// once, after the application object exists. False if the pipe cannot be
// made.
bool QuitOnSignals();
