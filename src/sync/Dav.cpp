#include "sync/Dav.h"

#include <QEventLoop>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslConfiguration>
#include <QTimer>
#include <QXmlStreamReader>

namespace {

constexpr int kMaxRedirects = 5;

int statusOf(const QString& line)
{
    // "HTTP/1.1 404 Not Found"
    return line.trimmed().section(u' ', 1, 1).toInt();
}

// The text of the element the reader is on, or the local names of its
// children when it has no text; leaves the reader on its end tag.
QString valueOf(QXmlStreamReader& xml)
{
    QString text;
    QStringList children;
    int depth = 1;
    while (depth > 0 && !xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            // A calendar's <comp name="VTODO"/> by the component it names.
            if (depth == 1)
                children << (xml.attributes().hasAttribute(QLatin1String("name"))
                                 ? xml.attributes().value(QLatin1String("name")).toString()
                                 : xml.name().toString());
            ++depth;
        } else if (xml.isEndElement()) {
            --depth;
        } else if (xml.isCharacters()) {
            text += xml.text();
        }
    }
    text = text.trimmed();
    return text.isEmpty() ? children.join(u' ') : text;
}

}  // namespace

bool sameOrigin(const QUrl& a, const QUrl& b)
{
    const auto port = [](const QUrl& u) { return u.port(u.scheme() == u"https" ? 443 : 80); };
    return a.scheme() == b.scheme() && a.host() == b.host() && port(a) == port(b);
}

Multistatus parseMultistatus(const QByteArray& bytes, const QUrl& base)
{
    Multistatus out;
    QXmlStreamReader xml(bytes);
    DavResponse* current = nullptr;
    bool inPropstat = false;
    int propstatStatus = 0;  // servers write it before or after the properties
    QMap<QString, QString> props;
    while (!xml.atEnd()) {
        xml.readNext();
        const QStringView name = xml.name();
        if (xml.isStartElement()) {
            if (name == u"response") {
                out.responses.append(DavResponse{});
                current = &out.responses.last();
            } else if (name == u"sync-token" && !current) {
                out.syncToken = xml.readElementText().trimmed();
            } else if (current && name == u"href" && current->href.isEmpty()) {
                const QUrl href = base.resolved(QUrl(xml.readElementText().trimmed(), QUrl::TolerantMode));
                current->href =
                    sameOrigin(href, base) ? href.path(QUrl::FullyEncoded) : href.toString(QUrl::FullyEncoded);
            } else if (current && name == u"propstat") {
                inPropstat = true;
                propstatStatus = 0;
                props.clear();
            } else if (current && name == u"status") {
                const int status = statusOf(xml.readElementText());
                (inPropstat ? propstatStatus : current->status) = status;
            } else if (current && name == u"prop") {
                while (xml.readNextStartElement())
                    props.insert(xml.name().toString(), valueOf(xml));
            }
        } else if (xml.isEndElement() && name == u"response") {
            current = nullptr;
        } else if (xml.isEndElement() && name == u"propstat") {
            if (current && propstatStatus / 100 == 2)
                current->props.insert(props);
            inPropstat = false;
        }
    }
    if (xml.hasError())
        throw SyncError(
            QStringLiteral("The sync server sent an answer that cannot be read (%1).").arg(xml.errorString()));
    return out;
}

QUrl hrefUrl(const QUrl& collection, const QString& path)
{
    QUrl url = collection;
    url.setPath(path, QUrl::TolerantMode);
    return url;
}

DavClient::DavClient(const QString& user, const QString& password, const QString& accessToken, const QUrl& origin,
                     const ConnectionSettings& settings)
    : m_settings(settings)
    , m_origin(origin)
    , m_auth(accessToken.isEmpty() ? "Basic " + (user + u':' + password).toUtf8().toBase64()
                                   : "Bearer " + accessToken.toUtf8())
{
    m_net.setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
}

void DavClient::cancel()
{
    m_cancelled = true;
    // The reply belongs to the client's thread: it is ended there.
    QMetaObject::invokeMethod(
        &m_net,
        [this] {
            if (m_reply)
                m_reply->abort();
        },
        Qt::QueuedConnection);
}

DavReply DavClient::send(const QByteArray& verb, const QUrl& url, const QByteArray& body,
                         const QList<std::pair<QByteArray, QByteArray>>& headers)
{
    DavReply out;
    out.url = url;
    for (int hop = 0; hop <= kMaxRedirects; ++hop) {
        if (m_cancelled)
            throw SyncError(kSyncCancelled);
        if (m_origin.scheme() == u"https" && out.url.scheme() != u"https")
            throw SyncError(QStringLiteral("The sync server %1 sends the sync to %2, which is not encrypted; "
                                           "nothing was sent there.")
                                .arg(m_origin.toString(QUrl::RemoveUserInfo), out.url.toString(QUrl::RemoveUserInfo)));
        if (!sameOrigin(out.url, m_origin))
            throw ServerMoved(out.url);
        QNetworkRequest request(out.url);
        request.setRawHeader("Authorization", m_auth);
        request.setRawHeader("Content-Type", "application/xml; charset=utf-8");
        for (const auto& [name, value] : headers)
            request.setRawHeader(name, value);
        if (const std::optional<QSslConfiguration> config = m_settings.sslConfiguration())
            request.setSslConfiguration(*config);
        ++m_requests;
        QNetworkReply* reply = m_net.sendCustomRequest(request, verb, body);
        m_reply = reply;
        QEventLoop loop;
        QTimer timer;
        bool timedOut = false;
        timer.setSingleShot(true);
        QObject::connect(&timer, &QTimer::timeout, &loop, [&] {
            timedOut = true;
            reply->abort();
        });
        QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        timer.start(m_settings.answerLimit);
        if (!reply->isFinished())
            loop.exec();
        m_reply = nullptr;
        reply->deleteLater();
        out.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        out.body = reply->readAll();
        out.etag = reply->rawHeader("ETag");
        const QString where = out.url.host();
        if (reply->error() == QNetworkReply::OperationCanceledError && !timedOut)
            throw SyncError(kSyncCancelled);
        if (timedOut)
            throw SyncError(QStringLiteral("The sync server %1 did not answer in time.").arg(where));
        if (out.status == 0)
            throw SyncError(QStringLiteral("Cannot reach the sync server %1: %2.").arg(where, reply->errorString()));
        if (out.status == 401 && m_auth.startsWith("Bearer "))
            throw TokenRefused(QStringLiteral("The sync server %1 refused the sign-in.").arg(where));
        if (out.status == 401)
            throw SyncError(QStringLiteral("The sync server %1 refused the user name or password.").arg(where));
        if (out.status >= 500)
            throw SyncError(QStringLiteral("The sync server %1 failed: %2 %3.")
                                .arg(where)
                                .arg(out.status)
                                .arg(reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString()));
        const QUrl next = reply->attribute(QNetworkRequest::RedirectionTargetAttribute).toUrl();
        if (out.status / 100 != 3 || next.isEmpty())
            return out;
        out.url = out.url.resolved(next);
    }
    throw SyncError(QStringLiteral("The sync server %1 redirects without end.").arg(url.host()));
}
