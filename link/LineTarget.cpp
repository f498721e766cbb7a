#include "LineTarget.h"

#include <algorithm>

using namespace Qt::Literals::StringLiterals;

namespace comm {

QString LineTarget::text() const
{
    if (kind == Kind::Device)
        return path;
    const QString shownHost = host.contains(u':') ? u'[' + host + u']' : host;
    return (kind == Kind::Tcp ? u"tcp://"_s : u"rfc2217://"_s) + shownHost + u':' + QString::number(port);
}

QString LineTarget::kindName() const
{
    switch (kind) {
    case Kind::Tcp:
        return u"TCP"_s;
    case Kind::Rfc2217:
        return u"RFC 2217"_s;
    case Kind::Device:
        break;
    }
    return u"serial device"_s;
}

std::optional<LineTarget> parseLineTarget(const QString& text)
{
    if (text.isEmpty() || text.size() > 1024)
        return std::nullopt;
    LineTarget t;
    const qsizetype scheme = text.indexOf(u"://"_s);
    if (scheme < 0) {
        t.path = text;
        return t;
    }
    const QString name = text.left(scheme).toLower();
    if (name == u"tcp"_s)
        t.kind = LineTarget::Kind::Tcp;
    else if (name == u"rfc2217"_s)
        t.kind = LineTarget::Kind::Rfc2217;
    else
        return std::nullopt;
    const QString rest = text.mid(scheme + 3);
    QString host;
    QString port;
    if (rest.startsWith(u'[')) {
        const qsizetype close = rest.indexOf(u']');
        if (close < 0 || rest.mid(close + 1, 1) != u":"_s)
            return std::nullopt;
        host = rest.mid(1, close - 1);
        port = rest.mid(close + 2);
    } else {
        const qsizetype colon = rest.lastIndexOf(u':');
        if (colon < 0)
            return std::nullopt;
        host = rest.left(colon);
        port = rest.mid(colon + 1);
        // An IPv6 address must come in brackets, so that its port can be told from it.
        if (host.contains(u':'))
            return std::nullopt;
    }
    bool ok = false;
    const uint number = port.toUInt(&ok);
    const bool plainDigits = !port.isEmpty() && std::all_of(port.cbegin(), port.cend(), [](QChar c) {
        return c >= u'0' && c <= u'9';
    });
    if (host.isEmpty() || !ok || !plainDigits || number < 1 || number > 65535)
        return std::nullopt;
    for (const QChar c : host) {
        if (c.isSpace() || c == u'/' || c == u'@' || c == u'[' || c == u']')
            return std::nullopt;
    }
    t.host = host;
    t.port = quint16(number);
    return t;
}

} // namespace comm
