#pragma once

#include "unitwatch.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

// Entries in the systemd journal (sd_journal_send), one per event, with
// fields a log server can select on:
//
//   MESSAGE            a sentence that names the unit ("Unit rack3 reader lost lock")
//   PRIORITY           4 for a loss (warning), 5 for a return (notice), 6 for a command
//   MESSAGE_ID         one fixed id per kind of event (listed in the README)
//   SYSLOG_IDENTIFIER  the program: qv718-monitor or qv718-panel
//   QV718_EVENT        line-lost, line-back, unit-silent, unit-reporting,
//                      lock-lost, lock-regained, command
//   QV718_UNIT         the unit's name (the monitor's NAME, the panel's port)
//   QV718_LINE         the line it is on
//
// Where the journal's socket is missing, the sentence goes to standard error
// instead.
namespace Journal {

using Fields = QList<QPair<QByteArray, QString>>;

// The program that writes the entries: its SYSLOG_IDENTIFIER.
void setIdentifier(const QByteArray &identifier);

// One entry for an event of the unit `unit` on `line`.
void unitEvent(UnitEvent event, const QString &unit, const QString &line);

// One entry for a command frame sent because of an operator's action:
// QV718_COMMAND (its name), QV718_VALUE and QV718_FRAME (its bytes in
// hexadecimal).
void command(const QString &unit, const QString &line, const QByteArray &frame);

} // namespace Journal
