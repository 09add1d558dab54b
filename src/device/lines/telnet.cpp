#include "device/lines/telnet.h"

#include "device/lines/lineformat.h"

#include <algorithm>
#include <cstring>

namespace Telnet {

namespace {

void appendCommand(QByteArray &out, quint8 verb, quint8 option)
{
    const char bytes[] = {char(Iac), char(verb), char(option)};
    out.append(bytes, sizeof bytes);
}

} // namespace

void appendEscaped(QByteArrayView data, QByteArray &out)
{
    const char *p = data.data();
    const char *end = p + data.size();
    while (p != end) {
        const void *found = std::memchr(p, Iac, size_t(end - p));
        const char *stop = found ? static_cast<const char *>(found) + 1 : end;
        out.append(p, stop - p);
        if (found)
            out.append(char(Iac));
        p = stop;
    }
}

QByteArray subNegotiation(quint8 option, QByteArrayView payload)
{
    QByteArray out;
    out.reserve(payload.size() * 2 + 5);
    out.append(char(Iac)).append(char(Sb)).append(char(option));
    appendEscaped(payload, out);
    out.append(char(Iac)).append(char(Se));
    return out;
}

QByteArray comPortSettings()
{
    const quint32 rate = LineFormat::BitRate;
    const char baud[] = {char(SetBaudRate), char(rate >> 24), char(rate >> 16), char(rate >> 8), char(rate)};
    // Each pair: command, value. Parity 1 is none; control 1 is no outbound
    // flow control, 14 no inbound flow control; masks of 0 ask for no
    // notifications, which this client would ignore anyway.
    static const char settings[][2] = {{SetDataSize, LineFormat::DataBits}, {SetParity, 1},
                                       {SetStopSize, LineFormat::StopBits}, {SetControl, 1},
                                       {SetControl, 14},                    {SetLineStateMask, 0},
                                       {SetModemStateMask, 0}};
    QByteArray out = subNegotiation(ComPort, QByteArrayView(baud, sizeof baud));
    for (const auto &setting : settings)
        out += subNegotiation(ComPort, QByteArrayView(setting, 2));
    return out;
}

Client::Client(Mode mode)
    : m_mode(mode)
{
}

QByteArray Client::opening() const
{
    QByteArray out;
    if (m_mode == Mode::Telnet) {
        appendCommand(out, Will, Binary);
        appendCommand(out, Do, Binary);
        appendCommand(out, Will, ComPort);
    }
    return out;
}

void Client::receive(QByteArrayView in, QByteArray &data, QByteArray &reply)
{
    if (m_mode == Mode::Raw) {
        data.append(in);
        return;
    }
    const char *p = in.data();
    const char *end = p + in.size();
    while (p != end) {
        const quint8 byte = quint8(*p);
        switch (m_rx) {
        case Rx::Data: {
            // Runs of data go across in one piece: the unit's reports hold
            // an IAC each, a flood of data holds any number.
            const void *found = std::memchr(p, Iac, size_t(end - p));
            const char *stop = found ? static_cast<const char *>(found) : end;
            data.append(p, stop - p);
            if (found)
                m_rx = Rx::Iac;
            p = found ? stop + 1 : end;
            continue;
        }
        case Rx::Iac:
            if (byte == Iac) {
                data.append(char(Iac));
                m_rx = Rx::Data;
            } else {
                afterIac(byte);
            }
            break;
        case Rx::Verb:
            command(m_verb, byte, reply);
            m_rx = Rx::Data;
            break;
        case Rx::Sub: {
            // Skipped in one step, however long, and counted.
            const void *found = std::memchr(p, Iac, size_t(end - p));
            if (found)
                m_rx = Rx::SubIac;
            const char *stop = found ? static_cast<const char *>(found) : end;
            countSub(stop - p);
            p = found ? stop + 1 : end;
            continue;
        }
        case Rx::SubIac:
            if (byte == Iac) {
                countSub(1);  // an escaped 0xFF inside
                m_rx = Rx::Sub;
            } else if (byte == Se) {
                m_rx = Rx::Data;
            } else {
                afterIac(byte);  // SE went missing: a command ends it too
            }
            break;
        }
        ++p;
    }
}

void Client::afterIac(quint8 byte)
{
    if (byte >= Will && byte <= Dont) {
        m_verb = byte;
        m_rx = Rx::Verb;
    } else if (byte == Sb) {
        m_rx = Rx::Sub;
        m_subLength = 0;
    } else {
        // NOP, GA, DM, BRK, AYT and the rest mean nothing on a line that
        // carries binary frames.
        m_rx = Rx::Data;
    }
}

void Client::command(quint8 verb, quint8 option, QByteArray &reply)
{
    const bool serverSide = verb == Will || verb == Wont;
    const bool enable = verb == Will || verb == Do;
    const quint8 agree = serverSide ? Do : Will;
    const quint8 refuse = serverSide ? Dont : Wont;

    Q *state = nullptr;
    if (option == Binary)
        state = serverSide ? &m_himBinary : &m_usBinary;
    else if (option == ComPort && !serverSide)
        state = &m_usComPort;
    if (!state) {
        // Never enabled, so a WONT or DONT changes nothing; each WILL or DO
        // is a fresh request and gets its refusal.
        if (enable)
            appendCommand(reply, refuse, option);
        return;
    }
    switch (*state) {
    case Q::No:
        if (enable) {
            *state = Q::Yes;
            appendCommand(reply, agree, option);
        }
        break;
    case Q::Yes:
        if (!enable) {
            *state = Q::No;
            appendCommand(reply, refuse, option);
        }
        break;
    case Q::WantYes:
        // The answer to our own request: acknowledged either way, never
        // answered.
        *state = enable ? Q::Yes : Q::No;
        break;
    }
    // Once per connection: a server that turns the option off and on again
    // keeps the settings it was given, and a reply stays bounded by what
    // provoked it.
    if (state == &m_usComPort && *state == Q::Yes && !m_settingsSent) {
        m_settingsSent = true;
        reply += comPortSettings();
    }
}

void Client::encode(QByteArrayView data, QByteArray &out) const
{
    if (m_mode == Mode::Raw)
        out.append(data);
    else
        appendEscaped(data, out);
}

bool Client::binaryAgreed() const
{
    return m_mode == Mode::Raw || (m_usBinary == Q::Yes && m_himBinary == Q::Yes);
}

bool Client::binaryRefused() const
{
    return m_mode == Mode::Telnet && (m_usBinary == Q::No || m_himBinary == Q::No);
}

bool Client::comPortAccepted() const
{
    return m_mode == Mode::Telnet && m_usComPort == Q::Yes;
}

bool Client::comPortRefused() const
{
    return m_mode == Mode::Telnet && m_usComPort == Q::No;
}

bool Client::inSubNegotiation() const
{
    return m_rx == Rx::Sub || m_rx == Rx::SubIac;
}

bool Client::subNegotiationOverlong() const
{
    return m_overlong;
}

void Client::countSub(qsizetype bytes)
{
    m_subLength = int(std::min<qsizetype>(m_subLength + bytes, MaxSubNegotiation + 1));
    m_overlong = m_overlong || m_subLength > MaxSubNegotiation;
}

} // namespace Telnet
