#include "mail/MailConnection.h"

#include "mail/MailTexts.h"

#include <QPointer>
#include <QSignalBlocker>
#include <QSslSocket>

namespace {

// A long Send is written a slice at a time: the next once the socket has
// passed all but this much of the last to the system, whose own buffer
// keeps the connection busy meanwhile. So the program holds about one
// slice of the message, never the whole.
constexpr qint64 kWriteAhead = qint64(64) * 1024;
// An IMAP server may end an IDLE left alone for 30 minutes.
constexpr std::chrono::minutes kQuietRenewal{25};

int wholeSeconds(std::chrono::milliseconds limit)
{
    return int((limit.count() + 999) / 1000);
}

constexpr qint64 kReadBuffer = qint64(256) * 1024;
// A machine that reads alone still reads a short arrival here: in less time
// than the hops to the worker and back would take (a sync with nothing new
// is a few short answers).
constexpr qsizetype kReadHere = qsizetype(64) * 1024;

}  // namespace

MailConnection::MailConnection(MailSession& session, const ConnectionSettings& settings, QObject* parent)
    : QObject(parent)
    , m_session(session)
    , m_settings(settings)
    , m_socket(new QSslSocket(this))
{
    if (const std::optional<QSslConfiguration> config = m_settings.sslConfiguration())
        m_socket->setSslConfiguration(*config);
    // What the server sends faster than the machine reads stays with the
    // system, so one arrival is never more than this much.
    m_socket->setReadBufferSize(kReadBuffer);
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &MailConnection::timedOut);
    m_renewal.setSingleShot(true);
    connect(&m_renewal, &QTimer::timeout, this, [this] {
        hear([this] { return m_session.waitsQuietly() ? m_session.timedOut(QString()) : MailActions(); });
    });
    connect(m_socket, &QSslSocket::connected, this, [this] {
        m_connecting = false;
        m_timer.start(m_settings.answerLimit);
        hear([this, local = m_socket->localAddress(), loopback = m_socket->peerAddress().isLoopback()] {
            m_session.connected(local, loopback);
            return MailActions();
        });
    });
    connect(m_socket, &QSslSocket::encrypted, this, [this] {
        m_handshaking = false;
        m_timer.start(m_settings.answerLimit);
        hear([this] { return m_session.tlsReady(); });
    });
    connect(m_socket, &QSslSocket::sslErrors, this, [this](const QList<QSslError>& errors) {
        for (const QSslError& e : errors)
            m_sslErrors << e.errorString();
    });
    connect(m_socket, &QSslSocket::readyRead, this, &MailConnection::readArrived);
    // Progress of a long write is no silence.
    connect(m_socket, &QSslSocket::bytesWritten, this, [this](qint64 n) {
        if (m_timer.isActive())
            m_timer.start(m_settings.answerLimit);
        if (m_total > 0) {
            m_done = std::min(m_total, m_done + n);
            emit written(m_done, m_total);
            if (m_done == m_total)
                m_total = 0;
        }
        writeMore();
    });
    connect(m_socket, &QSslSocket::encryptedBytesWritten, this, &MailConnection::writeMore);
    connect(m_socket, &QSslSocket::disconnected, this, [this] {
        if (!m_sslErrors.isEmpty())
            return tlsFailed();
        // Taken now: the machine may hear of it only after a notice.
        read([rest = m_socket->readAll()] { return rest; });
        hear([this] { return m_session.closed(); });
    });
    connect(m_socket, &QSslSocket::errorOccurred, this, &MailConnection::failed);
}

MailConnection::~MailConnection()
{
    drop();
}

void MailConnection::open(const QString& host, quint16 port, TlsMode tls)
{
    drop();
    m_host = host;
    m_sslErrors.clear();
    m_total = 0;
    m_connecting = true;
    m_handshaking = tls == TlsMode::Implicit;
    m_timer.start(m_settings.connectLimit);
    if (m_handshaking)
        m_socket->connectToHostEncrypted(host, port);
    else
        m_socket->connectToHost(host, port);
}

void MailConnection::drop()
{
    ++m_conversation;
    // The machine's owner may begin anew as soon as this returns: what the
    // machine is reading (one arrival, read in step with its size) is read
    // to the end first, and what it answers is not carried out.
    m_reader.finish();
    m_reading = false;
    m_news.clear();
    m_actions.clear();
    m_noticeUp = false;
    hangUp();
}

void MailConnection::hangUp()
{
    m_data.reset();
    m_timer.stop();
    m_renewal.stop();
    const QSignalBlocker quiet(m_socket);
    m_socket->abort();
}

bool MailConnection::isIdle() const
{
    return m_socket->state() == QAbstractSocket::UnconnectedState && !m_noticeUp && !m_reading && m_news.empty()
           && m_actions.empty();
}

void MailConnection::hear(std::function<MailActions()> step)
{
    m_news.push_back({std::move(step), {}});
    goOn();
}

void MailConnection::read(std::function<QByteArray()> bytes)
{
    m_news.push_back({{}, std::move(bytes)});
    goOn();
}

