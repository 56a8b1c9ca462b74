#include "mail/ImapSentCopy.h"
#include "mail/ImapCache.h"
#include "store/StoreError.h"

#include <QTimer>

namespace {
const QString kNoSentFolder = QStringLiteral("the server has no Sent folder");
const QString kLoginInClear = QStringLiteral("the server offers no secure connection for the login");
const QString kNotSaid = QStringLiteral("the conversation with the server ended early");
}  // namespace

ImapSentCopy::ImapSentCopy(const ConnectionSettings& settings, QObject* parent)
    : QObject(parent)
    , m_link(new MailConnection(m_session, settings, this))
{
    // Heard, not shown: the send screen says it in its status line.
    connect(m_link, &MailConnection::notice, this, [this](const MailNotice& n) { m_said = n.text; });
    connect(m_link, &MailConnection::finished, this, &ImapSentCopy::ended);
}

ImapSentCopy::~ImapSentCopy()
{
    m_link->drop();
}

void ImapSentCopy::start(const ImapAccount& account, ImapCache* cache, const QByteArray& message)
{
    m_waiting << message;
    if (isRunning())
        return;
    m_account = account;
    m_cache = cache;
    m_phase = Phase::Folders;
    run(held("INBOX"));
}

void ImapSentCopy::stop()
{
    m_link->drop();
    m_phase = Phase::Idle;
    m_waiting.clear();
}

QByteArray ImapSentCopy::sentFolder(const std::vector<ImapFolder>& folders)
{
    QByteArray named;
    for (const ImapFolder& f : folders) {
        if (!f.selectable)
            continue;
        if (f.sent)
            return f.name;
        const QByteArray last = f.delimiter.isEmpty() ? f.name : f.name.split(f.delimiter.at(0)).last();
        if (named.isEmpty() && last == "Sent")
            named = f.name;
    }
    return named;
}

ImapPlan ImapSentCopy::held(const QByteArray& folder) const
{
    ImapPlan plan;
    plan.folder = folder;
    try {
        if (m_cache)
            plan = m_cache->plan(folder);
    } catch (const StoreError&) {
        // Asked whole, as if nothing were held.
    }
    return plan;
}

// What the sync found goes into the cache; one that cannot take it now
// catches up at the check screen's next sync.
void ImapSentCopy::keep(const ImapPlan& plan)
{
    try {
        if (m_cache)
            m_cache->apply(plan, m_session.result());
    } catch (const StoreError&) {
    }
}

void ImapSentCopy::run(const ImapPlan& plan)
{
    m_plan = plan;
    m_said.clear();
    m_session.allowLoginInClear(m_account.loginInClear);
    m_session.setOfferedStartTlsBefore(m_account.offeredStartTls);
    m_session.setOAuth(m_account.oauth);
    m_session.start(m_account.userName, m_account.password, m_plan, m_account.host, m_account.tls);
    m_link->open(m_account.host, m_account.port, m_account.tls);
}

void ImapSentCopy::ended(bool ok)
{
    if (ok)
        keep(m_plan);
    const ImapResult& found = m_session.result();
    if (m_phase == Phase::Append) {
        // The copies count as the server said, though the conversation failed after.
        const auto refused = std::find_if(found.appended.begin(), found.appended.end(),
                                          [](const ImapDone& d) { return d.outcome != ImapDone::Outcome::Done; });
        if (refused == found.appended.end())
            return done(QString());
        if (!refused->reason.isEmpty())
            return done(refused->reason);
    }
    if (!ok || m_phase == Phase::Append)
        return done(m_session.refusedInClear() ? kLoginInClear : m_said.isEmpty() ? kNotSaid : m_said);
    const QByteArray sent = sentFolder(found.folders);
    if (sent.isEmpty())
        return done(kNoSentFolder);
    // The next conversation starts once the connection is done with this one.
    QTimer::singleShot(0, this, [this, sent] { appendTo(sent); });
}

void ImapSentCopy::appendTo(const QByteArray& folder)
{
    if (m_phase != Phase::Folders)
        return;  // given up meanwhile
    ImapPlan plan = held(folder);
    for (const QByteArray& message : std::as_const(m_waiting))
        plan.appends.push_back({folder, message});
    m_waiting.clear();
    m_phase = Phase::Append;
    run(plan);
}

void ImapSentCopy::done(const QString& failure)
{
    const QString folder = m_phase == Phase::Append ? QString::fromUtf8(m_plan.folder) : QString();
    if (m_phase == Phase::Folders)
        m_waiting.clear();  // the messages of this batch, none given to the server
    m_phase = Phase::Idle;
    emit finished(folder, failure);
    // Those sent meanwhile go in a round of their own.
    QTimer::singleShot(0, this, [this] {
        if (!isRunning() && !m_waiting.isEmpty()) {
            m_phase = Phase::Folders;
            run(held("INBOX"));
        }
    });
}
