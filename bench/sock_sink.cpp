// chronyd's side of the monitor's reference-clock feed, for a benchmark: a
// datagram socket bound at each PATH, as chronyd binds one for each
// "refclock SOCK PATH", every datagram read and checked.
//
//   sock_sink PATH...
//
// Prints "ready" once every socket is bound. Then, for each line "count" on
// standard input, prints one line:
//
//   DATAGRAMS WRONG SOCKETS MEDIAN_US MAX_US
//
// DATAGRAMS read since the start, WRONG those among them that were no
// sample as chronyd's SOCK driver reads one (a struct sock_sample, 40 bytes
// on a 64-bit system, with its magic number, no pulse and no leap second),
// SOCKETS how many of the sockets have had a datagram, and the median and
// largest absolute `offset` (the unit's time minus the computer's) of the
// samples read since the last "count", in microseconds (0 when none). Ends at
// the end of standard input, and removes the sockets.

#include "monitor/socksample.h"

#include <sys/epoll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Sample = SockSample;  // chronyd's struct sock_sample

struct Sink
{
    std::vector<int> fds;
    std::vector<bool> heard;
    long long datagrams = 0;
    long long wrong = 0;
    std::vector<double> offsetsUs;  // since the last count

    // Reads every datagram waiting on socket `index`.
    void drain(std::size_t index)
    {
        for (;;) {
            Sample sample{};
            // MSG_TRUNC: the datagram's own length, also where it is longer.
            const ssize_t length = recv(fds[index], &sample, sizeof sample, MSG_DONTWAIT | MSG_TRUNC);
            if (length < 0)
                return;
            ++datagrams;
            heard[index] = true;
            if (length != ssize_t(sizeof sample) || sample.magic != SockMagic || sample.pulse || sample.leap)
                ++wrong;
            else
                offsetsUs.push_back(std::abs(sample.offset) * 1e6);
        }
    }

    void count()
    {
        double median = 0, most = 0;
        if (!offsetsUs.empty()) {
            std::sort(offsetsUs.begin(), offsetsUs.end());
            median = offsetsUs[offsetsUs.size() / 2];
            most = offsetsUs.back();
        }
        std::printf("%lld %lld %ld %.0f %.0f\n", datagrams, wrong, long(std::count(heard.begin(), heard.end(), true)),
                    median, most);
        std::fflush(stdout);
        offsetsUs.clear();
    }
};

} // namespace

int main(int argc, char *argv[])
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: sock_sink PATH...\n");
        return 2;
    }
    const int epoll = epoll_create1(EPOLL_CLOEXEC);
    Sink sink;
    for (int i = 1; i < argc; ++i) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        if (std::strlen(argv[i]) >= sizeof address.sun_path) {
            std::fprintf(stderr, "sock_sink: %s: too long for a socket's path\n", argv[i]);
            return 2;
        }
        std::strcpy(address.sun_path, argv[i]);
        const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0 || bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
            std::fprintf(stderr, "sock_sink: %s: %s\n", argv[i], std::strerror(errno));
            return 1;
        }
        epoll_event event{};
        event.events = EPOLLIN;
        event.data.u64 = sink.fds.size();
        if (epoll < 0 || epoll_ctl(epoll, EPOLL_CTL_ADD, fd, &event) != 0) {
            std::fprintf(stderr, "sock_sink: epoll: %s\n", std::strerror(errno));
            return 1;
        }
        sink.fds.push_back(fd);
        sink.heard.push_back(false);
    }
    // Standard input: its index is one past the sockets'.
    epoll_event input{};
    input.events = EPOLLIN;
    input.data.u64 = sink.fds.size();
    if (epoll_ctl(epoll, EPOLL_CTL_ADD, STDIN_FILENO, &input) != 0) {
        std::fprintf(stderr, "sock_sink: standard input: %s\n", std::strerror(errno));
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);

    std::string pending;
    bool open = true;
    while (open) {
        epoll_event events[16];
        const int ready = epoll_wait(epoll, events, 16, -1);
        if (ready < 0 && errno != EINTR)
            break;
        for (int i = 0; i < ready; ++i) {
            const std::size_t index = events[i].data.u64;
            if (index < sink.fds.size()) {
                sink.drain(index);
                continue;
            }
            char block[256];
            const ssize_t length = read(STDIN_FILENO, block, sizeof block);
            if (length <= 0) {
                open = false;
                break;
            }
            pending.append(block, std::size_t(length));
            for (std::size_t end; (end = pending.find('\n')) != std::string::npos; pending.erase(0, end + 1)) {
                if (pending.compare(0, end, "count") == 0) {
                    // What has arrived until now counts.
                    for (std::size_t s = 0; s < sink.fds.size(); ++s)
                        sink.drain(s);
                    sink.count();
                }
            }
        }
    }
    for (int i = 1; i < argc; ++i)
        unlink(argv[i]);
    return 0;
}
