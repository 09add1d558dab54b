// A Telnet server on loopback that floods its client, with negotiation or
// with data, and never reads. Each connection it takes gets the agreement to
// binary mode both ways and the request for the serial-port option:
//
//   FF FB 00   IAC WILL BINARY
//   FF FD 00   IAC DO BINARY
//   FF FD 2C   IAC DO COM-PORT-OPTION
//
// and then, once flooding, FF FB 01 (IAC WILL ECHO) without end, or data
// bytes (0x78, never IAC) without end, for as long as the client takes them.
// Before the flood a connection is held quietly after the agreement, so that
// a panel can settle on it first. A raw tcp:// client takes the agreement's
// nine bytes as data too, and the data flood straight into the program.
//
//   flood_host [LISTENERS]
//
// Listens on LISTENERS ports (1 unless said), so that each of several units
// has a line of its own to the host, and prints them on one line. Then
// reads commands, one a line, on standard input, and answers each on
// standard output:
//
//   flood   every connection, open or to come, is flooded with IAC WILL ECHO
//           from now on; "ok"
//   data    every connection, open or to come, is flooded with data bytes
//           from now on, as fast as TCP carries them; "ok"
//   count   "CONNECTIONS BYTES": connections taken so far, and bytes of
//           flood sent, on all its ports
//
// The first of flood and data holds: the other is then answered "already
// flooding", so that no command is cut. Ends when its standard input closes.

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

const unsigned char Agreement[] = {0xFF, 0xFB, 0x00, 0xFF, 0xFD, 0x00, 0xFF, 0xFD, 0x2C};

struct Client
{
    int fd;
    std::size_t agreed;  // bytes of the agreement sent
    std::size_t offset;  // into the flood buffer, so that every command stays whole
};

} // namespace

int main(int argc, char *argv[])
{
    const int count = argc > 1 ? std::atoi(argv[1]) : 1;
    if (argc > 2 || count < 1 || count > 16) {
        std::fprintf(stderr, "usage: flood_host [LISTENERS, 1 to 16]\n");
        return 2;
    }
    std::vector<int> listeners;
    for (int i = 0; i < count; ++i) {
        const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (listener < 0 || bind(listener, reinterpret_cast<sockaddr *>(&address), length) != 0
            || listen(listener, 8) != 0 || getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length) != 0)
            return 1;
        listeners.push_back(listener);
        std::printf("%s%d", i ? " " : "", ntohs(address.sin_port));
    }
    std::printf("\n");
    std::fflush(stdout);

    // IAC WILL ECHO, again and again; a whole number of commands.
    std::vector<unsigned char> flood(3 * 21845);
    for (std::size_t i = 0; i < flood.size(); i += 3) {
        flood[i] = 0xFF;
        flood[i + 1] = 0xFB;
        flood[i + 2] = 0x01;
    }

    // Data bytes; no IAC (0xFF) among them, and no byte a unit's report
    // begins or ends with.
    const std::vector<unsigned char> data(flood.size(), 0x78);

    std::vector<Client> clients;
    bool flooding = false;
    const std::vector<unsigned char> *sent = &flood;
    unsigned long connections = 0;
    unsigned long long flooded = 0;
    std::string command;
    for (;;) {
        std::vector<pollfd> waiting{{STDIN_FILENO, POLLIN, 0}};
        for (const int listener : listeners)
            waiting.push_back({listener, POLLIN, 0});
        const std::size_t first = waiting.size();  // the clients'
        for (const Client &client : clients) {
            const bool sending = client.agreed < sizeof Agreement || flooding;
            // Never POLLIN: the client's bytes stay unread. A client that
            // goes away shows as POLLRDHUP, POLLHUP or POLLERR.
            waiting.push_back({client.fd, short(POLLRDHUP | (sending ? POLLOUT : 0)), 0});
        }
        if (poll(waiting.data(), waiting.size(), -1) < 0) {
            if (errno == EINTR)
                continue;
            return 1;
        }
        for (std::size_t i = 0; i < clients.size(); ++i) {
            Client &client = clients[i];
            const short events = waiting[first + i].revents;
            bool gone = events & (POLLRDHUP | POLLHUP | POLLERR);
            if (!gone && (events & POLLOUT)) {
                ssize_t n;
                if (client.agreed < sizeof Agreement) {
                    n = send(client.fd, Agreement + client.agreed, sizeof Agreement - client.agreed, MSG_NOSIGNAL);
                    if (n > 0)
                        client.agreed += std::size_t(n);
                } else {
                    n = send(client.fd, sent->data() + client.offset, sent->size() - client.offset, MSG_NOSIGNAL);
                    if (n > 0) {
                        client.offset = (client.offset + std::size_t(n)) % sent->size();
                        flooded += std::size_t(n);
                    }
                }
                gone = n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR;
            }
            if (gone) {
                close(client.fd);
                client.fd = -1;
            }
        }
        clients.erase(std::remove_if(clients.begin(), clients.end(), [](const Client &c) { return c.fd < 0; }),
                      clients.end());
        for (std::size_t i = 0; i < listeners.size(); ++i) {
            if (!(waiting[1 + i].revents & POLLIN))
                continue;
            const int fd = accept4(listeners[i], nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
            if (fd >= 0) {
                clients.push_back({fd, 0, 0});
                ++connections;
            }
        }
        if (waiting[0].revents & (POLLIN | POLLHUP)) {
            char bytes[256];
            const ssize_t n = read(STDIN_FILENO, bytes, sizeof bytes);
            if (n <= 0)
                break;
            command.append(bytes, std::size_t(n));
            for (std::size_t end; (end = command.find('\n')) != std::string::npos; command.erase(0, end + 1)) {
                const std::string line = command.substr(0, end);
                if (line == "flood" || line == "data") {
                    const std::vector<unsigned char> *kind = line == "flood" ? &flood : &data;
                    if (flooding && kind != sent) {
                        std::printf("already flooding\n");
                    } else {
                        flooding = true;
                        sent = kind;
                        std::printf("ok\n");
                    }
                } else if (line == "count") {
                    std::printf("%lu %llu\n", connections, flooded);
                } else {
                    std::printf("unknown command\n");
                }
                std::fflush(stdout);
            }
        }
    }
    for (const Client &client : clients)
        close(client.fd);
    for (const int listener : listeners)
        close(listener);
    return 0;
}
