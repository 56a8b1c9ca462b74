#include "kit/MailDiscovery.h"

#include <QDnsServiceRecord>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>

#include <utility>

namespace {

constexpr int kDocuments = 2;
constexpr int kMaxRedirects = 3;

QUrl documentUrl(int url, const QString& domain)
{
    return url == 0 ? QUrl(QStringLiteral("https://autoconfig.%1/mail/config-v1.1.xml").arg(domain))
                    : QUrl(QStringLiteral("https://%1/.well-known/autoconfig/mail/config-v1.1.xml").arg(domain));
}

}  // namespace

MailDiscovery::MailDiscovery(ConnectionSettings connection, DiscoveryOptions options, QObject* parent)
    : QObject(parent)
    , m_connection(std::move(connection))
    , m_options(std::move(options))
{
    m_limit.setSingleShot(true);
    connect(&m_limit, &QTimer::timeout, this, &MailDiscovery::timedOut);
}

MailDiscovery::~MailDiscovery()
{
    drop();
}

void MailDiscovery::find(const QString& address)
{
    drop();
    m_address = address.trimmed();
    m_domain = addressDomain(m_address);
    if (m_domain.isEmpty())
        return finish({});
    if (const std::optional<FoundSettings> known = builtInSettings(m_address))
        return finish(*known);
    fetch(0);
}

void MailDiscovery::fetch(int url)
{
    const QUrl real = documentUrl(url, m_domain);
    QNetworkRequest request(real);
    if (const auto route = m_options.routes.constFind(real.host()); route != m_options.routes.cend()) {
        QUrl routed = real;
        routed.setHost(route->address);
        routed.setPort(route->port);
        request.setUrl(routed);
        request.setPeerVerifyName(real.host());
    }
    if (const std::optional<QSslConfiguration> config = m_connection.sslConfiguration())
        request.setSslConfiguration(*config);
    // https to https only, and no further than a few hops.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(kMaxRedirects);
    QNetworkReply* reply = m_net.get(request);
    m_reply = reply;
    m_url = url;
    // A document past the limit is given up as it comes, never read whole.
    connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64 total) {
        if (received > kMaxDocument || total > kMaxDocument)
            QMetaObject::invokeMethod(reply, &QNetworkReply::abort, Qt::QueuedConnection);
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply, url] { fetched(reply, url); });
    m_limit.start(m_options.stepLimit);
}

void MailDiscovery::fetched(QNetworkReply* reply, int url)
{
    reply->deleteLater();
    if (reply != m_reply)
        return;  // dropped, or given up at its time limit
    m_reply = nullptr;
    m_limit.stop();
    if (reply->error() == QNetworkReply::NoError && reply->url().scheme() == QLatin1String("https")
        && reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() == 200) {
        const QByteArray body = reply->read(kMaxDocument + 1);
        if (std::optional<FoundSettings> found =
                body.size() <= kMaxDocument ? readAutoconfig(body, m_address) : std::nullopt) {
            found->from = documentUrl(url, m_domain).toString();
            return finish(*found);
        }
    }
    if (url + 1 < kDocuments)
        return fetch(url + 1);
    askDns();
}

void MailDiscovery::askDns()
{
    m_unanswered = int(srvServices().size());
    for (const SrvService& service : srvServices()) {
        auto* lookup =
            new QDnsLookup(QDnsLookup::SRV, QString::fromLatin1(service.label) + QLatin1Char('.') + m_domain, this);
        m_lookups.append(lookup);
        connect(lookup, &QDnsLookup::finished, this, [this, lookup] { answered(lookup); });
        lookup->lookup();
    }
    m_limit.start(m_options.stepLimit);
}

void MailDiscovery::answered(QDnsLookup* lookup)
{
    if (m_lookups.contains(lookup) && --m_unanswered == 0)
        dnsDone();
}

void MailDiscovery::dnsDone()
{
    m_limit.stop();
    QList<FoundServer> firstAnswers;
    for (const QPointer<QDnsLookup>& lookup : std::exchange(m_lookups, {})) {
        FoundServer first;
        if (lookup && lookup->isFinished() && lookup->error() == QDnsLookup::NoError
            && !lookup->serviceRecords().isEmpty()) {
            // Sorted by priority, then by weight at random.
            const QDnsServiceRecord record = lookup->serviceRecords().constFirst();
            first = {record.target(), record.port()};
            if (first.host.endsWith(QLatin1Char('.')))
                first.host.chop(1);
        }
        firstAnswers.append(first);
        if (lookup) {
            lookup->abort();
            lookup->deleteLater();
        }
    }
    finish(settingsFromSrv(firstAnswers, m_address).value_or(FoundSettings{}));
}

void MailDiscovery::timedOut()
{
    if (QNetworkReply* reply = m_reply) {
        reply->abort();
        if (m_reply == reply)  // unless abort() reported at once
            fetched(reply, m_url);
    } else if (!m_lookups.isEmpty()) {
        dnsDone();
    }
}

void MailDiscovery::finish(const FoundSettings& found)
{
    drop();
    // From the event loop, so that a slot showing it runs after every handler here returned.
    QMetaObject::invokeMethod(
        this,
        [this, found, run = m_run] {
            if (run == m_run)
                emit finished(found);
        },
        Qt::QueuedConnection);
}

void MailDiscovery::drop()
{
    ++m_run;
    m_limit.stop();
    if (QNetworkReply* reply = std::exchange(m_reply, nullptr))
        reply->abort();
    for (const QPointer<QDnsLookup>& lookup : std::exchange(m_lookups, {})) {
        if (lookup) {
            lookup->abort();
            lookup->deleteLater();
        }
    }
}
