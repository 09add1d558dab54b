#include "program.h"

#include <QCoreApplication>

namespace Program {

QString version()
{
    return QStringLiteral(QV718_VERSION);
}

QString windowTitle()
{
    return QLatin1String(Name) + QStringLiteral(" Control Panel v") + version();
}

QString messageCaption()
{
    return QLatin1String(Name) + QLatin1Char('v') + version();
}

void setIdentity()
{
    QCoreApplication::setOrganizationName(QLatin1String(Name));
    QCoreApplication::setApplicationName(QLatin1String(Name));
    QCoreApplication::setApplicationVersion(version());
}

} // namespace Program
