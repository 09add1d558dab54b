#pragma once

#include "device/lines/devicewatcher.h"
#include "device/lines/linewatch.h"
#include "device/lines/unitline.h"

#include <QPointer>

// The serial line on a local device, named by its path (or by a bare name,
// such as ttyUSB0, which stands for /dev/ttyUSB0): the terminal itself,
// opened, set to the unit's line (lineformat.h), read and written by the line
// with one descriptor and nothing between, watched with every other line's
// in one (linewatch.h).
//
// Not QSerialPort: its own notifications do not tell a hung-up line reliably
// (up to Qt 6.7.2 a hung-up line repeats a read error many thousands of
// times a second; from 6.7.3 on Qt reports nothing at all while the event
// loop spins on the line), so a line on it needs a second descriptor of its
// own to notice a hang-up, and every wake-up of the program then asks the
// kernel about two descriptors per line. Here the terminal is set so that a
// read returns bytes, or "nothing yet", or a hang-up (0, or an error such as
// EIO once the far end of a pseudo-terminal has closed), whatever Qt runs.
//
// Opening fails, failure() saying why, for a device that is not there
// (Missing), that this user may not open (Permission), that another program
// holds (Busy: a descriptor of the device is locked exclusively, so that a
// second program, even one run by root, is refused, and the terminal is
// made exclusive, TIOCEXCL, for programs that do not lock), or that is no
// terminal or cannot be set to the unit's line (Unusable). failureDetail()
// gives the system's own words.
//
// A line that fails while open (the device vanished, the far end hung up, a
// read or write error) is reported once, from the event loop: failed(), and
// readInput() then returns what was read before the failure, and false once
// that is taken, until the line is closed.
class SerialLine final : public UnitLine, private LineWatch::Watcher
{
    Q_OBJECT

public:
    explicit SerialLine(QObject *parent = nullptr);
    ~SerialLine() override;

    // The device the next open() uses. Ends any wait for the one before.
    void setDevice(const QString &path);

    bool isOpen() const override { return m_fd >= 0; }
    bool open() override;
    // Hands the device whatever it has not yet taken, first.
    void close() override;
    // Handed to the device at once; what it cannot take yet follows as soon
    // as it can, in order.
    bool write(const QByteArray &block) override;
    bool readInput(QByteArray &block) override;
    // Read right after the read() that brought the last byte readInput()
    // returned.
    qint64 readAtNs() const override { return m_readAtNs; }
    // The system's words for a device that did not open.
    QString failureDetail() const override;
    // Watches the device's folders (devicewatcher.h).
    void awaitReturn() override;

private:
    bool refuse(LineFailure failure, const QString &detail);
    void take(std::uint32_t events) override;
    void tell() override;
    void readAvailable();
    void sendOutput();
    void fail();

    QString m_path;
    int m_fd = -1;
    bool m_failed = false;
    QString m_detail;        // of the last opening that failed
    QByteArray m_input;      // read and not yet taken by readInput()
    qint64 m_readAtNs = 0;   // CLOCK_REALTIME at the read that brought its last byte
    bool m_taken = false;    // bytes read at a wake-up, not yet told
    QByteArray m_output;     // written and not yet taken by the device
    bool m_awaitingRoom = false;  // the watch wakes it when the device has room
    QPointer<LineWatch> m_watch;  // gone with the application
    // While a lost device is awaited: its folders.
    DeviceWatcher m_return;
};
