#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>

// Writes every byte to a non-blocking descriptor, waiting while it is full; false on any other error.
bool writeAll(int fd, const char *data, std::size_t size);

// A pseudo-terminal pair: the test plays the unit on the master side, the program opens the slave path like any
// serial device.
class Pty
{
public:
    Pty();
    ~Pty() { hangUp(); }
    Pty(const Pty &) = delete;
    Pty &operator=(const Pty &) = delete;

    bool isValid() const { return m_master >= 0; }
    QString slavePath() const { return m_slavePath; }
    int masterFd() const { return m_master; }
    bool write(const QByteArray &bytes) { return writeAll(m_master, bytes.constData(), std::size_t(bytes.size())); }
    // What the program wrote so far, without waiting.
    QByteArray readAvailable();
    // Hangs up: closes the master and our hold on the slave.
    void hangUp();
    // Hangs up every open file of the slave while the device stays, as a modem hang-up does (TIOCVHANGUP, which needs
    // root). False if refused.
    bool vhangup();

private:
    int m_master = -1;
    int m_slave = -1;  // our own hold keeps the master usable between the program's opens
    QString m_slavePath;
};
