#include "device/lines/networkaddress.h"

#include <QHostAddress>

namespace {

const QLatin1String SchemeEnd("://");

bool isSchemeCharacter(QChar c, bool first)
{
    const bool letter = (c >= QLatin1Char('a') && c <= QLatin1Char('z')) || (c >= QLatin1Char('A') && c <= QLatin1Char('Z'));
    if (first)
        return letter;
    return letter || c.isDigit() || c == QLatin1Char('+') || c == QLatin1Char('-') || c == QLatin1Char('.');
}

// Letters, digits, hyphens, dots and underscores: what a resolver takes as
// a name or an IPv4 address. Anything else is a typing error worth naming
// now rather than a lookup failure later.
bool hasHostCharacters(QStringView host)
{
    for (QChar c : host) {
        if (!(c.isLetterOrNumber() && c.unicode() < 0x80) && c != QLatin1Char('-') && c != QLatin1Char('.')
            && c != QLatin1Char('_'))
            return false;
    }
    return true;
}

// Labels of 1 to 63 characters between dots, none beginning or ending with a
// hyphen, 253 characters in all, and a final dot allowed (an absolute name):
// what a name must be to be looked up at all ("a..b", "-rack" and ".lab" are
// not).
bool isHostName(QStringView host)
{
    if (host.endsWith(QLatin1Char('.')))
        host.chop(1);
    if (host.isEmpty() || host.size() > 253)
        return false;
    for (const QStringView label : host.split(QLatin1Char('.'))) {
        if (label.isEmpty() || label.size() > 63 || label.startsWith(QLatin1Char('-')) || label.endsWith(QLatin1Char('-')))
            return false;
    }
    return true;
}

std::optional<NetworkAddress> refuse(QString *reason, const char *why)
{
    if (reason)
        *reason = QString::fromLatin1(why);
    return std::nullopt;
}

} // namespace

QString NetworkAddress::toString() const
{
    const QString scheme = protocol == Protocol::Rfc2217 ? QStringLiteral("rfc2217") : QStringLiteral("tcp");
    const QString shownHost = host.contains(QLatin1Char(':')) ? QLatin1Char('[') + host + QLatin1Char(']') : host;
    return QStringLiteral("%1://%2:%3").arg(scheme, shownHost).arg(port);
}

bool isNetworkEntry(QStringView entry)
{
    entry = entry.trimmed();
    const qsizetype end = entry.indexOf(SchemeEnd);
    if (end <= 0)
        return false;
    for (qsizetype i = 0; i < end; ++i) {
        if (!isSchemeCharacter(entry[i], i == 0))
            return false;
    }
    return true;
}

std::optional<NetworkAddress> parseNetworkAddress(QStringView entry, QString *reason)
{
    entry = entry.trimmed();
    if (!isNetworkEntry(entry))
        return refuse(reason, "not a network address");
    const qsizetype schemeEnd = entry.indexOf(SchemeEnd);
    const QStringView scheme = entry.left(schemeEnd);
    NetworkAddress address;
    if (scheme.compare(QLatin1String("tcp"), Qt::CaseInsensitive) == 0)
        address.protocol = NetworkAddress::Protocol::Raw;
    else if (scheme.compare(QLatin1String("rfc2217"), Qt::CaseInsensitive) == 0)
        address.protocol = NetworkAddress::Protocol::Rfc2217;
    else
        return refuse(reason, "unknown scheme");

    QStringView rest = entry.mid(schemeEnd + SchemeEnd.size());
    if (rest.startsWith(QLatin1Char('['))) {
        const qsizetype close = rest.indexOf(QLatin1Char(']'));
        if (close < 0)
            return refuse(reason, "bad host");
        address.host = rest.mid(1, close - 1).toString();
        QHostAddress literal;
        if (address.host.isEmpty())
            return refuse(reason, "empty host");
        if (!literal.setAddress(address.host) || literal.protocol() != QAbstractSocket::IPv6Protocol)
            return refuse(reason, "bad host");
        rest = rest.mid(close + 1);
    } else {
        // A host never holds a colon without brackets, so the first one ends it.
        const qsizetype colon = rest.indexOf(QLatin1Char(':'));
        QHostAddress literal;
        if (colon != rest.lastIndexOf(QLatin1Char(':'))
            && literal.setAddress(rest.left(rest.lastIndexOf(QLatin1Char(':'))).toString()))
            return refuse(reason, "IPv6 address without brackets");
        address.host = rest.left(colon).toString();  // all of it if there is none
        if (address.host.isEmpty())
            return refuse(reason, "empty host");
        if (!hasHostCharacters(address.host))
            return refuse(reason, "bad host");
        if (!isHostName(address.host))
            return refuse(reason, "not a valid host name");
        rest = colon < 0 ? QStringView() : rest.mid(colon);
    }

    if (!rest.startsWith(QLatin1Char(':')))
        return rest.isEmpty() ? refuse(reason, "missing port") : refuse(reason, "junk after the host");
    rest = rest.mid(1);
    qsizetype digits = 0;
    quint32 port = 0;
    while (digits < rest.size() && rest[digits] >= QLatin1Char('0') && rest[digits] <= QLatin1Char('9')) {
        if (port <= 65535)  // stays small however many digits follow
            port = port * 10 + quint32(rest[digits].unicode() - '0');
        ++digits;
    }
    if (digits == 0)
        return refuse(reason, "missing port");
    if (digits < rest.size())
        return refuse(reason, "junk after the port");
    if (port < 1 || port > 65535)
        return refuse(reason, "port out of range");
    address.port = quint16(port);
    return address;
}
