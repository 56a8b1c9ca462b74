#include "kit/OAuthReply.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QUrlQuery>

#include <algorithm>

namespace {
const QString kUnreadable = QStringLiteral("unreadable");
constexpr qint64 kYear = qint64(365) * 24 * 3600;

// A text field, or a number given as one; nothing else counts.
QString textOf(const QJsonObject& o, const char* name)
{
    const QJsonValue v = o.value(QLatin1String(name));
    return v.isString() ? v.toString() : QString();
}
}  // namespace

OAuthRedirect readRedirect(const QByteArray& head)
{
    OAuthRedirect out;
    const qsizetype end = head.indexOf("\r\n");
    const QByteArray line = end < 0 ? head : head.left(end);
    const QList<QByteArray> parts = line.split(' ');
    if (parts.size() != 3 || parts[0] != "GET" || !parts[2].startsWith("HTTP/1.") || !parts[1].startsWith("/?"))
        return out;
    const QUrlQuery query(QString::fromLatin1(parts[1].mid(2)));
    const auto field = [&](const QString& name) { return query.queryItemValue(name, QUrl::FullyDecoded); };
    out.code = field(QStringLiteral("code"));
    out.state = field(QStringLiteral("state"));
    out.error = field(QStringLiteral("error"));
    out.errorDescription = field(QStringLiteral("error_description"));
    out.readable = !out.code.isEmpty() || !out.error.isEmpty();
    return out;
}

OAuthTokenAnswer readTokenAnswer(const QByteArray& body, int status)
{
    OAuthTokenAnswer out;
    QJsonParseError parsed{};
    const QJsonDocument doc = QJsonDocument::fromJson(body, &parsed);
    if (parsed.error != QJsonParseError::NoError || !doc.isObject()) {
        out.error = kUnreadable;
        out.errorDescription = QStringLiteral("HTTP status %1, no JSON object").arg(status);
        return out;
    }
    const QJsonObject o = doc.object();
    out.error = textOf(o, "error");
    out.errorDescription = textOf(o, "error_description");
    if (!out.error.isEmpty())
        return out;
    out.accessToken = textOf(o, "access_token");
    out.refreshToken = textOf(o, "refresh_token");
    out.scope = textOf(o, "scope");
    const QJsonValue expires = o.value(QLatin1String("expires_in"));
    bool number = expires.isDouble();
    // A year at most: more is no expiry this program would wait for.
    const qint64 seconds = std::min<qint64>(
        number ? qint64(std::clamp(expires.toDouble(), 0.0, 1e9)) : expires.toString().toLongLong(&number), kYear);
    if (number && seconds > 0)
        out.expiresIn = seconds;
    if (status != 200 || out.accessToken.isEmpty()
        || textOf(o, "token_type").compare(QLatin1String("Bearer"), Qt::CaseInsensitive) != 0) {
        out.error = kUnreadable;
        out.errorDescription = QStringLiteral("HTTP status %1, no bearer token").arg(status);
        out.accessToken.clear();
    }
    return out;
}
