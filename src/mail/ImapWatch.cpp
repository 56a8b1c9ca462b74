#include "mail/ImapWatch.h"

ImapWatch::ImapWatch(QObject* parent)
    : QObject(parent)
{
}

ImapWatch::~ImapWatch() = default;

void ImapWatch::start(const ConnectionSettings& settings, const QString& host, quint16 port, TlsMode tls,
                      const QString& userName, const QString& password, ImapPlan plan)
{
    if (m_connection)
        m_connection->drop();
    plan.idle = true;
    m_connection = std::make_unique<MailConnection>(m_session, settings, nullptr);
    connect(m_connection.get(), &MailConnection::changed, this, &ImapWatch::folderChanged);
    connect(m_connection.get(), &MailConnection::notice, this, &ImapWatch::notice);
    connect(m_connection.get(), &MailConnection::finished, this, &ImapWatch::finished);
    m_session.start(userName, password, plan, host, tls);
    m_connection->open(host, port, tls);
}

void ImapWatch::stop()
{
    if (m_connection)
        m_connection->ask([this] { return m_session.isActive() ? m_session.stopIdle() : MailActions(); });
}
