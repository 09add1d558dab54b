#include "lineservice.h"

#include "hostlookup.h"
#include "linelog.h"
#include "networkaddress.h"
#include "portdevices.h"

LineService::LineService(QObject *parent)
    : PortService(parent)
{
    for (PortService *line : {static_cast<PortService *>(&m_serial), static_cast<PortService *>(&m_network)}) {
        connect(line, &PortService::received, this, &PortService::received);
        connect(line, &PortService::returned, this, &PortService::returned);
    }
}

void LineService::setPortNumber(qint16 port)
{
    // Whatever was open or awaited belongs to the port before.
    const QString entry = Module1::devicePathForPort(port);
    m_serial.setPortNumber(port);
    m_network.setEntry(entry);
    m_port = port;
    m_line = isNetworkEntry(entry) ? static_cast<PortService *>(&m_network) : static_cast<PortService *>(&m_serial);
}

bool LineService::isOpen() const
{
    return m_probed || m_line->isOpen();
}

bool LineService::open()
{
    // During a scan a network port has been answered already.
    if (const auto answer = m_scanned.constFind(m_port); answer != m_scanned.cend())
        return m_probed = *answer;
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
    m_line->awaitReturn();
}

void LineService::beginScan(const QList<qint16> &ports)
{
    m_scanned.clear();
    QList<qint16> network;
    QList<NetworkAddress> addresses;
    for (const qint16 port : ports) {
        const QString entry = Module1::devicePathForPort(port);
        if (!isNetworkEntry(entry))
            continue;
        QString why;
        if (const auto address = parseNetworkAddress(entry, &why)) {
            network << port;
            addresses << *address;
        } else {
            qCWarning(LineLog, "[Ports] %d=%s: %s", port, qPrintable(entry), qPrintable(why));
            m_scanned.insert(port, false);
        }
    }
    QStringList why;
    const QList<bool> answered = answering(addresses, NetworkPortService::OpenDeadlineMs, why);
    for (qsizetype i = 0; i < network.size(); ++i) {
        m_scanned.insert(network[i], answered[i]);
        if (!why[i].isEmpty())
            qCWarning(LineLog, "[Ports] %d=%s: %s", network[i], qPrintable(addresses[i].toString()),
                      qPrintable(why[i]));
    }
}

void LineService::endScan()
{
    m_scanned.clear();
    m_probed = false;
}
