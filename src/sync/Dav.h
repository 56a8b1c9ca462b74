#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QNetworkAccessManager>
#include <QString>
#include <QUrl>

#include "kit/ConnectionSettings.h"

#include <atomic>
#include <stdexcept>

class QNetworkReply;

// What stops a sync: a server that cannot be reached, refuses the login or
// answers with an error. The text is one sentence for the user.
class SyncError : public std::runtime_error {
public:
    explicit SyncError(const QString& reason)
        : std::runtime_error(reason.toStdString())
    {
    }
    QString reason() const { return QString::fromStdString(what()); }
};

// A request the sync would make at another origin than the server's of the
// Sync Settings: a redirect there, or an address the server named. Nothing
// is sent there; `to` is where the server would have the sync go.
class ServerMoved : public SyncError {
public:
    explicit ServerMoved(const QUrl& to)
        : SyncError(to.toString())
        , to(to)
    {
    }
    QUrl to;
};

// The server refused the bearer token of an OAuth2 sign-in: a renewed one
// may still be taken.
class TokenRefused : public SyncError {
public:
    using SyncError::SyncError;
};

// Scheme, host and port (the scheme's own when none is written) are the same.
bool sameOrigin(const QUrl& a, const QUrl& b);

// One <response> of a WebDAV multistatus: its href (resolved against the
// answer's URL to a path, percent-escapes as the server wrote them, or the
// whole address when it names another origin than `base`),
// the status of the response itself when it has one, and the properties
// found with status 200 by local name. A property's value is its text, or
// for one without text (resourcetype) the local names of its children, or
// the name they give (supported-calendar-component-set: "VEVENT VTODO").
struct DavResponse {
    QString href;
    int status = 200;
    QMap<QString, QString> props;
};
struct Multistatus {
    QList<DavResponse> responses;
    QString syncToken;
};
Multistatus parseMultistatus(const QByteArray& xml, const QUrl& base);
// Where a request about a listed resource goes: its path (as a response's
// href keeps it) on the collection's server, escapes as the server wrote
// them, never escaped again ("%40" stays "%40", not "%2540").
QUrl hrefUrl(const QUrl& collection, const QString& path);

// What a cancelled sync says when nothing was changed here.
inline const QString kSyncCancelled = QStringLiteral("The sync was cancelled; nothing was changed here.");

struct DavReply {
    int status = 0;
    QByteArray body;
    QByteArray etag;
    QUrl url;  // after redirects
};

// HTTP for WebDAV, one request at a time, each awaited in a local event loop
// of the thread that made the client: the File menu's sync has a thread of
// its own for it, the command line has no window. Requests go to `origin`
// only, each with basic authentication, or the bearer token of an OAuth2
// sign-in when there is one (a refused token throws TokenRefused); TLS by the URL's scheme; redirects
// followed within the origin; each request ended at the settings' answer
// limit. Transport failures, a refused login and 5xx answers throw
// SyncError, and so does a redirect from https to http; a request or a
// redirect to another origin throws ServerMoved before anything goes there.
// Other statuses are the caller's to judge.
class DavClient {
public:
    DavClient(const QString& user, const QString& password, const QString& accessToken, const QUrl& origin,
              const ConnectionSettings& settings);
    DavReply send(const QByteArray& verb, const QUrl& url, const QByteArray& body = {},
                  const QList<std::pair<QByteArray, QByteArray>>& headers = {});
    // From any thread: the request under way is abandoned and none follows;
    // both fail as cancelled.
    void cancel();
    bool cancelled() const { return m_cancelled; }
    int requests() const { return m_requests; }

private:
    QNetworkAccessManager m_net;
    ConnectionSettings m_settings;
    QUrl m_origin;
    QByteArray m_auth;
    QNetworkReply* m_reply = nullptr;
    std::atomic<bool> m_cancelled = false;
    int m_requests = 0;
};
