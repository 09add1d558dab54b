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
    std::optional<Sim::Time> start;  // the clock's reading at start; empty: the computer's clock
    Sim::Settings settings;
    int interval = 1000;        // milliseconds between time reports
    int statusInterval = 1000;  // milliseconds between status reports
    bool trace = false;
    bool split = false;

    // Scenario, in seconds from the start; empty: never.
    std::optional<double> lockAfter = 2.0;
    std::optional<double> lockFor;
    std::optional<double> garbageAt;
    std::optional<double> overlongAt;
    std::optional<double> stopAfter;
    std::optional<double> hangUpAfter;
};

// Reads the command line. Exits the program for --help and --version; on a
// bad option returns nothing and sets `error`.
std::optional<Options> parseOptions(const QStringList &arguments, QString &error);
