#include "mail/ImapMailbox.h"

#include <QSet>

#include <algorithm>

namespace {
bool sameChange(const ImapFlagChange& a, const ImapFlagChange& b)
{
    return a.uid == b.uid && a.flag == b.flag && a.add == b.add;
}
}  // namespace

std::vector<ImapCachedMessage> ImapMailbox::listed(const QByteArray& folder) const
{
    std::vector<ImapCachedMessage> held = m_cache.messages(folder);
    const auto found = m_pending.constFind(folder);
    if (found == m_pending.cend())
        return held;
    const ImapPlan& pending = *found;
    std::erase_if(held, [&](const ImapCachedMessage& m) {
        return std::any_of(pending.changes.begin(), pending.changes.end(),
                           [&](const ImapFlagChange& c) { return c.uid == m.uid && c.flag == "\\Deleted" && c.add; })
               || std::any_of(pending.moves.begin(), pending.moves.end(),
                              [&](const ImapMove& move) { return move.uid == m.uid; });
    });
    return held;
}

ImapMailbox::Threads ImapMailbox::threads(const QByteArray& folder, const QList<KeptMessage>& sent) const
{
    Threads out;
    QSet<QString> ids;
    for (const ImapCachedMessage& m : listed(folder)) {
        out.listed.append(
            {QString::number(m.uid), m.from, m.subject, m.date, m.size, m.messageId, m.inReplyTo, m.references});
        if (!m.messageId.isEmpty())
            ids.insert(m.messageId);
    }
    for (const KeptMessage& m : sent)
        if (m.messageId.isEmpty() || !ids.contains(m.messageId))
            out.beside.append(m);
    return out;
}

void ImapMailbox::remove(const QByteArray& folder, const QList<quint32>& uids)
{
    ImapPlan& pending = m_pending[folder];
    for (quint32 uid : uids)
        pending.changes.push_back({uid, "\\Deleted", true});
    pending.expunge = pending.expunge || !uids.isEmpty();
}

void ImapMailbox::move(const QByteArray& folder, const QList<quint32>& uids, const QByteArray& to)
{
    if (to.isEmpty() || to == folder)
        return;
    ImapPlan& pending = m_pending[folder];
    for (quint32 uid : uids)
        pending.moves.push_back({uid, to});
}

ImapMailbox::Opened ImapMailbox::open(const QByteArray& folder, quint32 uid)
{
    Opened out;
    out.raw = m_cache.body(folder, uid);
    const std::optional<QByteArrayList> flags = m_cache.flags(folder, uid);
    const bool seen = !flags || flags->contains("\\Seen");
    ImapPlan& pending = m_pending[folder];
    if (!seen) {
        const ImapFlagChange change{uid, "\\Seen", true};
        if (std::none_of(pending.changes.begin(), pending.changes.end(),
                         [&](const ImapFlagChange& c) { return sameChange(c, change); }))
            pending.changes.push_back(change);
    }
    if (out.raw.isEmpty())
        pending.bodyUid = uid;
    out.sync = out.raw.isEmpty() || !seen;
    return out;
}

ImapPlan ImapMailbox::startSync(const QByteArray& folder)
{
    ImapPlan plan = m_cache.plan(folder);
    const ImapPlan& asked = m_pending[folder];
    plan.changes = asked.changes;
    plan.expunge = asked.expunge;
    plan.bodyUid = asked.bodyUid;
    plan.moves = asked.moves;
    m_syncing = plan;
    return plan;
}

QStringList ImapMailbox::finishSync(bool ok, const ImapResult& found)
{
    if (!ok)
        return {};
    m_cache.apply(m_syncing, found);
    ImapPlan& pending = m_pending[m_syncing.folder];
    if (found.uidValidityChanged) {
        // Numbers of a folder made anew name other messages now.
        pending = ImapPlan();
        return {};
    }
    std::erase_if(pending.changes, [this](const ImapFlagChange& c) {
        return std::any_of(m_syncing.changes.begin(), m_syncing.changes.end(),
                           [&](const ImapFlagChange& done) { return sameChange(c, done); });
    });
    if (m_syncing.expunge)
        pending.expunge = false;
    if (pending.bodyUid == m_syncing.bodyUid)
        pending.bodyUid = 0;
    // A move the server took, or copied, is done (another copy would be a
    // second message there); one refused is done too. One the conversation
    // never came to waits.
    QStringList refused;
    for (size_t i = 0; i < m_syncing.moves.size() && i < found.moved.size(); ++i) {
        const ImapDone& done = found.moved[i];
        if (done.outcome == ImapDone::Outcome::NotTried)
            continue;
        const ImapMove& asked = m_syncing.moves[i];
        std::erase_if(pending.moves, [&](const ImapMove& m) { return m.uid == asked.uid && m.to == asked.to; });
        if (done.outcome == ImapDone::Outcome::Refused)
            refused << done.reason;
    }
    return refused;
}
