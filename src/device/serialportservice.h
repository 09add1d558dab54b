#pragma once

#include "portservice.h"

#include <QSerialPort>

// The serial line through QSerialPort. Port numbers become devices as
// portnames.h describes.
//
// A line that fails while open (the device vanished, the far end hung up, a
// read or write error) is reported once: received() is raised from the event
// loop, not from inside QSerialPort's own error notification, and readInput()
// returns false until the port is closed. QSerialPort may keep repeating a
// read error many thousands of times a second on a hung-up line; only the
// first one counts, and closing the port silences the rest.
class SerialPortService final : public PortService
{
    Q_OBJECT

public:
    explicit SerialPortService(QObject *parent = nullptr);
    ~SerialPortService() override;

    void setPortNumber(qint16 port) override;
    bool isOpen() const override;
    bool open() override;
    void close() override;
    bool write(const QByteArray &block) override;
    bool readInput(QByteArray &block) override;

    // The device the chosen port number stands for.
    QString devicePath() const;

private:
    void onError(QSerialPort::SerialPortError error);

    QSerialPort m_port;
    qint16 m_portNumber = 1;
    bool m_failed = false;
};
