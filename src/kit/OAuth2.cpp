#include "kit/OAuth2.h"

#include "kit/OAuthReply.h"

#include <QCryptographicHash>
#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrlQuery>

#ifndef TESSALY_OAUTH_GOOGLE_CLIENT_ID
#define TESSALY_OAUTH_GOOGLE_CLIENT_ID ""
#endif
#ifndef TESSALY_OAUTH_MICROSOFT_CLIENT_ID
#define TESSALY_OAUTH_MICROSOFT_CLIENT_ID ""
#endif

namespace {
const QString kFailed = QStringLiteral("The %1 sign-in of %2 failed: %3");
const QString kSignInAgain =
    QStringLiteral("The %1 sign-in of %2 is no longer valid (%3). Please sign in again to use this account.");
const QString kNoAnswer = QStringLiteral("the sign-in server %1 did not answer within %2 seconds");
const QString kOtherState = QStringLiteral("the browser came back from a sign-in that was not asked for here");
const QString kGarbage = QStringLiteral("the browser came back with what is no sign-in answer");
const QString kRefusedAt = QStringLiteral("the server said %1");
const QString kNotSecure = QStringLiteral("the address %1 is not secure (https)");
const QString kNoClientId = QStringLiteral("no client ID is set (see the README: registering the program)");
const QString kNoListener = QStringLiteral("no local port for the browser's answer: %1");
const QString kBrowserTooLong =
    QStringLiteral("the sign-in page was not finished in time; the next check opens it again");
constexpr int kBrowserLimitMs = 10 * 60 * 1000;
const QString kNetwork = QStringLiteral("the token endpoint could not be reached: %1");
constexpr qsizetype kHeadLimit = qsizetype(8) * 1024;
// A token answer is a few hundred bytes: past this it is no answer.
constexpr qint64 kAnswerLimit = qint64(64) * 1024;

const char kPage[] = "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\nConnection: close\r\n\r\n"
                     "<html><body><p>The sign-in is done; this window may be closed.</p></body></html>";

std::function<void(const QUrl&)>& browser()
{
    static std::function<void(const QUrl&)> open;
    return open;
}

QByteArray randomUrlSafe(int bytes)
{
    QByteArray raw(bytes, Qt::Uninitialized);
    QRandomGenerator::system()->generate(raw.begin(), raw.end());
    return raw.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
}

QString reasonOf(const OAuthTokenAnswer& a)
{
    return a.errorDescription.isEmpty() ? a.error : QStringLiteral("%1: %2").arg(a.error, a.errorDescription);
}
}  // namespace

OAuthProvider oauthPreset(OAuthProviderKind kind, OAuthUse use)
{
    switch (kind) {
    case OAuthProviderKind::Google:
        return {kind,
                QUrl(QStringLiteral("https://accounts.google.com/o/oauth2/v2/auth")),
                QUrl(QStringLiteral("https://oauth2.googleapis.com/token")),
                use == OAuthUse::Mail ? QStringLiteral("https://mail.google.com/")
                                      : QStringLiteral("https://www.googleapis.com/auth/carddav "
                                                       "https://www.googleapis.com/auth/calendar"),
                QStringLiteral(TESSALY_OAUTH_GOOGLE_CLIENT_ID),
                {}};
    case OAuthProviderKind::Microsoft:
        return {kind,
                QUrl(QStringLiteral("https://login.microsoftonline.com/common/oauth2/v2.0/authorize")),
                QUrl(QStringLiteral("https://login.microsoftonline.com/common/oauth2/v2.0/token")),
                QStringLiteral("https://outlook.office.com/IMAP.AccessAsUser.All "
                               "https://outlook.office.com/POP.AccessAsUser.All "
                               "https://outlook.office.com/SMTP.Send offline_access"),
                QStringLiteral(TESSALY_OAUTH_MICROSOFT_CLIENT_ID),
                {}};
    case OAuthProviderKind::Custom:
        break;
    }
    return {};
}

QString oauthProviderName(OAuthProviderKind kind)
{
    switch (kind) {
    case OAuthProviderKind::Google:
        return QStringLiteral("Google");
    case OAuthProviderKind::Microsoft:
        return QStringLiteral("Microsoft");
    case OAuthProviderKind::Custom:
        break;
    }
    return QStringLiteral("custom");
}

OAuthProviderKind oauthProviderKind(const QString& name)
{
    for (const OAuthProviderKind kind : {OAuthProviderKind::Google, OAuthProviderKind::Microsoft})
        if (name == oauthProviderName(kind))
            return kind;
    return OAuthProviderKind::Custom;
}

bool oauthEndpointAllowed(const QUrl& url)
{
    if (!url.isValid() || url.host().isEmpty())
        return false;
    if (url.scheme() == QLatin1String("https"))
        return true;
    const QHostAddress address(url.host());
    return url.scheme() == QLatin1String("http")
           && (address.isLoopback() || url.host().compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0);
}

