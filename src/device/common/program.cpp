#include "device/common/program.h"

#include <QCommandLineParser>
#include <QCoreApplication>

namespace Program {

QString version()
{
    return QStringLiteral(QV718_VERSION);
}

void setIdentity()
{
    QCoreApplication::setOrganizationName(QLatin1String(Name));
    QCoreApplication::setApplicationName(QLatin1String(Name));
    QCoreApplication::setApplicationVersion(version());
}

bool parseCommandLine(QCommandLineParser &parser, const QStringList &arguments, QString &error)
{
    if (!parser.parse(arguments)) {
        error = parser.errorText();
        return false;
    }
    if (parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("help-all")))
        parser.showHelp(0);
    if (parser.isSet(QStringLiteral("version")))
        parser.showVersion();
    if (!parser.positionalArguments().isEmpty()) {
        error = QStringLiteral("unexpected argument %1").arg(parser.positionalArguments().first());
        return false;
    }
    return true;
}

} // namespace Program
