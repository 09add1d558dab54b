// A scraper for the monitor's metrics on loopback, with plain sockets: one
// HTTP/1.0 request per connection, as Prometheus makes one per scrape, timed
// from just before connect() to the end of the answer (the server closes the
// connection once it has sent it).
//
//   bench_scrape port                       a free port on 127.0.0.1
//   bench_scrape get PORT                   GET /metrics once, the body to stdout
//   bench_scrape time PORT [--requests N] [--gap MS] [--gzip]
//   bench_scrape slow PORT [--clients N] [--requests N] [--gap MS] [--pid PID]
//   bench_scrape burst PORT [--connections N] [--pid PID]
//
// time makes 5 requests that are not counted, then N (500 unless said), one
// at a time with MS milliseconds (10 unless said) between the end of one and
// the start of the next, and prints a Markdown table of the times with RESULT
// lines for bench/run. --gzip asks for the answer compressed, as Prometheus
// does (Accept-Encoding: gzip). Every answer must have status 200; any other
// ends the program with status 1.
//
// slow times scrapes in the same way while N clients (64 unless said) each
// hold a connection on which they sent half a request and then wait; one
// that the server closes is opened again at once, before the next scrape.
// burst opens N connections (10000 unless said) as fast as it can, sends
// nothing on them and holds them all; from the moment the last was begun it
// scrapes, each attempt with 10 s to connect and 10 s to answer, until one
// answers, and prints the time to that answer. With --pid, both then read
// the resident memory (VmRSS, and its highest, VmHWM) and the threads of
// that process.

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <string>
#include <vector>

namespace {

long long monotonicNs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

sockaddr_in loopback(int port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    return address;
}

// A connection to the port, or -1: blocking, or begun and left to complete
// (non-blocking), as `wait` says.
int connectTo(int port, bool wait)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | (wait ? 0 : SOCK_NONBLOCK), 0);
    if (fd < 0)
        return -1;
    const sockaddr_in address = loopback(port);
    if (connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0 || (!wait && errno == EINPROGRESS))
        return fd;
    close(fd);
    return -1;
}

// One request: the whole answer, headers and body, or empty when the
// connection failed. Within `timeoutMs` to connect and again to answer, if
// given.
std::string request(int port, bool gzip, int timeoutMs = 0)
{
    std::string answer;
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return answer;
    if (timeoutMs > 0) {
        const timeval limit{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
        setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);  // connect() too
        setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    }
    const sockaddr_in address = loopback(port);
    std::string text = "GET /metrics HTTP/1.0\r\nHost: 127.0.0.1\r\n";
    if (gzip)
        text += "Accept-Encoding: gzip\r\n";
    text += "\r\n";
    if (connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0
        && send(fd, text.data(), text.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(text.size())) {
        char buffer[65536];
        ssize_t n = 0;
        while ((n = recv(fd, buffer, sizeof buffer, 0)) > 0)
            answer.append(buffer, static_cast<size_t>(n));
    }
    close(fd);
    return answer;
}

bool isOk(const std::string &answer)
{
    return answer.compare(0, 9, "HTTP/1.0 ") == 0 ? answer.compare(9, 3, "200") == 0
                                                 : answer.compare(0, 13, "HTTP/1.1 200 ") == 0;
}

std::string body(const std::string &answer)
{
    const size_t end = answer.find("\r\n\r\n");
    return end == std::string::npos ? std::string() : answer.substr(end + 4);
}

double quantile(std::vector<double> values, double q)
{
    std::sort(values.begin(), values.end());
    if (values.empty())
        return 0;
    const size_t rank = static_cast<size_t>(std::ceil(q * static_cast<double>(values.size())));
    return values[std::min(values.size(), std::max<size_t>(rank, 1)) - 1];
}

// RESULT lines with the resident memory, its highest and the threads of a
// process, from its /proc/PID/status.
void showProcess(int pid, const char *prefix)
{
    if (pid <= 0)
        return;
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string key;
    long value = 0;
    while (status >> key) {
        const char *name = key == "VmRSS:" ? "rss_kb" : key == "VmHWM:" ? "hwm_kb" : key == "Threads:" ? "threads" : nullptr;
        if (name && status >> value)
            std::printf("RESULT %s_%s %ld\n", prefix, name, value);
        status.ignore(4096, '\n');
    }
}

int freePort()
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = loopback(0);
    socklen_t length = sizeof address;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr *>(&address), length) != 0
        || getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) != 0)
        return 1;
    std::printf("%d\n", ntohs(address.sin_port));
    close(fd);
    return 0;
}

int get(int port)
{
    const std::string answer = request(port, false);
    if (!isOk(answer))
        return 1;
    const std::string text = body(answer);
    std::fwrite(text.data(), 1, text.size(), stdout);
    return 0;
}

// Clients that sent half a request and wait: each connection the server
// closes is opened again, and sent the same half.
struct SlowClients
{
    SlowClients(int port, int count) : port(port), fds(static_cast<size_t>(count), -1) {}
    ~SlowClients()
    {
        for (const int fd : fds)
            if (fd >= 0)
                close(fd);
    }
    // Opens those that are not open; false if one cannot be.
    bool refresh()
    {
        static const char half[] = "GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\n";
        for (int &fd : fds) {
            pollfd p{fd, POLLIN, 0};
            char byte = 0;
            if (fd >= 0 && (poll(&p, 1, 0) == 0 || recv(fd, &byte, 1, MSG_DONTWAIT) > 0))
                continue;  // still waiting (or answered, which counts as open until it closes)
            if (fd >= 0) {
                close(fd);
                ++reopened;
            }
            fd = connectTo(port, true);
            if (fd < 0 || send(fd, half, sizeof half - 1, MSG_NOSIGNAL) < 0)
                return false;
        }
        return true;
    }
    int port;
    std::vector<int> fds;
    long reopened = 0;
};