void setOAuthBrowser(std::function<void(const QUrl&)> open)
{
    browser() = std::move(open);
}

OAuthSignIn::OAuthSignIn(const OAuthProvider& provider, const QString& account, const ConnectionSettings& settings,
                         QObject* parent)
    : QObject(parent)
    , m_provider(provider)
    , m_account(account)
    , m_settings(settings)
    , m_network(new QNetworkAccessManager(this))
{
    m_limit.setSingleShot(true);
    connect(&m_limit, &QTimer::timeout, this, [this] {
        if (m_reply) {
            const QPointer<QNetworkReply> reply = std::exchange(m_reply, nullptr);
            reply->abort();
            reply->deleteLater();
        }
        fail(kNoAnswer.arg(m_provider.tokenUrl.host()).arg((m_settings.answerLimit.count() + 999) / 1000));
    });
    m_browserLimit.setSingleShot(true);
    m_browserLimit.setInterval(kBrowserLimitMs);
    connect(&m_browserLimit, &QTimer::timeout, this, [this] { fail(kBrowserTooLong); });
}

OAuthSignIn::~OAuthSignIn()
{
    cancel();
}

void OAuthSignIn::requestToken()
{
    if (m_busy) {
        // The one under way answers; a sign-in waiting for the browser shows its page again.
        if (m_listener && browser())
            browser()(m_authorizationPage);
        return;
    }
    m_busy = true;
    if (Load load = std::exchange(m_load, nullptr)) {
        return load([self = QPointer<OAuthSignIn>(this)](const QString& kept) {
            if (!self)
                return;
            if (self->m_refreshToken.isEmpty())
                self->m_refreshToken = kept;
            self->m_busy = false;
            self->requestToken();
        });
    }
    const bool fresh = !m_accessToken.isEmpty()
                       && (!m_expires.isValid() || QDateTime::currentDateTimeUtc().addSecs(kMarginSeconds) < m_expires);
    if (fresh) {
        QMetaObject::invokeMethod(this, &OAuthSignIn::grant, Qt::QueuedConnection);
        return;
    }
    m_accessToken.clear();
    for (const QUrl& url : {m_provider.authorizationUrl, m_provider.tokenUrl}) {
        if (!oauthEndpointAllowed(url))
            return later(kNotSecure.arg(url.toDisplayString()));
    }
    if (m_provider.clientId.isEmpty())
        return later(kNoClientId);
    if (!m_refreshToken.isEmpty())
        return post({{QStringLiteral("grant_type"), QStringLiteral("refresh_token")},
                     {QStringLiteral("refresh_token"), m_refreshToken}},
                    true);
    signIn();
}

void OAuthSignIn::tokenRefused()
{
    m_accessToken.clear();
}

void OAuthSignIn::cancel()
{
    stopListening();
    m_limit.stop();
    m_browserLimit.stop();
    if (m_reply) {
        const QPointer<QNetworkReply> reply = std::exchange(m_reply, nullptr);
        reply->abort();
        reply->deleteLater();
    }
    m_busy = false;
}

void OAuthSignIn::signIn()
{
    m_listener = new QTcpServer(this);
    if (!m_listener->listen(QHostAddress::LocalHost, 0)) {
        const QString why = m_listener->errorString();
        stopListening();
        return later(kNoListener.arg(why));
    }
    connect(m_listener, &QTcpServer::newConnection, this, &OAuthSignIn::redirected);
    m_state = QString::fromLatin1(randomUrlSafe(16));
    m_verifier = randomUrlSafe(32);  // 43 characters, as RFC 7636 asks at least
    m_redirectUri = QStringLiteral("http://127.0.0.1:%1/").arg(m_listener->serverPort());
    const QByteArray challenge = QCryptographicHash::hash(m_verifier, QCryptographicHash::Sha256)
                                     .toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
    QUrl url = m_provider.authorizationUrl;
    QUrlQuery query(url);
    query.addQueryItem(QStringLiteral("response_type"), QStringLiteral("code"));
    query.addQueryItem(QStringLiteral("client_id"), m_provider.clientId);
    query.addQueryItem(QStringLiteral("redirect_uri"), m_redirectUri);
    query.addQueryItem(QStringLiteral("scope"), m_provider.scope);
    query.addQueryItem(QStringLiteral("state"), m_state);
    query.addQueryItem(QStringLiteral("code_challenge"), QString::fromLatin1(challenge));
    query.addQueryItem(QStringLiteral("code_challenge_method"), QStringLiteral("S256"));
    query.addQueryItem(QStringLiteral("login_hint"), m_account);
    url.setQuery(query);
    m_authorizationPage = url;
    m_browserLimit.start();
    if (browser())
        browser()(url);
}

