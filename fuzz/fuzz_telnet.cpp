// The Telnet layer against a reference. From the input it builds the unit's
// data bytes with server commands woven in, encodes them as a server would
// and feeds them in pieces of pseudo-random sizes: the data must come out
// exactly, every answer must be an option command or the settings block
// (once), and the answers no longer than the commands that caused them. Raw
// mode must pass the stream unchanged. The input itself, as garbage from a
// server, must keep within the same bounds.
//
// Input: steps. A step byte s, with b the byte after it:
//   0x00 to 0x7F  (s & 63) + 1 data bytes follow, any values
//   0x80 to 0xBF  IAC WILL/WONT/DO/DONT (s & 3) of option 0 (s & 4), 44
//                 (s & 8), else option b
//   0xC0 to 0xDF  IAC and a one-byte command, NOP to GA, or a stray SE
//   0xE0 to 0xFF  a sub-negotiation of b * ((s & 31) * 16 + 1) bytes taken
//                 from the input, 2 KiB in all per input

#include "device/lines/telnet.h"

#include <cstdio>
#include <cstdlib>
#include <type_traits>

namespace {

// The client's state is a few bytes of its own and nothing elsewhere.
static_assert(std::is_trivially_copyable_v<Telnet::Client> && sizeof(Telnet::Client) <= 16);

const QByteArray Settings = Telnet::comPortSettings();

void check(bool condition, const char *what)
{
    if (!condition) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

// Feeds pieces of 1 to 64 bytes, one in 32 up to 4 KiB; checks the answers.
QByteArray feed(Telnet::Client::Mode mode, const QByteArray &stream, QByteArray &reply)
{
    Telnet::Client client(mode);
    QByteArray data;
    quint32 random = quint32(stream.size()) * 2654435761u + 1;
    for (qsizetype at = 0, piece = 0; at < stream.size(); at += piece) {
        random = random * 1664525u + 1013904223u;
        piece = std::min(stream.size() - at, qsizetype((random >> 8) % ((random >> 24) < 8 ? 4096 : 64) + 1));
        client.receive(QByteArrayView(stream).sliced(at, piece), data, reply);
    }
    for (qsizetype i = 0; i < reply.size(); i += quint8(reply[i + 1]) == Telnet::Sb ? Settings.size() : 3) {
        check(quint8(reply[i]) == Telnet::Iac && i + 2 < reply.size(), "answers are whole commands");
        check(quint8(reply[i + 1]) != Telnet::Sb || (reply.mid(i, Settings.size()) == Settings && i == reply.indexOf(Settings)),
              "the settings, once");
        check(quint8(reply[i + 1]) >= Telnet::Sb && quint8(reply[i + 1]) <= Telnet::Dont, "answers are option commands");
    }
    return data;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *input, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(input), qsizetype(size));
    QByteArray data, stream, reply;
    qsizetype commands = 0, budget = 2048;
    for (qsizetype i = 0; i < bytes.size();) {
        const quint8 step = quint8(bytes[i++]);
        const quint8 next = i < bytes.size() ? quint8(bytes[i]) : 0;
        if (step < 0x80) {
            const QByteArray run = bytes.mid(i, (step & 63) + 1);
            data += run;
            Telnet::appendEscaped(run, stream);
            i += run.size();
        } else if (step < 0xC0) {
            const char option = char((step & 4) ? Telnet::Binary : (step & 8) ? Telnet::ComPort : next);
            i += !(step & 12);
            const char command[] = {char(Telnet::Iac), char(Telnet::Will + (step & 3)), option};
            stream.append(command, 3);
            ++commands;
        } else if (step < 0xE0) {
            const char command[] = {char(Telnet::Iac), char(0xF0 + step % 10)};
            stream.append(command, 2);
        } else {
            const qsizetype length = std::min<qsizetype>(next * ((step & 31) * 16 + 1), budget);
            budget -= length;
            stream += Telnet::subNegotiation(next & 0x7F, bytes.repeated(length / bytes.size() + 1).left(length));
            ++i;
        }
    }
    check(feed(Telnet::Client::Mode::Telnet, stream, reply) == data, "the data bytes exactly");
    check(reply.size() <= 3 * commands + (reply.contains(Settings) ? Settings.size() : 0), "answers bounded by causes");
    check(feed(Telnet::Client::Mode::Raw, stream, reply) == stream, "raw passes everything");
    reply.clear();
    check(feed(Telnet::Client::Mode::Telnet, bytes, reply).size() <= bytes.size(), "garbage: data bounded");
    check(reply.size() <= bytes.size() + Settings.size(), "garbage: answers bounded");
    return 0;
}