int timeRequests(int port, int requests, int gapMs, bool gzip, int slow, int pid)
{
    std::vector<double> us;
    size_t bytes = 0;
    SlowClients clients(port, slow);
    const timespec gap{gapMs / 1000, static_cast<long>(gapMs % 1000) * 1000000};
    for (int i = -5; i < requests; ++i) {
        if (!clients.refresh()) {
            std::fprintf(stderr, "bench_scrape: cannot open the slow clients' connections\n");
            return 1;
        }
        const long long start = monotonicNs();
        const std::string answer = request(port, gzip);
        const long long end = monotonicNs();
        if (!isOk(answer)) {
            std::fprintf(stderr, "bench_scrape: request %d: %s\n", i,
                         answer.empty() ? "no answer" : answer.substr(0, answer.find('\r')).c_str());
            return 1;
        }
        if (i >= 0) {
            us.push_back(static_cast<double>(end - start) / 1000);
            bytes = answer.size();
        }
        nanosleep(&gap, nullptr);
    }
    const std::string kind = slow ? "_slow" : gzip ? "_gzip" : "";
    std::printf("| requests | answer | median | 90th | 99th | 99.9th | max |\n|---:|---:|---:|---:|---:|---:|---:|\n");
    std::printf("| %d | %zu bytes | %.0f µs | %.0f µs | %.0f µs | %.0f µs | %.0f µs |\n", requests, bytes,
                quantile(us, 0.5), quantile(us, 0.9), quantile(us, 0.99), quantile(us, 0.999), quantile(us, 1.0));
    const char *k = kind.c_str();
    std::printf("RESULT scrape%s_p50_us %.0f\nRESULT scrape%s_p99_us %.0f\nRESULT scrape%s_max_us %.0f\n"
                "RESULT scrape%s_bytes %zu\n",
                k, quantile(us, 0.5), k, quantile(us, 0.99), k, quantile(us, 1.0), k, bytes);
    if (slow) {
        std::printf("RESULT slow_clients %d\nRESULT slow_reopened %ld\n", slow, clients.reopened);
        showProcess(pid, "slow");
    }
    return 0;
}

int burst(int port, int connections, int pid)
{
    // As many descriptors as the hard limit allows.
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
    std::vector<int> fds;
    fds.reserve(static_cast<size_t>(connections));
    const long long start = monotonicNs();
    for (int i = 0; i < connections; ++i) {
        const int fd = connectTo(port, false);
        if (fd < 0)
            break;
        fds.push_back(fd);
    }
    const long long made = monotonicNs();
    int attempts = 0;
    std::string answer;
    while (!isOk(answer) && monotonicNs() - made < 180LL * 1000000000) {
        ++attempts;
        answer = request(port, false, 10000);
    }
    const long long answered = monotonicNs();
    std::printf("RESULT burst_connections %zu\nRESULT burst_seconds %.3f\nRESULT burst_answered %d\n"
                "RESULT burst_answer_seconds %.3f\nRESULT burst_attempts %d\n",
                fds.size(), static_cast<double>(made - start) / 1e9, isOk(answer) ? 1 : 0,
                static_cast<double>(answered - made) / 1e9, attempts);
    showProcess(pid, "burst");
    for (const int fd : fds)
        close(fd);
    return isOk(answer) ? 0 : 1;
}

int usage()
{
    std::fprintf(stderr, "usage: bench_scrape port | get PORT | time PORT [--requests N] [--gap MS] [--gzip]\n"
                         "       | slow PORT [--clients N] [--requests N] [--gap MS] [--pid PID]\n"
                         "       | burst PORT [--connections N] [--pid PID]\n");
    return 2;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc == 2 && std::strcmp(argv[1], "port") == 0)
        return freePort();
    if (argc < 3)
        return usage();
    const int port = std::atoi(argv[2]);
    if (port < 1 || port > 65535)
        return usage();
    if (argc == 3 && std::strcmp(argv[1], "get") == 0)
        return get(port);
    const std::string command = argv[1];
    if (command != "time" && command != "slow" && command != "burst")
        return usage();
    int requests = 500;
    int gapMs = 10;
    bool gzip = false;
    int clients = command == "slow" ? 64 : 0;
    int connections = 10000;
    int pid = 0;
    for (int i = 3; i < argc; ++i) {
        const std::string option = argv[i];
        const bool valued = i + 1 < argc;
        if (option == "--gzip" && command == "time")
            gzip = true;
        else if (option == "--requests" && valued && command != "burst")
            requests = std::atoi(argv[++i]);
        else if (option == "--gap" && valued && command != "burst")
            gapMs = std::atoi(argv[++i]);
        else if (option == "--clients" && valued && command == "slow")
            clients = std::atoi(argv[++i]);
        else if (option == "--connections" && valued && command == "burst")
            connections = std::atoi(argv[++i]);
        else if (option == "--pid" && valued && command != "time")
            pid = std::atoi(argv[++i]);
        else
            return usage();
    }
    if (requests < 1 || gapMs < 0 || clients < 0 || connections < 1)
        return usage();
    if (command == "burst")
        return burst(port, connections, pid);
    return timeRequests(port, requests, gapMs, gzip, clients, pid);
}
