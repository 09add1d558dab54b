#pragma once

#include "unitwatch.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QList>
#include <QPair>
#include <QString>
#include <QTimer>

#include <array>

// Entries in the systemd journal (sd_journal_send), one per event, with
// fields a log server can select on:
//
//   MESSAGE            a sentence that names the unit ("Unit rack3 reader lost lock")
//   PRIORITY           4 for a loss (warning), 5 for a return (notice), 6 for a command
//   MESSAGE_ID         one fixed id per kind of event (listed in the README)
//   SYSLOG_IDENTIFIER  the program: qv718-monitor or qv718-panel
//   QV718_EVENT        line-lost, line-back, unit-silent, unit-reporting,
//                      lock-lost, lock-regained, time-code-jump, suppressed,
//                      command;
//                      settings-reloaded, settings-refused, settings-restart;
//                      chrony-unreachable
//   QV718_UNIT         the unit's name (the monitor's NAME, the panel's port);
//                      none in the settings entries
//   QV718_LINE         the line it is on; none in the settings entries
//   QV718_REASON       why a line was lost, where known: refused, closed, ...
//
// Where the journal's socket is missing, or the program asks for it
// (toStandardError), the sentence goes to standard error instead.
namespace Journal {

using Fields = QList<QPair<QByteArray, QString>>;

// The program that writes the entries: its SYSLOG_IDENTIFIER.
void setIdentifier(const QByteArray &identifier);

// Every sentence from now on to standard error, none to the journal: for a
// program run by hand for a while (qv718-monitor --calibrate).
void toStandardError();

// One entry for an event of the unit `unit` on `line`; a lost line with
// `failure`, its reason, where it is known, as QV718_REASON (failureName) and
// in MESSAGE. Other events take no reason.
void unitEvent(UnitEvent event, const QString &unit, const QString &line, LineFailure failure = LineFailure::None);

// One entry saying that `count` entries of the event `event` of the unit were
// held back: QV718_EVENT=suppressed, QV718_SUPPRESSED (the count) and
// QV718_SUPPRESSED_EVENT (the event's QV718_EVENT).
void suppressed(UnitEvent event, int count, const QString &unit, const QString &line);

// One entry for a command frame sent because of an operator's action:
// QV718_COMMAND (its name), QV718_VALUE and QV718_FRAME (its bytes in
// hexadecimal).
void command(const QString &unit, const QString &line, const QByteArray &frame);

// What became of the monitor's settings read again, in `message`:
//   Reloaded      settings-reloaded, 5 (notice): applied
//   Refused       settings-refused, 4 (warning): refused, those in use kept
//   NeedsRestart  settings-restart, 4: a change that takes effect only at
//                 the next start
enum class SettingsEvent { Reloaded, Refused, NeedsRestart };
void settingsEvent(SettingsEvent event, const QString &message);

// chrony-unreachable, 4 (warning): the unit's sample could not be sent to
// chronyd's socket `socket` (QV718_SOCKET), for the error number `error`
// (ERRNO, and its text in MESSAGE); the next try waits `retrySeconds`.
void chronyUnreachable(const QString &unit, const QString &line, const QString &socket, int error, int retrySeconds);

} // namespace Journal

// One unit's event entries, at most PerMinute of one kind in a minute. A unit
// whose lock bit chatters would otherwise write thousands of entries a
// minute, and journald's limit for one service would then drop every other
// unit's events as well, the ones that matter. The first entry of a kind
// opens its minute; past the bound the kind is held back until the minute
// ends, and then one entry (Journal::suppressed) says how many were held
// back. Only the entries are bounded: whoever counts events counts each.
// While nothing is held back, no timer runs.
class UnitEventLog : public QObject
{
    Q_OBJECT

public:
    static constexpr int PerMinute = 10;
    static constexpr int MinuteMs = 60000;

    explicit UnitEventLog(QObject *parent = nullptr);

    // Writes the event's entry, or holds it back.
    void write(UnitEvent event, const QString &unit, const QString &line, LineFailure failure = LineFailure::None);

private:
    struct Kind
    {
        bool open = false;  // a minute runs
        QDeadlineTimer end;
        int written = 0;
        int held = 0;
        QString unit, line;  // as the last entry held back named them
    };
    // Ends every minute that has run out and tells what it held back.
    void endMinutes();

    std::array<Kind, UnitEventCount> m_kinds;
    QTimer m_timer;  // at the end of the first minute that holds entries back
};
