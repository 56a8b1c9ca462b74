#pragma once

#include <QDnsLookup>
#include <QHash>
#include <QList>
#include <QNetworkAccessManager>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <chrono>

#include "kit/ConnectionSettings.h"
#include "kit/MailAutoconfig.h"

class QNetworkReply;

// Where a name in a document's URL is served instead of where DNS puts it.
// Tests cannot make autoconfig.example.test resolve to loopback, so they
// route it: the request goes to `address`:`port`, while the certificate
// must still be one for the name in the URL (QNetworkRequest's peer verify
// name), exactly as with the real host. Nothing is routed in the program.
struct DiscoveryRoute {
    QString address;
    quint16 port = 0;
};
struct DiscoveryOptions {
    std::chrono::milliseconds stepLimit = std::chrono::seconds(10);  // per document, and for the DNS step
    QHash<QString, DiscoveryRoute> routes;
};

// Finds the mail settings of an address, in steps, each under a time limit:
// this program's list of providers (no network at all), then the domain's
// autoconfig document over HTTPS alone (https://autoconfig.<domain>/mail/
// config-v1.1.xml, then https://<domain>/.well-known/autoconfig/mail/
// config-v1.1.xml; the certificate checked for that name, with the extra
// authorities of the ConnectionSettings; at most kMaxDocument bytes read), then
// the domain's SRV records (RFC 6186). A step that fails, answers garbage or
// runs past its limit passes on to the next; `finished` comes once per find,
// from the event loop, with what was found or nothing (any() false).
class MailDiscovery : public QObject {
    Q_OBJECT

public:
    static constexpr qint64 kMaxDocument = qint64(64) * 1024;  // a real one is a few KB

    explicit MailDiscovery(ConnectionSettings connection, DiscoveryOptions options = {}, QObject* parent = nullptr);
    ~MailDiscovery() override;

    // Starts looking for `address`'s settings; a look-up under way is dropped
    // without a word.
    void find(const QString& address);

signals:
    void finished(const FoundSettings& found);

private:
    void fetch(int url);
    void fetched(QNetworkReply* reply, int url);
    void askDns();
    void answered(QDnsLookup* lookup);
    void dnsDone();
    void timedOut();
    void finish(const FoundSettings& found);
    void drop();

    ConnectionSettings m_connection;
    DiscoveryOptions m_options;
    QNetworkAccessManager m_net;
    QTimer m_limit;
    QString m_address;
    QString m_domain;
    QNetworkReply* m_reply = nullptr;       // the document asked for
    int m_url = 0;                          // which of the two it is
    QList<QPointer<QDnsLookup>> m_lookups;  // one per srvServices(), in its order
    int m_unanswered = 0;
    quint64 m_run = 0;  // counts finds and drops, so that a result posted before one is not given
};
