#pragma once

#include <QObject>
#include <QString>

class QFileSystemWatcher;

// The folder that holds `path`, or the nearest of its ancestors that exists;
// a relative path from the working folder. Empty for an empty path, and for
// one of which no ancestor exists.
QString nearestFolder(const QString &path);

// Waits for a device path to come back: a USB adapter plugged in again, a
// link made again, a node whose permissions are set after it appeared.
// Driven by the folders' own notifications (inotify), never by a timer.
//
// It watches the nearest existing folder of the path, and of the target if
// the path is a symbolic link, and moves its watch as folders come and go
// (udev removes /dev/serial/by-id with the last adapter). changed() means
// something on the way to the device changed: it is worth trying again.
//
// Pseudo-terminals are the exception: their numbers are handed to the next
// terminal opened, so /dev/pts is never watched. A pseudo-terminal returns
// only through a link made again (qv718-sim --link).
class DeviceWatcher : public QObject
{
    Q_OBJECT

public:
    explicit DeviceWatcher(QObject *parent = nullptr);
    ~DeviceWatcher() override;

    void watch(const QString &path);
    // Watches nothing any more.
    void stop();

signals:
    void changed();

private:
    void arm();

    QString m_path;
    QFileSystemWatcher *m_watcher = nullptr;
};
