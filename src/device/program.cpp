#include "program.h"

#include <QCoreApplication>

namespace Program {

QString Version()
{
    return QStringLiteral(QV718_VERSION);
}

QString WindowTitle()
{
    return QLatin1String(Name) + QStringLiteral(" Control Panel v") + Version();
}

QString MessageCaption()
{
    return QLatin1String(Name) + QLatin1Char('v') + Version();
}

void SetIdentity()
{
    QCoreApplication::setOrganizationName(QLatin1String(Name));
    QCoreApplication::setApplicationName(QLatin1String(Name));
    QCoreApplication::setApplicationVersion(Version());
}

} // namespace Program
