// A scraper for the monitor's metrics on loopback, with plain sockets: one
// HTTP/1.0 request per connection, as Prometheus makes one per scrape, timed
// from just before connect() to the end of the answer (the server closes the
// connection once it has sent it).
//
//   bench_scrape port                       a free port on 127.0.0.1
//   bench_scrape get PORT                   GET /metrics once, the body to stdout
//   bench_scrape time PORT [--requests N] [--gap MS] [--gzip]
//
// time makes 5 requests that are not counted, then N (500 unless said), one
// at a time with MS milliseconds (10 unless said) between the end of one and
// the start of the next, and prints a Markdown table of the times with RESULT
// lines for bench/run. --gzip asks for the answer compressed, as Prometheus
// does (Accept-Encoding: gzip). Every answer must have status 200; any other
// ends the program with status 1.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
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

// One request: the whole answer, headers and body, or empty when the
// connection failed.
std::string request(int port, bool gzip)
{
    std::string answer;
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return answer;
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

int timeRequests(int port, int requests, int gapMs, bool gzip)
{
    std::vector<double> us;
    size_t bytes = 0;
    const timespec gap{gapMs / 1000, static_cast<long>(gapMs % 1000) * 1000000};
    for (int i = -5; i < requests; ++i) {
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
    const char *kind = gzip ? "_gzip" : "";
    std::printf("| requests | answer | median | 90th | 99th | 99.9th | max |\n|---:|---:|---:|---:|---:|---:|---:|\n");
    std::printf("| %d | %zu bytes | %.0f µs | %.0f µs | %.0f µs | %.0f µs | %.0f µs |\n", requests, bytes,
                quantile(us, 0.5), quantile(us, 0.9), quantile(us, 0.99), quantile(us, 0.999), quantile(us, 1.0));
    std::printf("RESULT scrape%s_p50_us %.0f\nRESULT scrape%s_p99_us %.0f\nRESULT scrape%s_max_us %.0f\n"
                "RESULT scrape%s_bytes %zu\n",
                kind, quantile(us, 0.5), kind, quantile(us, 0.99), kind, quantile(us, 1.0), kind, bytes);
    return 0;
}

int usage()
{
    std::fprintf(stderr, "usage: bench_scrape port | get PORT | time PORT [--requests N] [--gap MS] [--gzip]\n");
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
    if (std::strcmp(argv[1], "time") != 0)
        return usage();
    int requests = 500;
    int gapMs = 10;
    bool gzip = false;
    for (int i = 3; i < argc; ++i) {
        if (std::strcmp(argv[i], "--gzip") == 0)
            gzip = true;
        else if (std::strcmp(argv[i], "--requests") == 0 && i + 1 < argc)
            requests = std::atoi(argv[++i]);
        else if (std::strcmp(argv[i], "--gap") == 0 && i + 1 < argc)
            gapMs = std::atoi(argv[++i]);
        else
            return usage();
    }
    if (requests < 1 || gapMs < 0)
        return usage();
    return timeRequests(port, requests, gapMs, gzip);
}
