#pragma once

#include "device/program.h"

#include <QDir>
#include <QSettings>
#include <QTemporaryDir>

// Settings in a folder of the test's own, so no test reads or changes the real home folder. Applies to QSettings
// objects made afterwards.
class TempSettings
{
public:
    // base: where the folder goes; the system's default if empty.
    explicit TempSettings(const QString &base = QString())
        : m_dir((base.isEmpty() ? QDir::tempPath() : base) + QStringLiteral("/qv718-XXXXXX"))
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir.path());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_dir.path());
    }
    void set(const QString &key, const QVariant &value) { QSettings().setValue(key, value); }
    QVariant value(const QString &key) const { return QSettings().value(key); }

    // Points every port at a path that does not exist, so the machine's own serial devices stay out of the test.
    void hideMachinePorts()
    {
        for (int port = 1; port <= 16; ++port)
            set(QStringLiteral("Ports/%1").arg(port), QStringLiteral("/nonexistent/qv718-port%1").arg(port));
    }

private:
    QTemporaryDir m_dir;
};

// The application's identity as the program sets it, for QSettings.
inline void useProgramIdentity() { Program::setIdentity(); }
