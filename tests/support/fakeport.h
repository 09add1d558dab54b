#pragma once

#include "device/ports/portservice.h"

#include <QList>
#include <QSet>

#include <utility>

// A serial line the test drives: which port numbers open, every write, bytes arriving from the unit, and line
// failures.
class FakePort final : public PortService
{
public:
    explicit FakePort(QSet<qint16> present = {}) : present(std::move(present)) {}

    QSet<qint16> present;       // port numbers that open
    QList<QByteArray> written;  // every write, in order
    QList<qint16> opened;       // every successful open, in order
    qint16 number = 0;
    int opensLeft = -1;         // how many more opens succeed; -1: any number
    bool awaiting = false;      // the line is awaited

    void setPortNumber(qint16 port) override { number = port; awaiting = false; }
    void useEntryForRun(const QString &) override {}
    bool isOpen() const override { return m_open; }
    bool open() override
    {
        awaiting = false;
        if (m_open || !present.contains(number) || opensLeft == 0)
            return false;
        opensLeft -= opensLeft > 0;
        opened << number;
        return m_open = true;
    }
    void close() override { m_open = false; awaiting = false; }
    void awaitReturn() override { awaiting = true; }
    bool write(const QByteArray &block) override
    {
        if (m_open)
            written << block;
        return m_open;
    }
    // A failed line reports it to the next read.
    bool readInput(QByteArray &block) override
    {
        block = m_failed ? QByteArray() : std::exchange(m_pending, {});
        return !std::exchange(m_failed, false);
    }

    // Bytes from the unit, as one notification; the line failing; the device going away, so that the line fails and
    // cannot be opened again.
    void receive(const QByteArray &bytes) { m_pending += bytes; emit received(); }
    void failLine() { m_failed = true; emit failed(); }
    void unplug() { present.remove(number); failLine(); }

private:
    bool m_open = false;
    bool m_failed = false;
    QByteArray m_pending;
};
