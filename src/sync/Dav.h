#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QNetworkAccessManager>
#include <QString>
#include <QUrl>

#include "kit/ConnectionSettings.h"

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

// One <response> of a WebDAV multistatus: its href (resolved to a path),
// the status of the response itself when it has one, and the properties
// found with status 200 by local name. A property's value is its text, or
// for one without text (resourcetype) the local names of its children.
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

struct DavReply {
    int status = 0;
    QByteArray body;
    QByteArray etag;
    QUrl url;  // after redirects
};

// HTTP for WebDAV, one request at a time, each in a local event loop so the
// window stays alive; basic authentication, TLS by the URL's scheme,
// redirects followed; each request ends at the settings' answer limit.
// Transport failures, a refused login and 5xx answers throw SyncError; other
// statuses are the caller's to judge.
class DavClient {
public:
    DavClient(const QString& user, const QString& password, const ConnectionSettings& settings);
    DavReply send(const QByteArray& verb, const QUrl& url, const QByteArray& body = {},
                  const QList<std::pair<QByteArray, QByteArray>>& headers = {});
    // Ends the request under way; it fails as cancelled.
    void cancel();
    int requests() const { return m_requests; }

private:
    QNetworkAccessManager m_net;
    ConnectionSettings m_settings;
    QByteArray m_auth;
    QNetworkReply* m_reply = nullptr;
    bool m_cancelled = false;
    int m_requests = 0;
};
