#include "line.h"
#include "options.h"
#include "quitsignals.h"
#include "simulator.h"

#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("qv718-sim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QV718_VERSION));
    QTextStream err(stderr);

    QString error;
    const std::optional<Options> options = ParseOptions(QCoreApplication::arguments(), error);
    if (!options) {
        err << "qv718-sim: " << error << Qt::endl;
        return 2;
    }
    std::unique_ptr<Line> line = options->device.isEmpty() ? Line::OpenPseudoTerminal(error)
                                                           : Line::OpenDevice(options->device, error);
    LineLink link;
    if (!line || !QuitOnSignals() || (!options->link.isEmpty() && !link.make(line->path(), options->link, error))) {
        err << "qv718-sim: " << (error.isEmpty() ? QStringLiteral("cannot watch for signals") : error) << Qt::endl;
        return 1;
    }

    // The first line of standard output is the line to open, for scripts.
    QTextStream(stdout) << line->path() << Qt::endl;

    Simulator simulator(*options, std::move(line), err);
    QObject::connect(&simulator, &Simulator::finished, &app, &QCoreApplication::exit);
    simulator.start();
    return QCoreApplication::exec();
}
