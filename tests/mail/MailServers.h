#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QList>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// Real mail servers on loopback for the tests: aiosmtpd receiving SMTP into
// a folder, and dovecot serving a maildir over POP3. Each runs in its own
// temporary folder and stops when the object goes. missing() is empty when
// the server can run here, otherwise why not (for QSKIP); start() waits
// until it accepts connections, or says in `why` what went wrong.

// A loopback port nobody listens on right now.
quint16 freeLoopbackPort();

class SmtpTestServer
{
public:
    struct Received {
        QByteArray helo;
        QByteArray mailFrom;
        QByteArrayList rcptTos;
        QByteArray content;  // the message data as it arrived, dot-stuffing undone
    };

    ~SmtpTestServer();
    static QString missing();
    bool start(QString *why);
    quint16 port() const { return m_port; }

    // Waits up to `timeoutMs` until at least `count` messages are stored;
    // returns all stored so far, oldest first.
    QList<Received> waitForMessages(int count, int timeoutMs = 10000) const;

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    quint16 m_port = 0;
};

class Pop3TestServer
{
public:
    // One mailbox `user` with `password`.
    Pop3TestServer(const QString &user, const QString &password);
    ~Pop3TestServer();
    static QString missing();
    bool start(QString *why);
    // Messages may be added before and after start; they are served in the
    // order they were added.
    bool addMessage(const QByteArray &text, QString *why = nullptr);

    QString host() const { return QStringLiteral("127.0.0.1"); }
    quint16 port() const { return m_port; }

private:
    QString path(const QString &relative) const { return m_dir.filePath(relative); }
    bool prepareMaildir(QString *why);

    QTemporaryDir m_dir;
    QString m_user;
    QString m_password;
    bool m_prepared = false;
    bool m_running = false;
    quint16 m_port = 0;
    int m_added = 0;
};
