#include "panelapp.h"

#include "frm718.h"

#include "device/program.h"
#include "device/lineservice.h"
#include "events/journal.h"

#include <QApplication>
#include <QCommandLineParser>

#include <cstring>
#include <memory>

namespace {

bool asksForTextOnly(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        for (const char *option : {"-h", "--help", "-?", "--help-all", "-v", "--version"}) {
            if (std::strcmp(argv[i], option) == 0)
                return true;
        }
    }
    return false;
}

} // namespace

int runPanel(int &argc, char **argv, const std::function<void(QWidget &)> &shown)
{
    // Help and the version are text: no window system is needed for them.
    const std::unique_ptr<QCoreApplication> app(asksForTextOnly(argc, argv) ? new QCoreApplication(argc, argv)
                                                                            : new QApplication(argc, argv));
    Program::setIdentity();
    Journal::setIdentifier("qv718-panel");
    QCommandLineParser options;
    options.setApplicationDescription(QStringLiteral(
        "Configures and watches a QV-718 time-code unit on a serial line: a local\n"
        "serial device, or a line behind a device server on the network."));
    options.addHelpOption();
    options.addVersionOption();
    const QCommandLineOption port(QStringLiteral("port"),
                                  QStringLiteral("Opens this line for this run instead of the remembered port, and "
                                                 "remembers nothing: a port number (1 to 16), a device path such as "
                                                 "/dev/ttyUSB0, or a network line, tcp://HOST:PORT or "
                                                 "rfc2217://HOST:PORT."),
                                  QStringLiteral("LINE"));
    options.addOption(port);
    options.process(*app);  // ends the program after --help, --version or a bad option

    frm718 window(new LineService);
    if (options.isSet(port))
        window.useOnlyLine(options.value(port));
    window.Form_Load();
    window.show();
    if (shown)
        shown(window);
    return QApplication::exec();
}
