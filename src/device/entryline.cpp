#include "entryline.h"

#include "networkaddress.h"

EntryLine::EntryLine(QObject *parent)
    : UnitLine(parent)
{
    for (UnitLine *line : {static_cast<UnitLine *>(&m_serial), static_cast<UnitLine *>(&m_network)}) {
        connect(line, &UnitLine::received, this, &UnitLine::received);
        connect(line, &UnitLine::returned, this, &UnitLine::returned);
    }
}

void EntryLine::setEntry(const QString &entry)
{
    m_serial.close();
    m_network.close();
    m_entry = entry;
    m_refusal.clear();
    m_line = &m_serial;
    if (!isNetworkEntry(entry)) {
        m_serial.setDevice(entry);
    } else if (const auto address = parseNetworkAddress(entry, &m_refusal)) {
        m_network.setAddress(*address);
        m_line = &m_network;
    }
}

bool EntryLine::open()
{
    return m_refusal.isEmpty() && m_line->open();
}

bool EntryLine::isOpen() const
{
    return m_line->isOpen();
}

void EntryLine::close()
{
    m_line->close();
}

bool EntryLine::write(const QByteArray &block)
{
    return m_line->write(block);
}

bool EntryLine::readInput(QByteArray &block)
{
    return m_line->readInput(block);
}

bool EntryLine::worthReopeningAtOnce() const
{
    return m_line->worthReopeningAtOnce();
}

void EntryLine::awaitReturn()
{
    if (m_refusal.isEmpty())
        m_line->awaitReturn();
}