// The machine hears the next news only when every action it answered the
// last one with is carried out, never while a notice is up, and never while
// it reads.
void MailConnection::goOn()
{
    // A screen's slot may open a window of its own inside an action; what
    // the socket says meanwhile waits for this loop.
    if (m_goingOn)
        return;
    m_goingOn = true;
    while (!m_noticeUp && !m_reading) {
        if (!m_actions.empty()) {
            const MailAction action = std::move(m_actions.front());
            m_actions.pop_front();
            carryOut(action);
            continue;
        }
        if (m_news.empty())
            break;
        const News news = std::move(m_news.front());
        m_news.pop_front();
        MailActions actions;
        if (news.step) {
            actions = news.step();
        } else if (const QByteArray bytes = news.bytes(); m_session.readsAlone() && bytes.size() > kReadHere) {
            m_reading = true;
            m_reader.post(
                [&session = m_session, bytes] { return session.feed(bytes); }, this,
                [this, conversation = m_conversation](const MailActions& actions) { readDone(conversation, actions); });
        } else if (!bytes.isEmpty()) {
            actions = m_session.feed(bytes);
        }
        m_actions.insert(m_actions.end(), actions.begin(), actions.end());
    }
    m_goingOn = false;
    if (m_reading)
        return;
    // A quiet wait is renewed a while after it began, however much the server said meanwhile.
    if (!m_session.waitsQuietly())
        m_renewal.stop();
    else if (!m_renewal.isActive())
        m_renewal.start(kQuietRenewal);
}

void MailConnection::readDone(int conversation, const MailActions& actions)
{
    // Not when the conversation was dropped meanwhile.
    if (!m_reading || conversation != m_conversation)
        return;
    m_reading = false;
    m_actions.insert(m_actions.end(), actions.begin(), actions.end());
    goOn();
}

void MailConnection::readArrived()
{
    // An arrival is no silence, even while the machine does not hear of it yet.
    if (m_timer.isActive())
        m_timer.start(m_settings.answerLimit);
    read([this] {
        // An earlier hearing may have taken these bytes already.
        return m_socket->isOpen() ? m_socket->readAll() : QByteArray();
    });
}

void MailConnection::failed(QAbstractSocket::SocketError error)
{
    if (error == QAbstractSocket::SslHandshakeFailedError || !m_sslErrors.isEmpty())
        return tlsFailed();
    hear([this, error, text = m_socket->errorString()] { return m_session.socketError(error, text); });
}

void MailConnection::tlsFailed()
{
    const QString reason = m_sslErrors.isEmpty() ? m_socket->errorString() : m_sslErrors.join(QStringLiteral("; "));
    m_sslErrors.clear();
    hear([this, reason] {
        MailActions out = m_session.tlsFailed(MailTexts::secureConnectionFailed(m_host, reason + QLatin1Char('.')));
        out.push_back(MailAction::close());
        return out;
    });
}

void MailConnection::timedOut()
{
    hear([this] {
        // Silence is what a quiet wait expects: no end to it.
        if (m_session.waitsQuietly() && m_socket->state() == QAbstractSocket::ConnectedState) {
            m_timer.start(m_settings.answerLimit);
            return MailActions();
        }
        const QString what = m_connecting ? MailTexts::noConnection(m_host, wholeSeconds(m_settings.connectLimit))
                                          : MailTexts::noAnswer(m_host, wholeSeconds(m_settings.answerLimit),
                                                                m_handshaking ? QStringLiteral("the secure connection")
                                                                              : m_session.waitingFor());
        MailActions out = m_session.timedOut(what);
        out.push_back(MailAction::close());
        return out;
    });
}

void MailConnection::writeMore()
{
    // Over TLS a slice leaves the socket's own buffer as soon as it is
    // encrypted, so what waits for the wire is counted in both.
    while (m_data && m_socket->bytesToWrite() + m_socket->encryptedBytesToWrite() < kWriteAhead) {
        const QByteArray slice = m_data->next();
        if (!slice.isEmpty()) {
            m_socket->write(slice);
            continue;
        }
        if (const std::optional<MailNotice> failure = std::exchange(m_data, nullptr)->failure())
            hear([this, notice = *failure] { return m_session.dataFailed(notice); });
    }
}

void MailConnection::carryOut(const MailAction& action)
{
    switch (action.kind) {
    case MailAction::Kind::Send:
        if (action.tracked) {
            m_done = 0;
            m_total = action.data ? action.data->size() : action.bytes.size();
            emit written(0, m_total);
        }
        m_socket->write(action.bytes);
        m_data = action.data;
        writeMore();
        break;
    case MailAction::Kind::StartTls:
        m_handshaking = true;
        m_socket->startClientEncryption();
        break;
    case MailAction::Kind::Close:
        // The machine has already drawn its conclusion; the close itself
        // must not be reported back to it as news.
        hangUp();
        break;
    case MailAction::Kind::Notify:
        // Shown once the socket's handler has returned; until the box is
        // closed the machine hears nothing.
        m_noticeUp = true;
        QMetaObject::invokeMethod(
            this, [this, notice = action.notice, conversation = m_conversation] { showNotice(notice, conversation); },
            Qt::QueuedConnection);
        break;
    case MailAction::Kind::List:
        emit listed(action.keys);
        break;
    case MailAction::Kind::Progress:
        emit fetching(action.current, action.total);
        break;
    case MailAction::Kind::Changed:
        emit changed();
        break;
    case MailAction::Kind::Finished:
        m_timer.stop();
        m_renewal.stop();
        emit finished(action.ok);
        break;
    }
}

void MailConnection::showNotice(const MailNotice& shown, int conversation)
{
    if (conversation != m_conversation)
        return;
    const QPointer<MailConnection> alive(this);
    emit notice(shown);
    if (!alive || conversation != m_conversation)
        return;
    m_noticeUp = false;
    goOn();
}
