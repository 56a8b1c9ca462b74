#pragma once

#include "kit/ConnectionSettings.h"
#include "kit/Worker.h"
#include "mail/MailSession.h"

#include <QObject>
#include <QStringList>
#include <QTimer>

#include <deque>
#include <functional>
#include <memory>

class QSslSocket;

// The screens' half of a mail conversation. The protocol machine only says
// what to do; this carries it out on a socket (TLS when asked) and keeps the
// time: a connection that does not open, or a server that falls silent while
// a reply is awaited, ends the session.
//
// Notices go to the screen through `notice`, from the event loop, never from
// inside a socket's handler. The conversation waits until that slot returns
// (the screen's message box is closed): what the socket brings meanwhile,
// the time limit included, reaches the machine afterwards, in order. So the
// boxes come one at a time, in the order the machine said them, and what
// followed each happens after it.
//
// A machine that reads alone (MailSession::readsAlone) reads what the server
// says on a worker thread (a short arrival here, as quick to read as to
// hand over), one arrival at a time and in turn with the rest;
// the window goes on meanwhile. Its owner touches it only between
// conversations, or through ask().
class MailConnection : public QObject {
    Q_OBJECT
public:
    MailConnection(MailSession& session, const ConnectionSettings& settings, QObject* parent);
    ~MailConnection() override;

    // Connects to `host`; with TlsMode::Implicit TLS starts at once.
    void open(const QString& host, quint16 port, TlsMode tls);
    // Ends the connection without a word to the screen: a conversation that
    // is abandoned (the screen closes) reports nothing afterwards, not even
    // a notice still waiting to be shown.
    void drop();
    // Puts what the owner asks of the machine (an end to its IDLE) in turn
    // with what the socket said; its actions are carried out like those.
    void ask(std::function<MailActions()> request) { hear(std::move(request)); }
    // Closed, with nothing left to show or to carry out.
    bool isIdle() const;

signals:
    // Show it now; connect directly, the conversation goes on when the slot returns.
    void notice(const MailNotice& notice);
    void listed(const QStringList& keys);
    void fetching(int current, int total);
    void written(qint64 done, qint64 total);  // of the message being sent
    void finished(bool ok);
    void changed();  // the server says the synced folder changed

private:
    // Something the socket said, put to the machine when its turn comes:
    // a step taken here, or bytes (taken from the socket only then) for the
    // machine to read.
    struct News {
        std::function<MailActions()> step;
        std::function<QByteArray()> bytes;
    };

    void hear(std::function<MailActions()> step);
    void read(std::function<QByteArray()> bytes);
    void goOn();
    void readDone(int conversation, const MailActions& actions);
    void carryOut(const MailAction& action);
    void writeMore();
    void showNotice(const MailNotice& notice, int conversation);
    void hangUp();
    void readArrived();
    void timedOut();
    void failed(QAbstractSocket::SocketError error);
    void tlsFailed();

    MailSession& m_session;
    const ConnectionSettings m_settings;
    QSslSocket* m_socket;
    QTimer m_timer;
    QTimer m_renewal;  // of a wait the machine may keep up for long (IDLE)
    QString m_host;
    bool m_connecting = false;
    bool m_handshaking = false;
    QStringList m_sslErrors;
    qint64 m_done = 0;
    qint64 m_total = 0;

    std::deque<News> m_news;           // not yet put to the machine
    std::deque<MailAction> m_actions;  // the machine's, not yet carried out
    bool m_noticeUp = false;           // a notice is waiting to be shown or being shown
    bool m_goingOn = false;            // inside goOn(): news waits for that loop
    bool m_reading = false;            // the machine reads on the worker: news waits for it
    Worker m_reader;
    int m_conversation = 0;            // counts drop()s: a notice of an older one is not shown
    std::shared_ptr<MailData> m_data;  // what is left of a long Send
};
