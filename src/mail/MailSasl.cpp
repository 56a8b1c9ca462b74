#include "mail/MailSasl.h"

#include <algorithm>

OAuthMechanism oauthMechanism(const QByteArrayList& offered)
{
    const auto has = [&](const char* name) {
        return std::any_of(offered.begin(), offered.end(),
                           [name](const QByteArray& m) { return m.compare(name, Qt::CaseInsensitive) == 0; });
    };
    if (has("OAUTHBEARER"))
        return OAuthMechanism::OAuthBearer;
    if (has("XOAUTH2"))
        return OAuthMechanism::XOAuth2;
    return OAuthMechanism::None;
}

QByteArray oauthMechanismName(OAuthMechanism mechanism)
{
    return mechanism == OAuthMechanism::OAuthBearer ? "OAUTHBEARER" : "XOAUTH2";
}

QByteArray oauthResponse(OAuthMechanism mechanism, const QString& user, const QString& token, const QString& host)
{
    // A separator inside a field would end it early: none goes out.
    const auto clean = [](const QString& s) {
        QByteArray b = s.toUtf8();
        b.replace('\x01', "").replace('\r', "").replace('\n', "");
        return b;
    };
    if (mechanism == OAuthMechanism::XOAuth2)
        return ("user=" + clean(user) + "\x01" + "auth=Bearer " + clean(token) + "\x01\x01").toBase64();
    // RFC 5801's gs2 header names the user, with "," and "=" escaped.
    QByteArray name = clean(user);
    name.replace('=', "=3D").replace(',', "=2C");
    QByteArray out = "n,a=" + name + ",\x01";
    if (!host.isEmpty())
        out += "host=" + clean(host) + "\x01";
    return (out + "auth=Bearer " + clean(token) + "\x01\x01").toBase64();
}

QByteArray oauthErrorAck(OAuthMechanism mechanism)
{
    return mechanism == OAuthMechanism::OAuthBearer ? QByteArray("\x01").toBase64() : QByteArray();
}
