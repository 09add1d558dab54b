#pragma once

#include "chronyfeed.h"
#include "metrics.h"
#include "monitoredunit.h"
#include "monitoroptions.h"

#include <map>
#include <memory>

// The units the monitor watches, by name, and their settings read again
// (reload(), on SIGHUP). A reload compares the units it reads with those
// watched, by name: a unit added is opened, one removed is closed and its
// series are withdrawn, one whose line changed is closed and watched afresh
// on its new line (its series start again from nothing), and every other
// unit is left alone: its line stays open and its counters go on. A unit's
// chrony socket (chronyfeed.h) follows its settings too, the unit untouched. Settings
// that are refused change nothing: the monitor goes on with those in use and
// says why in one journal entry. The address of /metrics stays the one
// served since the start: a reload that names another says that it takes
// effect at the next start.
class Monitor
{
public:
    Monitor(MonitorCommandLine commandLine, Metrics &metrics);

    // Watches the units of the settings accepted at the start, whose /metrics
    // is served on their listen address.
    void start(const MonitorOptions &options);

    // Reads the settings file and the command line again and applies them,
    // with one journal entry that says what changed, or why nothing did.
    void reload();

private:
    struct Watched
    {
        QString line;
        std::unique_ptr<MonitoredUnit> unit;
        QString chrony;
        std::unique_ptr<ChronyFeed> feed;  // after the unit, whose readings it takes
    };
    void watch(const MonitoredLine &unit);
    void feedChrony(const MonitoredLine &unit);

    const MonitorCommandLine m_commandLine;
    Metrics &m_metrics;
    QString m_listen;
    std::map<QString, Watched> m_units;
};
