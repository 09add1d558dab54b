#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <array>

// The Telnet side of a serial line reached through a device server: the
// client end of TRANSMIT-BINARY (RFC 856) and COM-PORT-OPTION (RFC 2217),
// negotiated as RFC 1143 describes. No sockets and no timers: bytes go in,
// data bytes and the bytes to send back come out, so the same code runs on a
// live connection, in tests and under the fuzzer.
namespace Telnet {

// Command bytes (RFC 854), options, and the COM-PORT-OPTION commands from
// client to server (RFC 2217); the server's answers carry the same code plus
// 100.
enum Command : quint8 { Se = 0xF0, Sb = 0xFA, Will = 0xFB, Wont = 0xFC, Do = 0xFD, Dont = 0xFE, Iac = 0xFF };
enum Option : quint8 { Binary = 0, ComPort = 44 };
enum ComPortCommand : quint8 {
    SetBaudRate = 1, SetDataSize = 2, SetParity = 3, SetStopSize = 4, SetControl = 5,
    SetLineStateMask = 10, SetModemStateMask = 11,
};

// The longest sub-negotiation a server may send, in bytes between IAC SB and
// IAC SE. A server's notifications and answers take a few bytes; more is a
// stream lost in a sub-negotiation whose IAC SE never came, in which every
// later report would vanish.
inline constexpr int MaxSubNegotiation = 1024;

// Appends `data` to `out` with every 0xFF doubled, as data and sub-negotiation
// values travel on a Telnet connection.
void appendEscaped(QByteArrayView data, QByteArray &out);

// IAC SB option <payload, escaped> IAC SE.
QByteArray subNegotiation(quint8 option, QByteArrayView payload);

// The sub-negotiations that set the server's serial port to the unit's line
// (lineformat.h), no flow control either way, and silence its line-state and
// modem-state notifications.
QByteArray comPortSettings();

// One connection's decoder and negotiator. Its state is a few bytes of fixed
// size whatever arrives: sub-negotiations are skipped, never stored, as
// nothing in them matters to this client (the server's notifications and
// its answers to the settings are ignored).
class Client
{
public:
    // Raw: a plain TCP connection, bytes pass unchanged both ways.
    enum class Mode : quint8 { Raw, Telnet };

    explicit Client(Mode mode);

    // What to send as soon as the connection stands, before anything else:
    // IAC WILL BINARY, IAC DO BINARY, IAC WILL COM-PORT-OPTION. The client
    // counts these as sent from its construction on. Empty in raw mode.
    QByteArray opening() const;

    // Takes received bytes, which may be cut anywhere. Appends the data bytes
    // to `data` (0xFF doubled on the line arrives once; commands and
    // sub-negotiations never reach it) and the answers the server is owed to
    // `reply`. An answer goes out only when it changes an option's state:
    // acknowledgements of our own requests and repeats of a state already
    // held are not answered, so no two RFC 1143 ends loop. Options other
    // than BINARY and COM-PORT-OPTION are refused. The first time the server
    // agrees to COM-PORT-OPTION, comPortSettings() follows in `reply`.
    // Bytes are data as they are: no carriage-return rules apply.
    void receive(QByteArrayView in, QByteArray &data, QByteArray &reply);

    // Appends outgoing data to `out`, escaped for the line.
    void encode(QByteArrayView data, QByteArray &out) const;

    // BINARY in force both ways (always true in raw mode).
    bool binaryAgreed() const;
    // The server refused or withdrew BINARY in either direction: the line
    // cannot carry the unit's bytes.
    bool binaryRefused() const;
    // The server agreed to, or refused, COM-PORT-OPTION. Without it the line
    // still works, at whatever settings the server's port has.
    bool comPortAccepted() const;
    bool comPortRefused() const;
    // Within a sub-negotiation: IAC SB came, its IAC SE not yet.
    bool inSubNegotiation() const;
    // A sub-negotiation has run past MaxSubNegotiation bytes; stays true.
    bool subNegotiationOverlong() const;

private:
    // RFC 1143 states without the queue: this client asks for an option only
    // once, at the start, and never asks to drop one, so WANTNO never occurs.
    enum class Q : quint8 { No, Yes, WantYes };
    // Where the decoder stands within a command.
    enum class Rx : quint8 { Data, Iac, Verb, Sub, SubIac };

    void command(quint8 verb, quint8 option, QByteArray &reply);
    void afterIac(quint8 byte);
    void countSub(qsizetype bytes);

    Mode m_mode;
    Rx m_rx = Rx::Data;
    quint8 m_verb = 0;
    bool m_settingsSent = false;
    bool m_overlong = false;
    int m_subLength = 0;  // bytes of the sub-negotiation so far
    // Whether we perform an option (the server's DO/DONT move it) and
    // whether the server does (its WILL/WONT), for BINARY both ways and
    // COM-PORT-OPTION on our side; every other option stays off for good.
    Q m_usBinary = Q::WantYes;
    Q m_himBinary = Q::WantYes;
    Q m_usComPort = Q::WantYes;
};

} // namespace Telnet
