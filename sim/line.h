#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <memory>

class QSocketNotifier;

// The unit's end of the serial line: the master side of a pseudo-terminal
// pair, or a real serial port, set as the unit's line (lineformat.h), raw. Non-blocking; bytes
// that cannot leave at once wait in order for the line to take them.
class Line : public QObject
{
    Q_OBJECT

public:
    // A new pseudo-terminal pair in raw mode; the program under test opens
    // path(). Null with `error` set on failure.
    static std::unique_ptr<Line> openPseudoTerminal(QString &error);
    // A serial device. Null with `error` set on failure.
    static std::unique_ptr<Line> openDevice(const QString &path, QString &error);

    ~Line() override;

    // The device the other side opens.
    QString path() const { return m_path; }

    void write(const QByteArray &bytes);
    // Hangs up: closes our side for good.
    void close();

signals:
    void received(const QByteArray &bytes);
    // Reading or writing failed; the line is closed.
    void failed(const QString &why);

private:
    Line(int fd, int slaveFd, const QString &path);
    void readWaiting();
    void writeWaiting();
    void fail(const QString &why);

    int m_fd = -1;
    // Our own hold on a pseudo-terminal's slave side, so that the master
    // stays usable while nobody else has the line open.
    int m_slaveFd = -1;
    QString m_path;
    QByteArray m_out;
    QSocketNotifier *m_readable = nullptr;
    QSocketNotifier *m_writable = nullptr;
};

// A symbolic link to a line's device, for as long as the object lives. A
// link already at that place is replaced; any other file there is left alone.
class LineLink
{
public:
    LineLink() = default;
    ~LineLink();
    LineLink(const LineLink &) = delete;
    LineLink &operator=(const LineLink &) = delete;

    bool make(const QString &target, const QString &at, QString &error);

private:
    QString m_target;
    QString m_at;
};
