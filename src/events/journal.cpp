#include "journal.h"

#include "device/protocol/commands.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include <sys/uio.h>
#include <systemd/sd-journal.h>
#include <unistd.h>

namespace Journal {

namespace {

QByteArray &identifier()
{
    static QByteArray name = "qv718";
    return name;
}

bool &standardErrorOnly()
{
    static bool only = false;
    return only;
}

// The sentence and the priority of each event; a loss is a warning, a return
// a notice.
struct Kind
{
    UnitEvent event;
    const char *name;
    const char *messageId;
    int priority;
    const char *sentence;  // %1: the unit
};

constexpr Kind Kinds[] = {
    {UnitEvent::LineLost, "line-lost", "819030b195e24d3aaef87eedebcec580", 4, "Unit %1 lost its line"},
    {UnitEvent::LineBack, "line-back", "33e8d1da916f41c5bc789c3f43f9488b", 5, "Unit %1 is back on its line"},
    {UnitEvent::UnitSilent, "unit-silent", "88a2f1b0195e4084b62d73d3cb34fac5", 4, "Unit %1 stopped reporting"},
    {UnitEvent::UnitReporting, "unit-reporting", "57a1c74449544e139b72cedde9cd5ace", 5, "Unit %1 reports again"},
    {UnitEvent::LockLost, "lock-lost", "bb8da58fcc9246618ff9d39e570e54bb", 4, "Unit %1 reader lost lock"},
    {UnitEvent::LockRegained, "lock-regained", "3edbc8b51bee45fc8cae99c3964c89e9", 5, "Unit %1 reader regained lock"},
    {UnitEvent::TimeCodeJump, "time-code-jump", "d97ce0fb9fe34b42a22eddb7574f1314", 4,
     "Unit %1 time code jumped: a second skipped, repeated or stepped"},
};
static_assert(std::size(Kinds) == UnitEventCount, "a journal entry for every event");
constexpr const char *CommandMessageId = "e50e5a9f18664450aedc16a5c3d52b43";
constexpr const char *SuppressedMessageId = "d2a9a99db27a489fa10c4eb5704f7686";
constexpr const char *ChronyMessageId = "9060efa0d26b49e4a3e809d147b0bc0f";

struct SettingsKind
{
    const char *name;
    const char *messageId;
    int priority;
};
constexpr SettingsKind SettingsKinds[] = {
    {"settings-reloaded", "324e9380e00e48e2bab50c95239f38c0", 5},
    {"settings-refused", "aa52961de7fd41b5b0156b5486368cc7", 4},
    {"settings-restart", "0b43fc2578954482a0415e74601c024d", 4},
};

const Kind &kind(UnitEvent event)
{
    for (const Kind &k : Kinds) {
        if (k.event == event)
            return k;
    }
    return Kinds[0];
}

// Writes the entry, or its sentence to standard error where there is no
// journal to take it.
void send(const QString &message, int priority, const char *messageId, const char *event, const QString &unit,
          const QString &line, const Fields &more = {})
{
    Fields fields{{"MESSAGE", message},
                  {"PRIORITY", QString::number(priority)},
                  {"MESSAGE_ID", QString::fromLatin1(messageId)},
                  {"SYSLOG_IDENTIFIER", QString::fromLatin1(identifier())},
                  {"QV718_EVENT", QString::fromLatin1(event)}};
    if (!unit.isEmpty())
        fields += {{"QV718_UNIT", unit}, {"QV718_LINE", line}};
    fields += more;
    std::vector<QByteArray> texts;
    std::vector<iovec> parts;
    for (const auto &[name, value] : std::as_const(fields))
        texts.push_back(name + '=' + value.toUtf8());
    for (QByteArray &text : texts)
        parts.push_back({text.data(), std::size_t(text.size())});
    if (standardErrorOnly() || ::access("/run/systemd/journal/socket", W_OK) != 0
        || sd_journal_sendv(parts.data(), int(parts.size())) < 0)
        std::fprintf(stderr, "%s: %s\n", identifier().constData(), qPrintable(message));
}

} // namespace

void setIdentifier(const QByteArray &name)
{
    identifier() = name;
}

void toStandardError()
{
    standardErrorOnly() = true;
}

void unitEvent(UnitEvent event, const QString &unit, const QString &line, LineFailure failure)
{
    const Kind &k = kind(event);
    QString message = QString::fromLatin1(k.sentence).arg(unit);
    Fields reason;
    if (event == UnitEvent::LineLost && failure != LineFailure::None) {
        message += QStringLiteral(": ") + QLatin1String(failureText(failure));
        reason = {{"QV718_REASON", QLatin1String(failureName(failure))}};
    }
    send(message, k.priority, k.messageId, k.name, unit, line, reason);
}

void suppressed(UnitEvent event, int count, const QString &unit, const QString &line)
{
    const Kind &k = kind(event);
    send(QStringLiteral("Unit %1: %2 more %3 entries within a minute held back").arg(unit).arg(count).arg(QLatin1String(k.name)),
         4, SuppressedMessageId, "suppressed", unit, line,
         {{"QV718_SUPPRESSED", QString::number(count)}, {"QV718_SUPPRESSED_EVENT", QLatin1String(k.name)}});
}

void command(const QString &unit, const QString &line, const QByteArray &frame)
{
    const quint8 code = frame.size() >= 2 ? quint8(frame.at(frame.size() - 2)) : 0xFF;
    const char *name = Frames::commandName(code);
    const QString value = Frames::commandValueText(frame);
    const QString bytes = QString::fromLatin1(frame.toHex(' ').toUpper());
    send(QStringLiteral("Unit %1 was sent %2 %3 [%4]").arg(unit, QLatin1String(name ? name : "?"), value, bytes), 6,
         CommandMessageId, "command", unit, line,
         {{"QV718_COMMAND", QLatin1String(name ? name : "")}, {"QV718_VALUE", value}, {"QV718_FRAME", bytes}});
}

void settingsEvent(SettingsEvent event, const QString &message)
{
    const SettingsKind &k = SettingsKinds[int(event)];
    send(message, k.priority, k.messageId, k.name, {}, {});
}

void chronyUnreachable(const QString &unit, const QString &line, const QString &socket, int error, int retrySeconds)
{
    send(QStringLiteral("Unit %1 sends chrony no sample: %2: %3; next try in %4 s")
             .arg(unit, socket, QString::fromLocal8Bit(std::strerror(error))).arg(retrySeconds),
         4, ChronyMessageId, "chrony-unreachable", unit, line,
         {{"QV718_SOCKET", socket}, {"ERRNO", QString::number(error)}});
}

} // namespace Journal

