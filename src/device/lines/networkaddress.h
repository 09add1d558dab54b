#pragma once

#include <QString>
#include <QStringView>

#include <optional>

// A serial line reached over the network, as a port entry names it:
//
//   tcp://HOST:PORT       raw TCP, bytes pass unchanged (ser2net "tcp")
//   rfc2217://HOST:PORT   Telnet with COM-PORT-OPTION (ser2net "telnet(rfc2217)")
//
// HOST is a name, an IPv4 address, or an IPv6 address in brackets
// (rfc2217://[::1]:7000); PORT is 1 to 65535. Schemes are matched without
// regard to case.
struct NetworkAddress
{
    enum class Protocol { Raw, Rfc2217 };

    Protocol protocol = Protocol::Raw;
    QString host;  // without brackets
    quint16 port = 0;

    // The entry as written, IPv6 addresses in brackets.
    QString toString() const;
};

// True when the entry is meant as a network address (it starts with
// "scheme://"), whether or not it is a valid one; device paths and names
// such as /dev/ttyUSB0 or ttyS1 are not.
bool isNetworkEntry(QStringView entry);

// The address an entry names, or nothing, with a short reason for the
// refusal in `reason` (when given): "unknown scheme", "empty host", "bad
// host" (a character no host holds), "not a valid host name" (an empty
// label, a hyphen at a label's end), "IPv6 address without brackets", "junk
// after the host", "missing port", "port out of range", "junk after the
// port".
std::optional<NetworkAddress> parseNetworkAddress(QStringView entry, QString *reason = nullptr);
