#pragma once

#include "unit.h"

#include <QStringList>

#include <optional>

// What the simulator is asked to do, from its command line.
struct Options
{
    QString link;     // keep a symbolic link to the pseudo-terminal here
    QString device;   // play the unit on this serial device instead
    Sim::Form form = Sim::Form::WithDate;
    std::optional<Sim::Time> start;  // the clock's reading at start; empty: the computer's clock, `ahead` on
    Sim::Settings settings;
    int interval = 1000;        // milliseconds between time reports
    int statusInterval = 1000;  // milliseconds between status reports
    bool trace = false;
    bool split = false;

    // Timing, in nanoseconds: a time report leaves `phase` after its tick on the unit's clock, moved by a jitter drawn
    // evenly from -jitter to +jitter; the clock runs `ahead` of the computer's.
    qint64 phase = 0;
    qint64 jitter = 0;
    qint64 ahead = 0;
    // Without --phase, --jitter or --ahead, the first time report leaves at once, at start and on resuming, out of
    // step with the rest.
    bool firstReportAtOnce = true;
    // The clock steps one second forward or back after this many time reports; empty: never.
    std::optional<int> skipAt;
    std::optional<int> repeatAt;

    // Scenario, in seconds from the start; empty: never.
    std::optional<double> lockAfter = 2.0;
    std::optional<double> lockFor;
    std::optional<double> relockAfter;  // after each loss
    std::optional<double> garbageAt;
    std::optional<double> overlongAt;
    std::optional<double> stopAfter;
    std::optional<double> hangUpAfter;
};

// Reads the command line. Exits the program for --help and --version; on a
// bad option returns nothing and sets `error`.
std::optional<Options> parseOptions(const QStringList &arguments, QString &error);
