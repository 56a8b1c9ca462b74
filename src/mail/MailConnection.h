#pragma once

#include "mail/MailSession.h"

#include <QObject>
#include <QSslCertificate>
#include <QStringList>
#include <QTimer>

#include <chrono>

class QSslSocket;

// The screens' half of a mail conversation. The protocol machine only says
// what to do; this carries it out on a socket (TLS when asked) and in
// message boxes, and keeps the time: a connection that does not open, or a
// server that falls silent while a reply is awaited, ends the session.
class MailConnection : public QObject {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds kConnectLimit = std::chrono::seconds(30);
    static constexpr std::chrono::milliseconds kSilenceLimit = std::chrono::seconds(60);

    MailConnection(MailSession& session, QObject* parent);
    ~MailConnection() override;

    // Connects to `host`; with TlsMode::Implicit TLS starts at once.
    void open(const QString& host, quint16 port, TlsMode tls);
    // Ends the connection without a word to the screen: a conversation that
    // is abandoned (the screen closes) reports nothing afterwards.
    void drop();
    bool isIdle() const;

    static void showNotice(const MailNotice& notice);

    // Seams for tests: shorter limits, and certificates to trust besides the
    // system's (a test's own authority). Both stay until changed.
    static void setTimeLimits(std::chrono::milliseconds connect, std::chrono::milliseconds silence);
    static void setExtraCaCertificates(const QList<QSslCertificate>& certificates);

signals:
    void listed(const QStringList& keys);
    void fetching(int current, int total);
    void written(qint64 done, qint64 total);  // of the message being sent
    void finished(bool ok);

private:
    void carryOut(const MailActions& actions);
    void writeMore();
    void readArrived();
    void timedOut();
    void failed(QAbstractSocket::SocketError error);
    void tlsFailed();

    MailSession& m_session;
    QSslSocket* m_socket;
    QTimer m_timer;
    QString m_host;
    bool m_connecting = false;
    bool m_handshaking = false;
    QStringList m_sslErrors;
    qint64 m_done = 0;
    qint64 m_total = 0;
    std::shared_ptr<MailData> m_data;  // what is left of a long Send
};
