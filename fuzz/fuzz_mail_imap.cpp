// Arbitrary server bytes against one IMAP sync with every step in its plan.
#include "FuzzPieces.h"

#include "mail/ImapSession.h"

#include <QHostAddress>

#include <algorithm>
#include <cstdlib>
#include <utility>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    ImapSession session;
    // A small limit, so that responses past it are reached too.
    session.setResponseLimit(4096);
    // Small header limits, so that cut blocks and UIDs left for the next sync are reached too.
    session.setHeaderLimits(300, 2048);
    // Windows of one held message, so that flags without modification sequences come in several.
    session.setFlagWindow(1);
    const QByteArray sent = "Subject: s\r\n\r\nline 1\r\nline 2\r\n";
    const std::vector<ImapFlagChange> changes = {{12, "\\Seen", true}, {11, "\\Deleted", true}};
    ImapPlan plan{"INBOX",
                  7,
                  11,
                  changes,
                  true,
                  12,
                  {{10, "Work"}, {9, "Entwürfe"}},
                  {{"Sent", sent}},
                  true,
                  5000,
                  {{10, {}}, {11, {"\\Seen"}}}};
    session.start(QStringLiteral("anna"), QStringLiteral("secret"), plan);
    session.connected(QHostAddress::LocalHost, true);
    int finished = 0;
    bool tls = false;
    const auto take = [&](const MailActions& actions) {
        for (const MailAction& a : actions) {
            if (finished)
                std::abort();
            // Every command is one line: nothing the server said can start another.
            // The message of an APPEND goes only after its command.
            if (a.kind == MailAction::Kind::Send && a.bytes != sent + "\r\n"
                && (!a.bytes.endsWith("\r\n") || a.bytes.indexOf('\n') != a.bytes.size() - 1))
                std::abort();
            tls = tls || a.kind == MailAction::Kind::StartTls;
            if (a.kind == MailAction::Kind::Finished)
                ++finished;
        }
    };
    for (const QByteArray& piece : fuzzPieces(data, size)) {
        take(session.feed(piece));
        // A quiet IDLE is renewed, or ended.
        if (session.waitsQuietly())
            take(piece.size() % 2 ? session.timedOut(QStringLiteral("quiet")) : session.stopIdle());
        if (std::exchange(tls, false))
            take(session.tlsReady());
    }
    take(session.closed());
    const ImapResult& r = session.result();
    // Nothing of the plan's numbers counts under another UIDVALIDITY.
    if (r.uidValidityChanged && (!r.knownFlags.empty() || r.body || r.moved[0].outcome != ImapDone::Outcome::NotTried))
        std::abort();
    // What is held of new messages stays within the limits, in UID order, and holds no UID left for the next sync.
    if (!std::is_sorted(r.headers.begin(), r.headers.end(), [](auto& a, auto& b) { return a.uid < b.uid; }))
        std::abort();
    qsizetype held = 0;
    for (const ImapHeader& h : r.headers) {
        if (h.uid <= plan.lastKnownUid && r.uidValidity == plan.knownUidValidity)
            std::abort();
        if (h.fields.size() > 300 || (r.firstLeft != 0 && h.uid >= r.firstLeft))
            std::abort();
        held += h.fields.size();
    }
    if (held > 2048)
        std::abort();
    // Whatever a folder is called, its shown name goes back out as the same name.
    for (const ImapFolder& f : r.folders) {
        const QString shown = imapFolderName(f.name);
        if (imapFolderName(imapFolderWire(shown)) != shown)
            std::abort();
    }
    if (finished != 1 || session.isActive())
        std::abort();
    return 0;
}
