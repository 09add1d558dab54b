#include "lineservice.h"

#include "hostlookup.h"
#include "linelog.h"
#include "networkaddress.h"
#include "portdevices.h"

namespace {

void logRefusal(qint16 port, const QString &entry, const QString &why)
{
    qCWarning(LineLog, "[Ports] %d=%s: %s", port, qPrintable(entry), qPrintable(why));
}

} // namespace

LineService::LineService(QObject *parent)
    : PortService(parent)
{
    connect(&m_line, &UnitLine::received, this, &UnitLine::received);
    connect(&m_line, &UnitLine::returned, this, &UnitLine::returned);
    connect(&m_line, &UnitLine::returnFailed, this, &UnitLine::returnFailed);
}

void LineService::setPortNumber(qint16 port)
{
    m_port = port;
    m_line.setEntry(m_scanEntries.contains(port) ? m_scanEntries.value(port) : Module1::devicePathForPort(port));
}

bool LineService::isOpen() const
{
    return m_probed || m_line.isOpen();
}

bool LineService::open()
{
    // During a scan a network port has been answered already, and a bad
    // entry named.
    if (const auto answer = m_scanned.constFind(m_port); answer != m_scanned.cend())
        return m_probed = *answer;
    if (!m_line.refusal().isEmpty())
        qCWarning(LineLog, "%s: %s", qPrintable(m_line.entry()), qPrintable(m_line.refusal()));
    return m_line.open();
}

void LineService::close()
{
    m_probed = false;
    m_line.close();
}

bool LineService::write(const QByteArray &block)
{
    return m_line.write(block);
}

bool LineService::readInput(QByteArray &block)
{
    return m_line.readInput(block);
}

LineFailure LineService::failure() const
{
    return m_line.failure();
}

bool LineService::worthReopeningAtOnce() const
{
    return m_line.worthReopeningAtOnce();
}

void LineService::awaitReturn()
{
    m_line.awaitReturn();
}

void LineService::beginScan(const QList<qint16> &ports)
{
    m_scanEntries.clear();
    m_scanned.clear();
    QList<qint16> network;
    QList<NetworkAddress> addresses;
    for (const qint16 port : ports) {
        const QString entry = Module1::devicePathForPort(port);
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
    const QList<bool> answered = answering(addresses, NetworkPortService::OpenDeadlineMs, why);
    for (qsizetype i = 0; i < network.size(); ++i) {
        m_scanned.insert(network[i], answered[i]);
        if (!why[i].isEmpty())
            logRefusal(network[i], addresses[i].toString(), why[i]);
    }
}

void LineService::endScan()
{
    m_scanEntries.clear();
    m_scanned.clear();
    m_probed = false;
}
