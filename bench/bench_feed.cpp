// Plays a unit that sends time reports as fast as the line takes them, for
// measuring a panel that runs as a program of its own.
//
//   bench_feed
//
// Opens a pseudo-terminal and prints the line to open as its first line of
// output. Then takes commands on standard input, one a line:
//
//   feed N   writes the next N time reports (waiting while the terminal's
//            buffer is full), waits until the panel has read every byte, and
//            answers "fed N".
//
// Ends at the end of its input.

#include "reportstream.h"

#include "pseudoterminal.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

int main()
{
    Pty pty;
    if (!pty.isValid()) {
        std::fprintf(stderr, "bench_feed: no pseudo-terminal\n");
        return 1;
    }
    // What waits unread on the panel's side, counted through a second
    // opening of that side.
    const QByteArray path = pty.slavePath().toLocal8Bit();
    const int unread = ::open(path.constData(), O_RDWR | O_NOCTTY);
    std::printf("%s\n", path.constData());
    std::fflush(stdout);

    qint64 next = 0;
    char line[128];
    while (std::fgets(line, sizeof line, stdin)) {
        long long count = 0;
        if (std::sscanf(line, "feed %lld", &count) != 1 || count < 0) {
            std::fprintf(stderr, "bench_feed: not understood: %s", line);
            continue;
        }
        std::vector<char> chunk;
        for (long long done = 0; done < count;) {
            const long long now = std::min(count - done, 4096LL);
            chunk.clear();
            for (long long i = 0; i < now; ++i) {
                const auto frame = ReportStream::frame(next++);
                chunk.insert(chunk.end(), frame.begin(), frame.end());
            }
            if (!writeAll(pty.masterFd(), chunk.data(), chunk.size())) {
                std::fprintf(stderr, "bench_feed: line failed: %s\n", std::strerror(errno));
                return 1;
            }
            done += now;
        }
        for (int waiting = 1; waiting > 0;) {
            if (::ioctl(unread, FIONREAD, &waiting) != 0)
                break;
            if (waiting > 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        std::printf("fed %lld\n", count);
        std::fflush(stdout);
    }
    ::close(unread);
    return 0;
}
