#include "metrics.h"
#include "metricsserver.h"
#include "monitoredunit.h"
#include "monitoroptions.h"
#include "processmetrics.h"
#include "watchdog.h"

#include "device/program.h"
#include "device/signalwatch.h"
#include "events/journal.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdio>
#include <memory>
#include <vector>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("qv718-monitor"));
    QCoreApplication::setApplicationVersion(Program::version());
    Journal::setIdentifier("qv718-monitor");
    const auto fail = [](int status, const QString &why) {
        std::fprintf(stderr, "qv718-monitor: %s\n", qPrintable(why));
        return status;
    };

    QString error;
    const std::optional<MonitorOptions> options = readMonitorOptions(QCoreApplication::arguments(), error);
    if (!options)
        return fail(2, error);
    if (!watchSignals({SIGINT, SIGTERM}, [](int) { QCoreApplication::quit(); }))
        return fail(1, QStringLiteral("cannot watch for signals"));

    Metrics metrics;
    MetricsServer server({metrics.registry(), std::make_shared<ProcessMetrics>()});
    if (!server.listen(options->listen))
        return fail(1, QStringLiteral("cannot listen on %1").arg(options->listen));

    std::vector<std::unique_ptr<MonitoredUnit>> units;
    for (const MonitoredLine &unit : options->units) {
        units.push_back(std::make_unique<MonitoredUnit>(unit.name, unit.line, metrics));
        units.back()->start();
    }
    ServiceWatchdog watchdog;
    watchdog.ready();
    const int status = QCoreApplication::exec();
    watchdog.stopping();
    return status;
}