void OAuthSignIn::redirected()
{
    while (m_listener && m_listener->hasPendingConnections()) {
        QTcpSocket* socket = m_listener->nextPendingConnection();
        socket->setParent(this);  // it outlives the listener until the page is out
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { redirectRead(socket); });
    }
}

// The browser's one request ends the wait, whatever it says.
void OAuthSignIn::redirectRead(QTcpSocket* socket)
{
    const QByteArray head = socket->peek(kHeadLimit);
    if (!head.contains("\r\n\r\n") && head.size() < kHeadLimit)
        return;  // more is on its way
    socket->write(kPage);
    socket->disconnectFromHost();
    if (!m_listener)
        return;
    stopListening();
    m_browserLimit.stop();
    const OAuthRedirect r = readRedirect(head);
    if (!r.readable)
        return fail(kGarbage);
    if (r.state != m_state)
        return fail(kOtherState);
    if (!r.error.isEmpty())
        return fail(kRefusedAt.arg(r.errorDescription.isEmpty() ? r.error
                                                                : r.error + QStringLiteral(": ") + r.errorDescription));
    post({{QStringLiteral("grant_type"), QStringLiteral("authorization_code")},
          {QStringLiteral("code"), r.code},
          {QStringLiteral("redirect_uri"), m_redirectUri},
          {QStringLiteral("code_verifier"), QString::fromLatin1(m_verifier)}},
         false);
}

void OAuthSignIn::stopListening()
{
    if (!m_listener)
        return;
    m_listener->close();
    m_listener->deleteLater();
    m_listener = nullptr;
}

void OAuthSignIn::post(const QList<std::pair<QString, QString>>& fields, bool refreshing)
{
    QUrlQuery form;
    for (const auto& field : fields)
        form.addQueryItem(field.first, QString::fromLatin1(QUrl::toPercentEncoding(field.second)));
    form.addQueryItem(QStringLiteral("client_id"), QString::fromLatin1(QUrl::toPercentEncoding(m_provider.clientId)));
    if (!m_provider.clientSecret.isEmpty())
        form.addQueryItem(QStringLiteral("client_secret"),
                          QString::fromLatin1(QUrl::toPercentEncoding(m_provider.clientSecret)));
    QNetworkRequest request(m_provider.tokenUrl);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/x-www-form-urlencoded"));
    request.setRawHeader("Accept", "application/json");
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    if (const std::optional<QSslConfiguration> config = m_settings.sslConfiguration())
        request.setSslConfiguration(*config);
    m_reply = m_network->post(request, form.query(QUrl::FullyEncoded).toLatin1());
    connect(m_reply, &QNetworkReply::finished, this, [this, reply = m_reply.data(), refreshing] {
        reply->deleteLater();
        if (reply == m_reply)
            answered(reply, refreshing);
    });
    connect(m_reply, &QNetworkReply::downloadProgress, this, [reply = m_reply.data()](qint64 received, qint64) {
        if (received > kAnswerLimit)
            reply->abort();
    });
    m_limit.start(m_settings.answerLimit);
}

void OAuthSignIn::answered(QNetworkReply* reply, bool refreshing)
{
    m_reply = nullptr;
    m_limit.stop();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    // An error status still carries the server's JSON (400 invalid_grant).
    if (status == 0)
        return fail(kNetwork.arg(reply->errorString()));
    const OAuthTokenAnswer a = readTokenAnswer(reply->read(kAnswerLimit), status);
    if (refreshing && a.error == QLatin1String("invalid_grant")) {
        // Revoked or run out: only a new sign-in helps.
        m_refreshToken.clear();
        emit refreshTokenChanged(QString());
        m_busy = false;
        emit failed(kSignInAgain.arg(oauthProviderName(m_provider.kind), m_account, reasonOf(a)));
        return;
    }
    if (!a.ok())
        return fail(kRefusedAt.arg(reasonOf(a)));
    m_accessToken = a.accessToken;
    m_expires = a.expiresIn ? QDateTime::currentDateTimeUtc().addSecs(*a.expiresIn) : QDateTime();
    if (!a.refreshToken.isEmpty() && a.refreshToken != m_refreshToken) {
        m_refreshToken = a.refreshToken;
        emit refreshTokenChanged(m_refreshToken);
    }
    grant();
}

void OAuthSignIn::grant()
{
    m_busy = false;
    if (m_accessToken.isEmpty())
        return requestToken();
    emit granted(m_accessToken);
}

// Every answer comes from the event loop, never inside requestToken().
void OAuthSignIn::later(const QString& why)
{
    QMetaObject::invokeMethod(
        this, [this, why] { fail(why); }, Qt::QueuedConnection);
}

void OAuthSignIn::fail(const QString& why)
{
    cancel();
    emit failed(kFailed.arg(oauthProviderName(m_provider.kind), m_account, why));
}