UnitEventLog::UnitEventLog(QObject *parent)
    : QObject(parent)
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &UnitEventLog::endMinutes);
}

void UnitEventLog::write(UnitEvent event, const QString &unit, const QString &line, LineFailure failure)
{
    Kind &kind = m_kinds.at(std::size_t(event));
    if (kind.open && kind.end.hasExpired())
        endMinutes();
    if (!kind.open)
        kind = Kind{true, QDeadlineTimer(MinuteMs), 0, 0, {}, {}};
    if (kind.written < PerMinute) {
        ++kind.written;
        Journal::unitEvent(event, unit, line, failure);
        return;
    }
    ++kind.held;
    kind.unit = unit;
    kind.line = line;
    if (!m_timer.isActive())
        m_timer.start(int(std::max<qint64>(0, kind.end.remainingTime())));
}

void UnitEventLog::endMinutes()
{
    qint64 next = -1;
    for (std::size_t i = 0; i < m_kinds.size(); ++i) {
        Kind &kind = m_kinds[i];
        if (kind.open && kind.end.hasExpired()) {
            if (kind.held > 0)
                Journal::suppressed(UnitEvent(i), kind.held, kind.unit, kind.line);
            kind = Kind{};
        } else if (kind.held > 0 && (next < 0 || kind.end.remainingTime() < next)) {
            next = kind.end.remainingTime();
        }
    }
    if (next >= 0)
        m_timer.start(int(next));
    else
        m_timer.stop();
}
