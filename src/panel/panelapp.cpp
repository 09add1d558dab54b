#include "panelapp.h"

#include "frm718.h"

#include "device/ports/portline.h"
#include "device/ports/portdevices.h"
#include "device/common/program.h"
#include "events/journal.h"

#include <QApplication>
#include <QCommandLineParser>

#include <cstdio>
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

// The options every Qt program with a window takes (-platform xcb, -style
// fusion, -reverse, ...): known to the parser, so that the command line can
// be judged whole before the application exists, and left to it.
void addQtOptions(QCommandLineParser &parser)
{
    for (const char *name : {"platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry",
                             "qwindowicon", "qwindowtitle", "session", "display", "geometry", "style", "stylesheet",
                             "qmljsdebugger"}) {
        QCommandLineOption option(QString::fromLatin1(name), QString(), QStringLiteral("value"));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
    for (const char *name : {"reverse", "widgetcount", "nograb", "dograb", "sync"}) {
        QCommandLineOption option(QString::fromLatin1(name));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
}

int refuse(const QString &why)
{
    std::fprintf(stderr, "%s: %s\n", Program::PanelName, qPrintable(why));
    return 2;
}

} // namespace

int runPanel(int &argc, char **argv, const std::function<void(QWidget &)> &shown)
{
    // The command line is judged whole before anything needs a display:
    // help, the version and every refusal are text, and a refused line
    // opens no window and reads or writes no settings.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    std::unique_ptr<QCoreApplication> textOnly(asksForTextOnly(argc, argv) ? new QCoreApplication(argc, argv) : nullptr);
    Program::setIdentity();
    Journal::setIdentifier(Program::PanelName);
    QCommandLineParser options;
    options.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    options.setApplicationDescription(QStringLiteral(
        "Configures and watches a QV-718 time-code unit on a serial line: a local\n"
        "serial device, or a line behind a device server on the network."));
    options.addHelpOption();
    options.addVersionOption();
    const QCommandLineOption port(QStringLiteral("port"),
                                  QStringLiteral("Opens this line for this run instead of the remembered port, and "
                                                 "remembers nothing: a port number (%1), a device path such as "
                                                 "/dev/ttyUSB0, or a network line, tcp://HOST:PORT or "
                                                 "rfc2217://HOST:PORT.").arg(Ports::portRangeText()),
                                  QStringLiteral("LINE"));
    options.addOption(port);
    addQtOptions(options);
    QString error;
    if (!Program::parseCommandLine(options, arguments, error))
        return refuse(error);
    const QString line = options.value(port);
    if (options.isSet(port)) {
        if (const QString why = Ports::runLineRefusal(line); !why.isEmpty())
            return refuse(QStringLiteral("--port \"%1\": %2").arg(line, why));
    }
    textOnly.reset();

    QApplication app(argc, argv);
    frm718 window(new PortLine);
    if (options.isSet(port))
        window.useOnlyLine(line);
    window.Form_Load();
    window.show();
    if (shown)
        shown(window);
    return QApplication::exec();
}
