#pragma once

#include "device/portservice.h"

#include <QList>
#include <QSet>

// A serial line the test drives: which port numbers open, what was written
// (one entry per write), bytes arriving from the unit, and line failures.
class FakePort final : public PortService
{
    Q_OBJECT

public:
    explicit FakePort(QSet<qint16> present = {})
        : present(std::move(present))
    {
    }

    QSet<qint16> present;        // port numbers that open
    QList<QByteArray> written;   // every write, in order
    QList<qint16> opened;        // every successful open, in order
    qint16 number = 0;
    bool failWrites = false;

    void setPortNumber(qint16 port) override { number = port; }
    bool isOpen() const override { return m_open; }
    bool open() override
    {
        if (m_open || !present.contains(number))
            return false;
        m_open = true;
        opened.append(number);
        return true;
    }
    void close() override { m_open = false; }
    bool write(const QByteArray &block) override
    {
        if (!m_open)
            return false;
        if (failWrites) {
            failLine();
            return false;
        }
        written.append(block);
        return true;
    }
    bool readInput(QByteArray &block) override
    {
        if (m_failed) {
            m_failed = false;
            return false;
        }
        block = m_pending;
        m_pending.clear();
        return true;
    }

    // Bytes from the unit, delivered as one notification.
    void receive(const QByteArray &bytes)
    {
        m_pending += bytes;
        emit received();
    }
    // The line fails: the next read reports it.
    void failLine()
    {
        m_failed = true;
        emit received();
    }
    // The device goes away: the line fails and cannot be opened again.
    void unplug()
    {
        present.remove(number);
        failLine();
    }

    // All writes joined, for byte-exact comparison.
    QByteArray allWritten() const { return written.join(); }

private:
    bool m_open = false;
    bool m_failed = false;
    QByteArray m_pending;
};
