#include "mail/Pop3Check.h"

#include "kit/StoreAccess.h"
#include "mail/HostPort.h"
#include "mail/MailConnection.h"
#include "mail/Pop3Session.h"

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {
// How often a running check commits what it has kept.
constexpr int kBatchEveryMs = 250;
}  // namespace

Pop3Check::Pop3Check(Pop3Session& session, MailConnection& link, MailStore& store)
    : m_session(session)
    , m_link(link)
    , m_store(store)
    , m_keeper(store, [this](const StoreError& error) { emit storeFailed(error); })
{
    m_batch.setSingleShot(true);
    connect(&m_batch, &QTimer::timeout, this, [this] { commit(false); });
    // A batch the store has flushed already holds its messages' texts in
    // memory until its rows are in: it goes in as soon as the window is free.
    const auto soon = [this] {
        if (m_store.isOpen() && m_store.batchWaiting())
            m_batch.start(0);
        else if (!m_batch.isActive())
            m_batch.start(kBatchEveryMs);
    };
    connect(&link, &MailConnection::listed, this, soon);
    connect(&link, &MailConnection::fetching, this, [this, soon](int current, int total) {
        m_progress = QStringLiteral("Message %1 of %2").arg(current).arg(total);
        soon();
    });
    connect(&link, &MailConnection::finished, this, [this] {
        m_progress.clear();
        commit(true);
        if (!m_store.isOpen())
            return emit finished();
        guarded([&] {
            if (const std::optional<QSet<QString>>& listed = m_session.listedKeys())
                m_store.forgetRemoved(*listed);
        });
        if (m_session.offeredStls())
            guarded([&] { m_store.noteStartTls(m_host); });
#ifdef __GLIBC__
        // What the check's threads freed stays with the allocator, each
        // thread's in an arena of its own, and every check makes new ones:
        // given back now, the next check does not start above this one's peak.
        malloc_trim(0);
#endif
        emit finished();
    });
}

template <class Routine>
bool StoreKeeper::guarded(Routine routine)
{
    return storeGuard(routine, m_failed);
}

void StoreKeeper::begin()
{
    guarded([&] { m_store.beginMessage(); });
}

void StoreKeeper::write(const QByteArray& piece)
{
    m_store.appendMessage(piece);
}

bool StoreKeeper::end(const QString& key)
{
    bool kept = false;
    guarded([&] { kept = m_store.endMessage(key); });
    return kept;
}

void StoreKeeper::drop()
{
    m_store.dropMessage();
}

template <class Routine>
bool Pop3Check::guarded(Routine routine)
{
    return storeGuard(routine, [this](const StoreError& error) { emit storeFailed(error); });
}

bool Pop3Check::start(const QString& host, quint16 port, const QString& userName, const QString& password)
{
    QSet<QString> known;
    bool inClear = false;
    bool offeredBefore = false;
    if (!m_store.isOpen() || !guarded([&] {
            known = m_store.keys();
            inClear = m_store.mayLogInClear(host);
            offeredBefore = m_store.offeredStartTls(host);
        }))
        return false;
    m_host = host;
    m_session.keepIn(&m_keeper, std::move(known));
    m_session.allowLoginInClear(inClear);
    m_session.setOfferedStlsBefore(offeredBefore);
    m_session.start(userName, password, host, pop3TlsMode(port));
    m_link.open(host, port, pop3TlsMode(port));
    return true;
}

void Pop3Check::stop()
{
    m_batch.stop();
    if (m_store.isOpen())
        guarded([&] { m_store.commit(); });
}

void Pop3Check::commit(bool all)
{
    m_batch.stop();
    QList<KeptMessage> messages;
    if (m_store.isOpen())
        guarded([&] { messages = all ? m_store.commit() : m_store.commitWritten(); });
    emit kept(messages, m_progress);
    // Messages still being written go in with the next batch.
    if (!all && !m_progress.isEmpty())
        m_batch.start(kBatchEveryMs);
}
