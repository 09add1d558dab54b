// Debian's ser2net on loopback in front of a serial device, as the tests run
// it (tests/support/ser2net.h): a raw and a telnet(rfc2217) accepter on free
// ports of 127.0.0.1, kickolduser, no character delay. Prints the raw port and
// the RFC 2217 port on one line once both listen, and stops ser2net when its
// standard input closes or it is asked to end (SIGTERM, SIGINT, SIGHUP).
//
//   ser2net_host DEVICE [LINE-SETTINGS]
//
// LINE-SETTINGS are the connector's options after the device path, by
// default "9600n81,local": the unit's own line. The device need not exist;
// ser2net then takes connections and ends each at once.

#include "ser2net.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdio>

#include <unistd.h>

namespace {

void interrupt(int) {}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() < 2 || arguments.size() > 3) {
        std::fprintf(stderr, "usage: ser2net_host DEVICE [LINE-SETTINGS]\n");
        return 2;
    }
    // A signal ends the wait below (no SA_RESTART), so that ser2net is
    // stopped on the way out rather than left behind.
    struct sigaction action = {};
    action.sa_handler = interrupt;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGTERM, SIGINT, SIGHUP})
        sigaction(signal, &action, nullptr);

    Ser2net server(arguments.at(1), arguments.value(2, QStringLiteral("9600n81,local")));
    if (!server.start()) {
        std::fprintf(stderr, "ser2net_host: ser2net did not start\n%s", qPrintable(server.log()));
        return 1;
    }
    std::printf("%s %s\n", qPrintable(server.rawUrl().section(QLatin1Char(':'), -1)),
                qPrintable(server.rfc2217Url().section(QLatin1Char(':'), -1)));
    std::fflush(stdout);
    char byte;
    while (read(STDIN_FILENO, &byte, 1) > 0) {
    }
    server.stop();
    return 0;
}
