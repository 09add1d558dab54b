#include "device/lines/devicewatcher.h"

#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>

QString nearestFolder(const QString &path)
{
    if (path.isEmpty())
        return {};
    QString folder = QFileInfo(path).absolutePath();
    while (!QFileInfo(folder).isDir()) {
        const QString parent = QFileInfo(folder).absolutePath();
        if (parent == folder)
            return {};
        folder = parent;
    }
    return folder;
}

DeviceWatcher::DeviceWatcher(QObject *parent)
    : QObject(parent)
{
}

DeviceWatcher::~DeviceWatcher() = default;

void DeviceWatcher::watch(const QString &path)
{
    stop();
    m_path = path;
    // The watcher exists only while something is awaited: its inotify
    // descriptor goes with it.
    m_watcher = new QFileSystemWatcher(this);
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, [this] {
        arm();
        emit changed();
    });
    arm();
}

void DeviceWatcher::stop()
{
    if (!m_watcher)
        return;
    // Possibly from within the watcher's own notification.
    m_watcher->disconnect(this);
    m_watcher->deleteLater();
    m_watcher = nullptr;
}

void DeviceWatcher::arm()
{
    QStringList folders{nearestFolder(m_path)};
    const QFileInfo device(m_path);
    if (device.isSymLink())
        folders << nearestFolder(device.symLinkTarget());
    folders.removeDuplicates();
    folders.removeAll(QString());
    // A pseudo-terminal's number goes to the next terminal anyone opens:
    // /dev/pts/4 coming back is somebody else's terminal, not the unit. Such
    // a line returns only when its link is made again.
    folders.removeAll(QStringLiteral("/dev/pts"));
    const QStringList watched = m_watcher->directories();
    for (const QString &folder : watched) {
        if (!folders.contains(folder))
            m_watcher->removePath(folder);
    }
    for (const QString &folder : std::as_const(folders)) {
        if (!watched.contains(folder))
            m_watcher->addPath(folder);
    }
}
