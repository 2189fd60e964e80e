#include "serial/NetworkPort.h"

#include "codec/WholeNumber.h"

#include <QRegularExpression>

namespace NetworkPort {

namespace {

QString bracketed(const QString& host)
{
    return host.contains(u':') ? u'[' + host + u']' : host;
}

std::optional<Address> refuse(const QString& name, const QString& why, QString* error)
{
    if (error)
        *error = name + QStringLiteral(": ") + why;
    return std::nullopt;
}

} // namespace

QString Address::url() const
{
    return (kind == Kind::Rfc2217 ? QStringLiteral("rfc2217://") : QStringLiteral("tcp://")) +
           hostAndPort();
}

QString Address::hostAndPort() const
{
    return bracketed(host) + u':' + QString::number(port);
}

bool looksLikeNetwork(const QString& name)
{
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*://"));
    return scheme.match(name).hasMatch();
}

std::optional<Address> parse(const QString& name, QString* error)
{
    if (error)
        error->clear();
    if (!looksLikeNetwork(name))
        return std::nullopt;
    const qsizetype schemeEnd = name.indexOf(QStringLiteral("://"));
    const QString scheme = name.left(schemeEnd).toLower();
    Address address;
    if (scheme == u"rfc2217")
        address.kind = Kind::Rfc2217;
    else if (scheme == u"tcp" || scheme == u"socket")
        address.kind = Kind::RawTcp;
    else
        return refuse(name, QStringLiteral("rfc2217://, tcp:// or socket:// expected"), error);

    // pyserial's options (?timeout=...) are its own: the program takes the address only.
    QString rest = name.mid(schemeEnd + 3);
    rest = rest.left(rest.indexOf(u'?'));
    if (rest.endsWith(u'/'))
        rest.chop(1);
    qsizetype colon;
    if (rest.startsWith(u'[')) {
        const qsizetype close = rest.indexOf(u']');
        if (close < 0)
            return refuse(name, QStringLiteral("a ] expected after the IPv6 address"), error);
        address.host = rest.mid(1, close - 1);
        colon = close + 1;
        if (colon < rest.size() && rest[colon] != u':')
            return refuse(name, QStringLiteral("a : expected after the ]"), error);
    } else {
        colon = rest.lastIndexOf(u':');
        if (colon < 0)
            colon = rest.size();
        address.host = rest.left(colon);
        if (address.host.contains(u':'))
            return refuse(name, QStringLiteral("an IPv6 address goes in brackets: [::1]:PORT"),
                          error);
    }
    if (address.host.isEmpty() || address.host.contains(u'/') || address.host.contains(u' '))
        return refuse(name, QStringLiteral("a host expected after ://"), error);
    const QString portText = rest.mid(colon + 1);
    const std::optional<qint64> port = WholeNumber{1, 65535}.read(portText);
    if (colon >= rest.size() || !port || portText.trimmed() != portText)
        return refuse(name, QStringLiteral("a port number from 1 to 65535 expected after the host"),
                      error);
    address.port = quint16(*port);
    return address;
}

} // namespace NetworkPort
