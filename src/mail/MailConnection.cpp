#include "mail/MailConnection.h"

#include "kit/MsgBox.h"
#include "mail/MailTexts.h"

#include <QSignalBlocker>
#include <QSslConfiguration>
#include <QSslSocket>

namespace {

// A long Send is written a slice at a time: the next once the socket holds
// less than this, so that it never holds the message whole.
constexpr qint64 kWriteAhead = 2 * 1024 * 1024;

std::chrono::milliseconds connectLimit = MailConnection::kConnectLimit;
std::chrono::milliseconds silenceLimit = MailConnection::kSilenceLimit;
QList<QSslCertificate> extraCaCertificates;

MsgIcon boxIcon(MailIcon icon)
{
    switch (icon) {
    case MailIcon::None:
        return MsgIcon::None;
    case MailIcon::Information:
        return MsgIcon::Information;
    case MailIcon::Exclamation:
        return MsgIcon::Exclamation;
    case MailIcon::Critical:
        return MsgIcon::Critical;
    }
    return MsgIcon::None;
}

int wholeSeconds(std::chrono::milliseconds limit)
{
    return int((limit.count() + 999) / 1000);
}

}  // namespace

void MailConnection::setTimeLimits(std::chrono::milliseconds connect, std::chrono::milliseconds silence)
{
    connectLimit = connect;
    silenceLimit = silence;
}

void MailConnection::setExtraCaCertificates(const QList<QSslCertificate>& certificates)
{
    extraCaCertificates = certificates;
}

void MailConnection::showNotice(const MailNotice& notice)
{
    MsgBox(notice.text, MsgButtons::OKOnly, boxIcon(notice.icon), notice.title);
}

MailConnection::MailConnection(MailSession& session, QObject* parent)
    : QObject(parent)
    , m_session(session)
    , m_socket(new QSslSocket(this))
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &MailConnection::timedOut);
    connect(m_socket, &QSslSocket::connected, this, [this] {
        m_connecting = false;
        m_timer.start(silenceLimit);
        m_session.connected(m_socket->localAddress(), m_socket->peerAddress().isLoopback());
    });
    connect(m_socket, &QSslSocket::encrypted, this, [this] {
        m_handshaking = false;
        m_timer.start(silenceLimit);
        carryOut(m_session.tlsReady());
    });
    connect(m_socket, &QSslSocket::sslErrors, this, [this](const QList<QSslError>& errors) {
        for (const QSslError& e : errors)
            m_sslErrors << e.errorString();
    });
    connect(m_socket, &QSslSocket::readyRead, this, &MailConnection::readArrived);
    // Progress of a long write is no silence.
    connect(m_socket, &QSslSocket::bytesWritten, this, [this](qint64 n) {
        if (m_timer.isActive())
            m_timer.start(silenceLimit);
        if (m_total > 0) {
            m_done = std::min(m_total, m_done + n);
            emit written(m_done, m_total);
            if (m_done == m_total)
                m_total = 0;
        }
        writeMore();
    });
    connect(m_socket, &QSslSocket::disconnected, this, [this] {
        if (!m_sslErrors.isEmpty())
            return tlsFailed();
        carryOut(m_session.feed(m_socket->readAll()));
        carryOut(m_session.closed());
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
    if (!extraCaCertificates.isEmpty()) {
        QSslConfiguration config = QSslConfiguration::defaultConfiguration();
        config.addCaCertificates(extraCaCertificates);
        m_socket->setSslConfiguration(config);
    }
    m_connecting = true;
    m_handshaking = tls == TlsMode::Implicit;
    m_timer.start(connectLimit);
    if (m_handshaking)
        m_socket->connectToHostEncrypted(host, port);
    else
        m_socket->connectToHost(host, port);
}

void MailConnection::drop()
{
    m_data.reset();
    m_timer.stop();
    const QSignalBlocker quiet(m_socket);
    m_socket->abort();
}

bool MailConnection::isIdle() const
{
    return m_socket->state() == QAbstractSocket::UnconnectedState;
}

void MailConnection::readArrived()
{
    // While a message box is open inside this handler, the socket holds back
    // further readyRead signals; what arrived meanwhile is taken here.
    while (m_socket->isOpen() && m_socket->bytesAvailable() > 0) {
        if (m_timer.isActive())
            m_timer.start(silenceLimit);
        carryOut(m_session.feed(m_socket->readAll()));
    }
}

void MailConnection::failed(QAbstractSocket::SocketError error)
{
    if (error == QAbstractSocket::SslHandshakeFailedError || !m_sslErrors.isEmpty())
        return tlsFailed();
    carryOut(m_session.socketError(error, m_socket->errorString()));
}

void MailConnection::tlsFailed()
{
    const QString reason = m_sslErrors.isEmpty() ? m_socket->errorString() : m_sslErrors.join(QStringLiteral("; "));
    m_sslErrors.clear();
    carryOut(m_session.tlsFailed(MailTexts::secureConnectionFailed(m_host, reason + QLatin1Char('.'))));
    drop();
}

void MailConnection::timedOut()
{
    const QString what = m_connecting ? MailTexts::noConnection(m_host, wholeSeconds(connectLimit))
                                      : MailTexts::noAnswer(m_host, wholeSeconds(silenceLimit),
                                                            m_handshaking ? QStringLiteral("the secure connection")
                                                                          : m_session.waitingFor());
    carryOut(m_session.timedOut(what));
    drop();
}

void MailConnection::writeMore()
{
    while (m_data && m_socket->bytesToWrite() < kWriteAhead) {
        const QByteArray slice = m_data->next();
        if (!slice.isEmpty()) {
            m_socket->write(slice);
            continue;
        }
        const std::optional<MailNotice> failure = std::exchange(m_data, nullptr)->failure();
        if (failure)
            carryOut(m_session.dataFailed(*failure));
    }
}

void MailConnection::carryOut(const MailActions& actions)
{
    for (const MailAction& action : actions) {
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
            drop();
            break;
        case MailAction::Kind::Notify:
            showNotice(action.notice);
            break;
        case MailAction::Kind::List:
            emit listed(action.keys);
            break;
        case MailAction::Kind::Progress:
            emit fetching(action.current, action.total);
            break;
        case MailAction::Kind::Finished:
            m_timer.stop();
            emit finished(action.ok);
            break;
        }
    }
}
