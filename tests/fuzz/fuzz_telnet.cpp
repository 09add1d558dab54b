// The Telnet layer of network lines against a reference. From the input it
// builds the unit's data bytes with server commands woven in (option
// requests, one-byte commands, sub-negotiations of any content and length),
// encodes them as a server would and feeds them in pieces of pseudo-random
// sizes. The data that comes out must be the data bytes exactly, the same as
// when fed whole; every answer must be a well-formed option command or the
// settings block, and no longer than what provoked it. Raw mode must pass
// the stream unchanged. Then the input itself, as garbage from a server,
// must keep within the same bounds.
//
// Input: steps. A step byte s, with b the byte after it:
//   0x00 to 0x7F  (s & 63) + 1 data bytes follow, any values
//   0x80 to 0xBF  IAC WILL/WONT/DO/DONT (s & 3) of option 0 (s & 4), 44
//                 (s & 8), else option b
//   0xC0 to 0xDF  IAC and one of NOP, DM, BRK, IP, AO, AYT, EC, EL, GA, SE
//   0xE0 to 0xFF  a sub-negotiation of b * ((s & 31) * 16 + 1) bytes, cycled
//                 from the input

#include "device/telnet.h"

#include <cstdio>
#include <cstdlib>
#include <type_traits>

namespace {

// The client's state is a few bytes of its own, never memory elsewhere.
static_assert(std::is_trivially_copyable_v<Telnet::Client> && sizeof(Telnet::Client) <= 16);

// Content of all sub-negotiations of one input, so that a run stays fast.
constexpr qsizetype SubNegotiationBudget = 2048;

const QByteArray Settings = Telnet::ComPortSettings();

void Check(bool condition, const char *what)
{
    if (!condition) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

struct Decoded
{
    QByteArray data, reply;
    bool agreed, refused, accepted, comRefused;
    bool operator==(const Decoded &o) const
    {
        return data == o.data && reply == o.reply && agreed == o.agreed && refused == o.refused
            && accepted == o.accepted && comRefused == o.comRefused;
    }
};

// Feeds `stream` in pieces of 1 to 64 bytes, now and then far more, sized
// by a generator seeded from the stream's length.
Decoded Feed(Telnet::Client::Mode mode, const QByteArray &stream, bool whole)
{
    Telnet::Client client(mode);
    Decoded out{};
    out.data.reserve(stream.size());
    quint32 random = quint32(stream.size()) * 2654435761u + 1;
    for (qsizetype at = 0; at < stream.size();) {
        random = random * 1664525u + 1013904223u;
        const qsizetype piece = whole ? stream.size() : (random >> 24) < 8 ? (random >> 8) % 4096 + 1 : (random >> 8) % 64 + 1;
        client.receive(QByteArrayView(stream).sliced(at, std::min(piece, stream.size() - at)), out.data, out.reply);
        at += piece;
    }
    out.agreed = client.binaryAgreed();
    out.refused = client.binaryRefused();
    out.accepted = client.comPortAccepted();
    out.comRefused = client.comPortRefused();
    return out;
}

// Every answer is IAC, a verb and an option, or the settings block (once).
void CheckAnswers(const QByteArray &reply)
{
    int settingsSeen = 0;
    for (qsizetype i = 0; i < reply.size();) {
        Check(quint8(reply[i]) == Telnet::Iac && i + 2 < reply.size(), "an answer is a whole command");
        if (quint8(reply[i + 1]) == Telnet::Sb) {
            Check(reply.mid(i, Settings.size()) == Settings && ++settingsSeen == 1, "the settings, once");
            i += Settings.size();
        } else {
            Check(quint8(reply[i + 1]) >= Telnet::Will && quint8(reply[i + 1]) <= Telnet::Dont, "an option verb");
            i += 3;
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *input, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(input), qsizetype(size));
    QByteArray data, stream;
    qsizetype verbs = 0, budget = SubNegotiationBudget;
    for (qsizetype i = 0; i < bytes.size();) {
        const quint8 step = quint8(bytes[i++]);
        const quint8 next = i < bytes.size() ? quint8(bytes[i]) : 0;
        if (step < 0x80) {
            const QByteArray run = bytes.mid(i, (step & 63) + 1);
            data += run;
            Telnet::AppendEscaped(run, stream);
            i += run.size();
        } else if (step < 0xC0) {
            const quint8 option = (step & 4) ? Telnet::Binary : (step & 8) ? Telnet::ComPort : next;
            i += !(step & 12);
            stream += char(Telnet::Iac);
            stream += char(Telnet::Will + (step & 3));
            stream += char(option);
            ++verbs;
        } else if (step < 0xE0) {
            static const char oneByte[] = {'\xF1', '\xF2', '\xF3', '\xF4', '\xF5', '\xF6', '\xF7', '\xF8', '\xF9', '\xF0'};
            stream += char(Telnet::Iac);
            stream += oneByte[step % sizeof oneByte];
        } else {
            ++i;
            const qsizetype length = std::min<qsizetype>(next * ((step & 31) * 16 + 1), budget);
            budget -= length;
            const QByteArray content = bytes.repeated(length / bytes.size() + 1).left(length);
            stream += Telnet::SubNegotiation(next & 0x7F, content);
        }
    }

    const Decoded pieces = Feed(Telnet::Client::Mode::Telnet, stream, false);
    Check(pieces.data == data, "the data bytes exactly");
    Check(pieces == Feed(Telnet::Client::Mode::Telnet, stream, true), "pieces decode as the whole");
    Check(pieces.reply.size() <= 3 * verbs + (pieces.accepted || pieces.comRefused ? Settings.size() : 0),
          "answers no longer than their causes");
    CheckAnswers(pieces.reply);
    Check(Feed(Telnet::Client::Mode::Raw, stream, false).data == stream, "raw passes everything");

    const Decoded garbage = Feed(Telnet::Client::Mode::Telnet, bytes, false);
    Check(garbage.data.size() <= bytes.size(), "no more data than bytes");
    Check(garbage.reply.size() <= bytes.size() + Settings.size(), "answers bounded");
    CheckAnswers(garbage.reply);
    return 0;
}
