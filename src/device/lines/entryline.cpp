#include "device/lines/entryline.h"

#include "device/lines/networkaddress.h"

QString entryRefusal(QStringView entry)
{
    entry = entry.trimmed();
    if (entry.isEmpty())
        return QStringLiteral("no line");
    if (isNetworkEntry(entry)) {
        QString why;
        parseNetworkAddress(entry, &why);
        return why;
    }
    if (entry.startsWith(QLatin1Char('/')))
        return {};
    // A device's own name: letters, digits, '_', '.', '-', beginning with a
    // letter or digit.
    bool name = entry.front().isLetterOrNumber() && entry.front().unicode() < 0x80;
    for (const QChar c : entry)
        name = name && ((c.isLetterOrNumber() && c.unicode() < 0x80) || c == QLatin1Char('_') || c == QLatin1Char('.') || c == QLatin1Char('-'));
    return name ? QString() : QStringLiteral("not a device path (/dev/ttyUSB0), a device name (ttyUSB0) or a network line (tcp://HOST:PORT, rfc2217://HOST:PORT)");
}

EntryLine::EntryLine(QObject *parent)
    : UnitLine(parent)
{
    for (UnitLine *line : {static_cast<UnitLine *>(&m_serial), static_cast<UnitLine *>(&m_network)}) {
        connect(line, &UnitLine::received, this, &UnitLine::received);
        connect(line, &UnitLine::failed, this, &UnitLine::failed);
        connect(line, &UnitLine::returned, this, &UnitLine::returned);
        connect(line, &UnitLine::returnFailed, this, &UnitLine::returnFailed);
    }
}

void EntryLine::setEntry(const QString &entry)
{
    m_serial.close();
    m_network.close();
    m_entry = entry;
    m_refusal = entryRefusal(entry);
    m_line = &m_serial;
    if (!m_refusal.isEmpty())
        return;
    if (const auto address = parseNetworkAddress(entry)) {
        m_network.setAddress(*address);
        m_line = &m_network;
    } else {
        m_serial.setDevice(entry.trimmed());
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

LineFailure EntryLine::failure() const
{
    return m_line->failure();
}

QString EntryLine::failureDetail() const
{
    return m_line->failureDetail();
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
