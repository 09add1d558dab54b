#pragma once

#include <QtGlobal>

class QWidget;

// For the start-up benchmarks: once `window` has been painted for the first
// time and the event loop has nothing left to do, prints one line
//
//   idle <CLOCK_MONOTONIC in ns> rss <resident kB>
//
// on standard output and quits the application. The program that started
// this one compares the time with its own reading from before the start.
void quitWhenShownAndIdle(QWidget &window);

// CLOCK_MONOTONIC, which every process of the machine shares.
qint64 monotonicNs();

// The process's resident memory (VmRSS), in kB.
long residentKb();
