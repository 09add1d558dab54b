#include "calibration.h"
#include "metrics.h"
#include "metricsserver.h"
#include "monitor.h"
#include "monitoroptions.h"
#include "processmetrics.h"
#include "watchdog.h"

#include "device/common/program.h"
#include "device/common/signalwatch.h"
#include "events/journal.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdio>
#include <memory>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QLatin1String(Program::MonitorName));
    QCoreApplication::setApplicationVersion(Program::version());
    Journal::setIdentifier(Program::MonitorName);
    const auto fail = [](int status, const QString &why) {
        std::fprintf(stderr, "%s: %s\n", Program::MonitorName, qPrintable(why));
        return status;
    };

    QString error;
    const std::optional<MonitorCommandLine> commandLine = readCommandLine(QCoreApplication::arguments(), error);
    const std::optional<MonitorOptions> options = commandLine ? readMonitorOptions(*commandLine, error) : std::nullopt;
    if (!options)
        return fail(2, error);
    if (commandLine->calibrate)
        return calibrate(options->units.first(), commandLine->calibrateSeconds, commandLine->trustClock);
    if (commandLine->checkOnly) {
        const auto units = options->units.size();
        std::printf("%s: %lld unit%s, /metrics on %s\n", Program::MonitorName, qint64(units), units == 1 ? "" : "s", qPrintable(options->listen));
        return 0;
    }
    Metrics metrics;
    Monitor monitor(*commandLine, metrics);
    if (!watchSignals({SIGINT, SIGTERM, SIGHUP}, [&monitor](int number) {
            if (number == SIGHUP)
                monitor.reload();
            else
                QCoreApplication::quit();
        }))
        return fail(1, QStringLiteral("cannot watch for signals"));

    MetricsServer server({metrics.registry(), metrics.readAtScrape(), std::make_shared<ProcessMetrics>()});
    if (!server.listen(options->listen))
        return fail(1, QStringLiteral("cannot listen on %1").arg(options->listen));

    monitor.start(*options);
    ServiceWatchdog watchdog;
    watchdog.ready();
    const int status = QCoreApplication::exec();
    watchdog.stopping();
    return status;
}
