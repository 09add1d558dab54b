#include "device/ports/portline.h"

#include "device/lines/hostlookup.h"
#include "device/lines/linelog.h"
#include "device/lines/networkaddress.h"
#include "device/ports/portdevices.h"

#include <unistd.h>

namespace {

// Which of `entries` accept a TCP connection within `deadlineMs`, all tried
// at once (connectFirst); every connection is closed as soon as it stands.
// `why` gets, for each entry, the reason it is not reached where one is known
// ("the name does not resolve"), else nothing.
QList<bool> answering(const QList<NetworkAddress> &entries, int deadlineMs, QStringList &why)
{
    QList<bool> answered;
    why.clear();
    for (const Connected &entry : connectFirst(entries, QDeadlineTimer(deadlineMs))) {
        answered << (entry.descriptor >= 0);
        why << entry.why;
        if (entry.descriptor >= 0)
            ::close(entry.descriptor);
    }
    return answered;
}

void logRefusal(qint16 port, const QString &entry, const QString &why)
{
    qCWarning(LineLog, "[Ports] %d=%s: %s", port, qPrintable(entry), qPrintable(why));
}

} // namespace

PortLine::PortLine(QObject *parent)
    : PortService(parent)
{
    connect(&m_line, &UnitLine::received, this, &UnitLine::received);
    connect(&m_line, &UnitLine::failed, this, &UnitLine::failed);
    connect(&m_line, &UnitLine::returned, this, &UnitLine::returned);
    connect(&m_line, &UnitLine::returnFailed, this, &UnitLine::returnFailed);
}

void PortLine::setPortNumber(qint16 port)
{
    m_port = port;
    if (!m_entryForRun.isEmpty())
        m_line.setEntry(m_entryForRun);
    else
        m_line.setEntry(m_scanEntries.contains(port) ? m_scanEntries.value(port) : Ports::devicePathForPort(port));
}

void PortLine::useEntryForRun(const QString &entry)
{
    m_entryForRun = entry;
}

bool PortLine::isOpen() const
{
    return m_probed || m_line.isOpen();
}

bool PortLine::open()
{
    // During a scan a network port has been answered already, and a bad
    // entry named.
    if (const auto answer = m_scanned.constFind(m_port); answer != m_scanned.cend())
        return m_probed = *answer;
    if (!m_line.refusal().isEmpty())
        qCWarning(LineLog, "%s: %s", qPrintable(m_line.entry()), qPrintable(m_line.refusal()));
    if (m_line.open())
        return true;
    // A device that is there but does not open says why, once for each new
    // reason: a pick, a line named for the run, a wait for a line lost.
    // (The scan's probes say nothing: most of them find no device.)
    const QString told = m_line.entry() + QStringLiteral(": ") + m_line.failureDetail();
    if (m_line.refusal().isEmpty() && m_line.failure() != LineFailure::Missing && told != m_told)
        qCWarning(LineLog, "%s", qPrintable(told));
    m_told = told;
    return false;
}

QString PortLine::failureDetail() const
{
    return m_line.failureDetail();
}

void PortLine::close()
{
    m_probed = false;
    m_line.close();
}

bool PortLine::write(const QByteArray &block)
{
    return m_line.write(block);
}

bool PortLine::readInput(QByteArray &block)
{
    return m_line.readInput(block);
}

LineFailure PortLine::failure() const
{
    return m_line.failure();
}

bool PortLine::worthReopeningAtOnce() const
{
    return m_line.worthReopeningAtOnce();
}

void PortLine::awaitReturn()
{
    m_line.awaitReturn();
}

void PortLine::beginScan(const QList<qint16> &ports)
{
    m_scanEntries.clear();
    m_scanned.clear();
    QList<qint16> network;
    QList<NetworkAddress> addresses;
    for (const qint16 port : ports) {
        const QString entry = Ports::devicePathForPort(port);
        m_scanEntries.insert(port, entry);
        if (const QString why = entryRefusal(entry); !why.isEmpty()) {
            logRefusal(port, entry, why);
            m_scanned.insert(port, false);
        } else if (const auto address = parseNetworkAddress(entry)) {
            network << port;
            addresses << *address;
        }
    }
    QStringList why;
    const QList<bool> answered = answering(addresses, NetworkLine::OpenDeadlineMs, why);
    for (qsizetype i = 0; i < network.size(); ++i) {
        m_scanned.insert(network[i], answered[i]);
        if (!why[i].isEmpty())
            logRefusal(network[i], addresses[i].toString(), why[i]);
    }
}

void PortLine::endScan()
{
    m_scanEntries.clear();
    m_scanned.clear();
    m_probed = false;
}
