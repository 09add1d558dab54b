#include "line.h"
#include "options.h"
#include "simulator.h"

#include "device/common/program.h"
#include "device/common/signalwatch.h"

#include <QCoreApplication>
#include <QTextStream>

#include <csignal>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QLatin1String(Program::SimulatorName));
    QCoreApplication::setApplicationVersion(Program::version());
    QTextStream err(stderr);

    QString error;
    const auto fail = [&](int status) {
        err << Program::SimulatorName << ": " << error << Qt::endl;
        return status;
    };
    const std::optional<Options> options = parseOptions(QCoreApplication::arguments(), error);
    if (!options)
        return fail(2);
    // Before anything is made that an orderly end has to undo. SIGINT and
    // SIGTERM end the unit in order; SIGUSR1 makes it fall silent, SIGUSR2
    // report again.
    Simulator *playing = nullptr;
    if (!watchSignals({SIGINT, SIGTERM, SIGUSR1, SIGUSR2}, [&playing](int number) {
            if (number == SIGINT || number == SIGTERM)
                QCoreApplication::quit();
            else if (playing)
                playing->setSilent(number == SIGUSR1);
        })) {
        error = QStringLiteral("cannot watch for signals");
        return fail(1);
    }
    std::unique_ptr<Line> line = options->device.isEmpty() ? Line::openPseudoTerminal(error)
                                                           : Line::openDevice(options->device, error);
    if (!line)
        return fail(1);
    LineLink link;
    if (!options->link.isEmpty() && !link.make(line->path(), options->link, error))
        return fail(1);
    // The first line of standard output is the line to open, for scripts.
    QTextStream(stdout) << line->path() << Qt::endl;

    Simulator simulator(*options, std::move(line), err);
    playing = &simulator;
    QObject::connect(&simulator, &Simulator::finished, &app, &QCoreApplication::exit);
    if (!simulator.start(error))
        return fail(1);
    return QCoreApplication::exec();
}
