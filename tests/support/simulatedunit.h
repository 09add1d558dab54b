#pragma once

#include "testenv.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <QTemporaryDir>

// qv718-sim as a process of its own, reporting every 20 ms, keeping its log; its line is linked at `at`, or in a folder
// of its own.
struct SimulatedUnit
{
    explicit SimulatedUnit(const QStringList &options, const QString &at = {})
        : link(at.isEmpty() ? dir.filePath("unit-line") : at)
        , process(QV718_SIM, QStringList{"--link", link, "--interval", "20", "--trace"} + options)
    {
        QObject::connect(&process, &QProcess::readyReadStandardError, [this] { log += process.readAllStandardError(); });
        // The first line of its output names the line, once it is open.
        const QDeadlineTimer deadline(15000);
        while (!process.canReadLine() && process.waitForReadyRead(int(deadline.remainingTime()))) {
        }
        path = QString::fromLocal8Bit(process.readLine()).trimmed();
    }
    // The log lines from the `skip`th on, without their time of day.
    QStringList lines(qsizetype skip = 0) const
    {
        QStringList lines;
        for (const QString &line : QString::fromUtf8(log).split('\n', Qt::SkipEmptyParts).mid(skip))
            lines << line.section(' ', 1);
        return lines;
    }
    // The commands received, as logged, from the `skip`th log line on.
    QStringList received(qsizetype skip) const
    {
        return lines(skip).filter(QRegularExpression("^<- ")).replaceInStrings(QRegularExpression("^<- "), "");
    }

    QTemporaryDir dir;
    const QString link;
    QString path;
    QByteArray log;
    Running process;  // after the log, which it writes to until it has stopped
};

