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
    for (UnitLine *line : {static_cast<UnitLine *>(&m_serial), static_cast<UnitLine *>(&m_network)}) {
        connect(line, &UnitLine::received, this, &UnitLine::received);
        connect(line, &UnitLine::returned, this, &UnitLine::returned);
    }
}

void LineService::setPortNumber(qint16 port)
{
    // Whatever was open or awaited belongs to the port before.
    m_serial.close();
    m_network.close();
    m_port = port;
    m_entry = m_scanEntries.contains(port) ? m_scanEntries.value(port) : Module1::devicePathForPort(port);
    m_refusal.clear();
    m_line = &m_serial;
    if (!isNetworkEntry(m_entry)) {
        m_serial.setDevice(m_entry);
    } else if (const auto address = parseNetworkAddress(m_entry, &m_refusal)) {
        m_network.setAddress(*address);
        m_line = &m_network;
    }
}

bool LineService::isOpen() const
{
    return m_probed || m_line->isOpen();
}

bool LineService::open()
{
    // During a scan a network port has been answered already, and a bad
    // entry named.
    if (const auto answer = m_scanned.constFind(m_port); answer != m_scanned.cend())
        return m_probed = *answer;
    if (!m_refusal.isEmpty()) {
        qCWarning(LineLog, "%s: %s", qPrintable(m_entry), qPrintable(m_refusal));
        return false;
    }
    return m_line->open();
}

void LineService::close()
{
    m_probed = false;
    m_line->close();
}

bool LineService::write(const QByteArray &block)
{
    return m_line->write(block);
}

bool LineService::readInput(QByteArray &block)
{
    return m_line->readInput(block);
}

bool LineService::worthReopeningAtOnce() const
{
    return m_line->worthReopeningAtOnce();
}

void LineService::awaitReturn()
{
    if (m_refusal.isEmpty())
        m_line->awaitReturn();
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
        if (!isNetworkEntry(entry))
            continue;
        QString why;
        if (const auto address = parseNetworkAddress(entry, &why)) {
            network << port;
            addresses << *address;
        } else {
            logRefusal(port, entry, why);
            m_scanned.insert(port, false);
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
