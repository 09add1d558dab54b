// A host on loopback that never answers: a listener with a backlog of 0
// whose queue is filled first, so that a further connection attempt waits
// for an answer that never comes, as with a device server that is switched
// off. Prints its port and waits until its standard input closes.
//
//   silent_host

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>

int main()
{
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener < 0 || bind(listener, reinterpret_cast<sockaddr *>(&address), length) != 0
        || listen(listener, 0) != 0 || getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length) != 0)
        return 1;
    // Connections of our own fill the queue; the kernel then lets further
    // SYNs go unanswered.
    for (int i = 0; i < 8; ++i) {
        const int filler = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        connect(filler, reinterpret_cast<sockaddr *>(&address), sizeof address);
    }
    std::printf("%d\n", ntohs(address.sin_port));
    std::fflush(stdout);
    char byte;
    while (read(STDIN_FILENO, &byte, 1) > 0) {
    }
    return 0;
}
