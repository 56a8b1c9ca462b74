#pragma once

#include "kit/ConnectionSettings.h"

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QUrl>

#include <functional>

class QNetworkAccessManager;
class QNetworkReply;
class QTcpServer;
class QTcpSocket;

// Who signs the user in, and for what.
enum class OAuthProviderKind { Google, Microsoft, Custom };

struct OAuthProvider {
    OAuthProviderKind kind = OAuthProviderKind::Custom;
    QUrl authorizationUrl;
    QUrl tokenUrl;
    QString scope;  // blank-separated
    QString clientId;
    QString clientSecret;  // only where the provider wants one for an installed program (never compiled in)
};

// What the sign-in is for: the mail servers, or the address book and
// calendar server of the sync.
enum class OAuthUse { Mail, Sync };

// The endpoints and scopes of a provider for that use, with the client ID the
// build was given (-DTESSALY_OAUTH_GOOGLE_CLIENT_ID=..., ..._MICROSOFT_...), if any.
OAuthProvider oauthPreset(OAuthProviderKind kind, OAuthUse use = OAuthUse::Mail);
QString oauthProviderName(OAuthProviderKind kind);  // "Google", "Microsoft", "custom"
// The provider a stored name stands for: any other name is a custom one.
OAuthProviderKind oauthProviderKind(const QString& name);
// "https", or a loopback host (tests): where a code or token may go.
bool oauthEndpointAllowed(const QUrl& url);

// Opens the authorization page in the system browser: the window services
// set it at start; tests play the browser themselves.
void setOAuthBrowser(std::function<void(const QUrl&)> open);

// The OAuth2 sign-in of one account (RFC 6749): the authorization code with
// PKCE S256 (RFC 7636) over a loopback redirect (RFC 8252), the code
// exchanged at the token endpoint, the access token kept in memory with its
// expiry and renewed through the refresh token before it runs out. The
// refresh token goes out through refreshTokenChanged for the keyring and is
// taken in through setRefreshToken; nothing here stores it.
//
// Everything is asynchronous: requestToken() answers once through granted()
// or failed(), from the event loop.
class OAuthSignIn : public QObject {
    Q_OBJECT
public:
    OAuthSignIn(const OAuthProvider& provider, const QString& account, const ConnectionSettings& settings,
                QObject* parent = nullptr);
    ~OAuthSignIn() override;

    void setRefreshToken(const QString& token) { m_refreshToken = token; }
    // Where a kept refresh token comes from: asked once, before the first
    // request; it answers (the token, or empty) through the function it is given.
    using Load = std::function<void(std::function<void(const QString&)>)>;
    void loadWith(Load load) { m_load = std::move(load); }
    bool hasRefreshToken() const { return !m_refreshToken.isEmpty(); }
    // The access token, renewed or asked for as needed: granted() or failed().
    void requestToken();
    // The server refused the access token: the next request renews it.
    void tokenRefused();
    // Ends a sign-in under way without a word.
    void cancel();
    const QString& account() const { return m_account; }
    // How long before its expiry an access token counts as run out.
    static constexpr qint64 kMarginSeconds = 60;
    // How long the browser has for the user to sign in before the wait ends.
    void setBrowserLimit(int ms) { m_browserLimit.setInterval(ms); }

signals:
    void granted(const QString& accessToken);
    void failed(const QString& message);
    void refreshTokenChanged(const QString& refreshToken);  // empty: revoked, forgotten

private:
    void signIn();
    void redirected();
    void redirectRead(QTcpSocket* socket);
    void post(const QList<std::pair<QString, QString>>& fields, bool refreshing);
    void answered(QNetworkReply* reply, bool refreshing);
    void fail(const QString& why);
    void later(const QString& why);
    void grant();
    void stopListening();

    OAuthProvider m_provider;
    QString m_account;
    ConnectionSettings m_settings;
    QString m_refreshToken;
    QString m_accessToken;
    QDateTime m_expires;  // UTC; invalid: not known to run out
    bool m_busy = false;
    QString m_state;
    QByteArray m_verifier;
    QString m_redirectUri;
    QUrl m_authorizationPage;
    QTcpServer* m_listener = nullptr;
    QNetworkAccessManager* m_network = nullptr;
    QPointer<QNetworkReply> m_reply;
    QTimer m_limit;
    QTimer m_browserLimit;
    Load m_load;
};
