#include "lineservice.h"

#include "networkaddress.h"
#include "portdevices.h"

#include <cstdio>

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
    // Whatever was open or awaited belongs to the port before. The entry is
    // read once: every port of a scan comes through here.
    const QString entry = Module1::DevicePathForPort(port);
    m_serial.setPortNumber(port);
    m_network.setEntry(entry);
    m_port = port;
    m_line = IsNetworkEntry(entry) ? static_cast<PortService *>(&m_network) : static_cast<PortService *>(&m_serial);
}

bool LineService::isOpen() const
{
    return m_line->isOpen();
}

bool LineService::open()
{
    if (m_unreachable.value(m_port))
        return false;
    return m_line->open();
}

void LineService::close()
{
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

void LineService::awaitReturn()
{
    m_line->awaitReturn();
}

void LineService::beginScan(const QList<qint16> &ports)
{
    m_unreachable.clear();
    QList<qint16> network;
    QList<NetworkAddress> addresses;
    for (const qint16 port : ports) {
        const QString entry = Module1::DevicePathForPort(port);
        if (!IsNetworkEntry(entry))
            continue;
        QString why;
        if (const auto address = ParseNetworkAddress(entry, &why)) {
            network << port;
            addresses << *address;
        } else {
            std::fprintf(stderr, "[Ports] %d=%s: %s\n", port, qPrintable(entry), qPrintable(why));
            m_unreachable.insert(port, true);
        }
    }
    QStringList why;
    const QList<bool> answering = NetworkPortService::Answering(addresses, why);
    for (qsizetype i = 0; i < network.size(); ++i) {
        if (answering[i])
            continue;
        m_unreachable.insert(network[i], true);
        if (!why[i].isEmpty())
            std::fprintf(stderr, "[Ports] %d=%s: %s\n", network[i], qPrintable(addresses[i].toString()),
                         qPrintable(why[i]));
    }
}

void LineService::endScan()
{
    m_unreachable.clear();
}
