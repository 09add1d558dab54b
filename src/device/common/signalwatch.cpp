#include "device/common/signalwatch.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int number)
{
    const char byte = char(number);
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &byte, 1);
}

} // namespace

bool watchSignals(std::initializer_list<int> numbers, std::function<void(int)> handle)
{
    // One pipe for the program's whole run: a second call would leave the
    // first pipe, and its notifier, with nobody to read them.
    if (signalPipe[0] >= 0 || ::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    auto *notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [handle = std::move(handle)] {
        char byte;
        while (::read(signalPipe[0], &byte, 1) > 0)
            handle(byte);
    });

    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int number : numbers) {
        if (::sigaction(number, &action, nullptr) != 0)
            return false;
    }
    return true;
}
