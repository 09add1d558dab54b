#include "monitor.h"

#include "events/journal.h"

Monitor::Monitor(MonitorCommandLine commandLine, Metrics &metrics)
    : m_commandLine(std::move(commandLine))
    , m_metrics(metrics)
{
}

void Monitor::start(const MonitorOptions &options)
{
    m_listen = options.listen;
    for (const MonitoredLine &unit : options.units)
        watch(unit);
}

void Monitor::watch(const MonitoredLine &unit)
{
    Watched &watched = m_units[unit.name];
    watched.line = unit.line;
    watched.unit = std::make_unique<MonitoredUnit>(unit.name, unit.entry, unit.phase, m_metrics);
    feedChrony(unit);
    watched.unit->start();
}

void Monitor::feedChrony(const MonitoredLine &unit)
{
    Watched &watched = m_units.at(unit.name);
    watched.chrony = unit.chrony;
    watched.feed.reset();
    if (unit.chrony.isEmpty())
        return;
    watched.feed = std::make_unique<ChronyFeed>(unit.name, unit.entry, unit.chrony);
    QObject::connect(watched.unit.get(), &MonitoredUnit::clockReading, watched.feed.get(), &ChronyFeed::take);
}

void Monitor::reload()
{
    using Journal::SettingsEvent;
    QString error;
    const std::optional<MonitorOptions> options = readMonitorOptions(m_commandLine, error);
    if (!options) {
        Journal::settingsEvent(SettingsEvent::Refused, QStringLiteral("Settings not reloaded, those in use kept: %1").arg(error));
        return;
    }
    std::map<QString, QString> lines;
    for (const MonitoredLine &unit : options->units)
        lines[unit.name] = unit.line;
    // Units removed or moved go before any come: the lines they held are then
    // free for the units that come (a serial device opens for one holder),
    // and a moved unit's series are withdrawn before it adds series of the
    // same labels, which the registry would otherwise hand back as the old.
    std::size_t removed = 0, changed = 0;
    for (auto it = m_units.begin(); it != m_units.end();) {
        const auto wanted = lines.find(it->first);
        if (wanted != lines.end() && wanted->second == it->second.line) {
            ++it;
            continue;
        }
        ++(wanted == lines.end() ? removed : changed);
        it = m_units.erase(it);
    }
    const std::size_t unchanged = m_units.size();
    for (const MonitoredLine &unit : options->units) {
        if (!m_units.count(unit.name))
            watch(unit);
        else if (m_units.at(unit.name).chrony != unit.chrony)
            feedChrony(unit);
    }
    const QString source = m_commandLine.config.isEmpty() ? QStringLiteral("the command line") : m_commandLine.config;
    const auto count = [](std::size_t n) { return QString::number(n); };
    Journal::settingsEvent(SettingsEvent::Reloaded,
                           QStringLiteral("Settings reloaded from %1: units added %2, removed %3, changed %4, unchanged %5")
                               .arg(source, count(m_units.size() - unchanged - changed), count(removed), count(changed), count(unchanged)));
    if (options->listen != m_listen)
        Journal::settingsEvent(SettingsEvent::NeedsRestart, QStringLiteral("listen=%1 takes effect at the next start; "
                                                                           "/metrics stays on %2").arg(options->listen, m_listen));
}
