#pragma once

#include "device/lines/devicewatcher.h"
#include "device/lines/unitline.h"

#include <QSerialPort>

class QSocketNotifier;

// The serial line through QSerialPort, to a device named by its path (or by
// a bare name, such as ttyUSB0, which stands for /dev/ttyUSB0).
//
// A line that fails while open (the device vanished, the far end hung up, a
// read or write error) is reported once: received() is raised from the event
// loop, not from inside QSerialPort's own notifications, and readInput()
// returns false until the port is closed.
//
// Which Qt release runs decides how a dead line looks. Up to Qt 6.7.2 a
// hung-up line repeats a read error many thousands of times a second; only
// the first one counts, and closing the port silences the rest. From 6.7.3
// on Qt reports nothing at all: the line stays readable, every read returns
// no byte, and the event loop spins on it. So the service watches the line's
// descriptor itself: a hang-up or error condition, or a readable line with
// nothing to read, is a line failure whatever Qt says.
class SerialLine final : public UnitLine
{
    Q_OBJECT

public:
    explicit SerialLine(QObject *parent = nullptr);
    ~SerialLine() override;

    // The device the next open() uses. Ends any wait for the one before.
    void setDevice(const QString &path);

    bool isOpen() const override;
    // A device path that names nothing fails at once, without QSerialPort.
    bool open() override;
    // Hands the device whatever QSerialPort still holds, first.
    void close() override;
    // One write, handed to the device at once.
    bool write(const QByteArray &block) override;
    bool readInput(QByteArray &block) override;
    // QSerialPort's own words for a device that did not open.
    QString failureDetail() const override;
    // Watches the device's folders (devicewatcher.h).
    void awaitReturn() override;

private:
    LineFailure openFailure() const;
    void onError(QSerialPort::SerialPortError error);
    void watchLine();
    void stopWatching();
    void checkLine();
    void fail();

    QSerialPort m_port;
    QString m_path;
    bool m_failed = false;
    // Our own descriptor of the open line, a duplicate of QSerialPort's, and
    // the notifier on it. Separate from QSerialPort's own notifier, which
    // swallows a read of no bytes without a word.
    int m_watchFd = -1;
    QSocketNotifier *m_watch = nullptr;
    // While a lost device is awaited: its folders.
    DeviceWatcher m_return;
};
