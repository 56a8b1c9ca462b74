// IMAP sync of a 10,000-message folder from a local dovecot, as the program
// runs it (ImapCache::plan, ImapSession over MailConnection,
// ImapCache::apply), next to Python's imaplib sending the very commands our
// session sent in the same round over the same server, in interleaved
// rounds: the first sync into an empty cache, then a sync with nothing new
// with QRESYNC, with CONDSTORE alone and with neither (dovecot's
// capabilities cut down for the last two). The new headers' search
// entries, which the check screen puts on a thread of its own after the
// sync, have a row of their own. Needs root (dovecot hands the mailbox to
// its own user).
//
//   TESSALY_BENCH_ROUNDS=5 bench_imap
#include "MailServers.h"
#include "SideBySide.h"
#include "kit/Clock.h"

#include "kit/MsgBox.h"
#include "mail/ImapCache.h"
#include "mail/ImapSession.h"
#include "mail/MailConnection.h"
#include "store/Connection.h"
#include "store/SearchIndex.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QTemporaryDir>

#include <memory>

namespace {

constexpr int kMessages = 10000;
const QString kUser = QStringLiteral("anna");
const QString kPassword = QStringLiteral("secret");

// About 2 KB, the header the list shows and a plain text.
QByteArray message(int n)
{
    QByteArray text;
    for (int i = 0; i < 25; ++i)
        text += "Line " + QByteArray::number(i) + " of message " + QByteArray::number(n)
                + ", as plain as most mail is.\r\n";
    return "Message-ID: <" + QByteArray::number(n)
           + "@bench.example.org>\r\nFrom: Anna Example <anna@example.org>\r\nTo: bob@example.org\r\n"
             "Subject: Report number "
           + QByteArray::number(n) + "\r\nDate: Tue, 5 Mar 2002 14:03:09 +0100\r\n\r\n" + text;
}

// About 1 MB: the same header and 13,000 lines of text.
QByteArray largeMessage()
{
    QByteArray out = message(0);
    out.reserve(1 << 20);
    while (out.size() < (1 << 20))
        out += "A long message's line, as plain as the rest of it, written again and again.\r\n";
    return out;
}

// imaplib logs in (LOGIN), sends each command given (the tag left out) and
// logs out; it says its own wall and CPU time from before the connection to
// after LOGOUT, so the interpreter's start is not counted.
const char kPeer[] = R"PY(import imaplib, sys, time
t, c = time.perf_counter(), time.process_time()
m = imaplib.IMAP4('127.0.0.1', int(sys.argv[1]))
m.login('anna', 'secret')
for line in sys.argv[2:]:
    verb, _, rest = line.partition(' ')
    if verb == 'UID':
        sub, _, rest = rest.partition(' ')
        typ, _ = m.uid(sub, rest)
    elif verb == 'SELECT':
        typ, _ = m.select(rest)
    elif verb == 'ENABLE':
        typ, _ = m.enable(rest)
    elif verb == 'LIST':
        typ, _ = m.list()
    else:
        continue
    if typ != 'OK':
        sys.exit(line + ': ' + typ)
m.logout()
print((time.perf_counter() - t) * 1e3, (time.process_time() - c) * 1e3)
)PY";

// A session that keeps the commands it sent, without their tags, for the peer.
struct RecordingSession : ImapSession {
    QStringList sent;
    MailActions feed(const QByteArray& bytes) override
    {
        MailActions out = ImapSession::feed(bytes);
        for (const MailAction& a : out) {
            if (a.kind == MailAction::Kind::Send && !a.bytes.isEmpty())
                sent << QString::fromLatin1(a.bytes.trimmed()).section(QLatin1Char(' '), 1);
        }
        return out;
    }
};

struct Cache {
    QTemporaryDir dir;
    Connection con;
    ImapCache cache;
    Cache()
    {
        con.Open(dir.filePath(QStringLiteral("Tessaly.mdb")));
        cache.open(con, dir.filePath(QStringLiteral("Mail")));
        QDir().mkpath(spill());
    }
    // Where the check screen has a message too large to hold written as it comes.
    QString spill() const { return dir.filePath(QStringLiteral("Mail/tmp")); }
};

// One sync as the program runs it: from what the cache holds, into it when it
// ended well. The number of new headers, -1 when it failed; `sent` the commands.
// `body`: the UID of a message opened, fetched whole with the sync.
int sync(Cache& c, quint16 port, QStringList* sent = nullptr, quint32 body = 0)
{
    ImapCache& cache = c.cache;
    RecordingSession session;
    session.spillTo(c.spill());
    ImapPlan plan = cache.plan("INBOX");
    plan.bodyUid = body;
    MailConnection connection(session, ConnectionSettings(), nullptr);
    bool ok = false;
    QEventLoop loop;
    QObject::connect(&connection, &MailConnection::finished, &loop, [&](bool done) {
        ok = done;
        loop.quit();
    });
    session.start(kUser, kPassword, plan, QStringLiteral("127.0.0.1"));
    connection.open(QStringLiteral("127.0.0.1"), port, TlsMode::Offered);
    loop.exec();
    if (sent)
        *sent = session.sent;
    if (!ok)
        return -1;
    cache.apply(plan, session.result());
    return int(session.result().headers.size());
}

// What the check screen leaves to a thread of its own after a sync with new
// headers: their search entries.
bool putEntries(Cache& c)
{
    return SearchIndex::putLeftEntries(c.con.handle());
}

// The entries put, next to the sqlite3 tool running the same statements on
// a copy of the store as it was before them.
void putEntriesBeside(Cache& c, Row& entries)
{
    const QString copy = c.dir.filePath(QStringLiteral("before-entries.mdb"));
    const bool copied = copyStore(c.con.handle(), copy);
    const QByteArray statements =
        statementsRun(c.con.handle(), [&] { entries.ours.push_back(runOurs([&] { return putEntries(c); })); });
    Run peer = sqlite3Doing(copy, statements);
    peer.ok = peer.ok && copied;
    entries.peer.push_back(peer);
}

// imaplib sending `commands`: its own times in place of the child's.
Run peer(quint16 port, const QStringList& commands)
{
    QTemporaryFile said;
    said.open();
    Run run = runProgram(QStringList{QStringLiteral("/usr/bin/python3"), QStringLiteral("-c"),
                                     QString::fromLatin1(kPeer), QString::number(port)}
                             + commands,
                         said.fileName());
    const QList<QByteArray> times = said.readAll().trimmed().split(' ');
    run.ok = run.ok && times.size() == 2;
    if (run.ok) {
        run.ms = times[0].toDouble();
        run.cpuMs = times[1].toDouble();
    }
    return run;
}

// What the session sent on the folder, for the row's name.
QString onFolder(const QStringList& sent)
{
    QStringList out;
    for (const QString& c : sent) {
        if (!c.startsWith(QLatin1String("SELECT")) && !c.startsWith(QLatin1String("UID")))
            continue;
        out << (c.contains(QLatin1String(" (UID "))
                    ? c.section(QLatin1String(" (UID "), 0, 0) + QStringLiteral(" (headers)")
                    : c);
    }
    return out.size() > 4 ? out.mid(0, 3).join(QStringLiteral(", ")) + QStringLiteral(", … %1 in all").arg(out.size())
                          : out.join(QStringLiteral(", "));
}

// `count` messages, and `after` behind them.
std::unique_ptr<Pop3TestServer> startServer(const QString& capability, QString* why, int count = kMessages,
                                            const QByteArrayList& after = {})
{
    auto server = std::make_unique<Pop3TestServer>(kUser, kPassword);
    server->setImapCapability(capability);
    for (int n = 1; n <= count; ++n) {
        if (!server->addMessage(message(n), why))
            return nullptr;
    }
    for (const QByteArray& m : after) {
        if (!server->addMessage(m, why))
            return nullptr;
    }
    if (!server->start(why))
        return nullptr;
    if (!server->imapPort()) {
        *why = QStringLiteral("dovecot-imapd is not installed");
        return nullptr;
    }
    return server;
}

void notRun(const QString& work, const QString& why)
{
    std::printf("%s: not run: %s\n", qPrintable(work), qPrintable(why));
    appendToTable(QStringLiteral("| %1 | not run: %2 | | | | | |").arg(work, why));
}

const QString kCode = QStringLiteral("(ImapCache::plan, ImapSession over MailConnection, ImapCache::apply)");
const QString kPeerName = QStringLiteral("imaplib, the same commands");

// Each round a new cache filled by the first sync; imaplib asks for the same headers.
void firstSync(quint16 port)
{
    const QString work = QStringLiteral("IMAP first sync, 10,000 headers into an empty cache ") + kCode;
    Row r, entries;
    QStringList sent;
    for (int i = 0; i < benchRounds(); ++i) {
        auto c = std::make_unique<Cache>();
        r.ours.push_back(runOurs([&] { return sync(*c, port, &sent) == kMessages; }));
        r.peer.push_back(peer(port, sent));
        putEntriesBeside(*c, entries);
    }
    report(work + QStringLiteral(": ") + onFolder(sent), r, kPeerName, QStringLiteral("<= 1.0"),
           QStringLiteral("< 80 MB"));
    report(QStringLiteral("IMAP first sync, then the 10,000 headers' search entries, which the check screen puts "
                          "on a thread of its own after the sync (SearchIndex::putLeftEntries)"),
           entries, QStringLiteral("sqlite3, the same statements"), QStringLiteral("<= 1.0"),
           QStringLiteral("< 80 MB"));
}

// One cache filled once, then synced again and again with nothing new.
void nothingNew(const QString& mode, quint16 port)
{
    const QString work = QStringLiteral("IMAP sync with nothing new, 10,000 held, %1 ").arg(mode) + kCode;
    Cache c;
    if (sync(c, port) != kMessages || !putEntries(c))
        return notRun(work, QStringLiteral("the first sync did not hold every header"));
    // Untimed: dovecot's first answer after a first sync is slow (0.8 s) with
    // whichever client asks, as it updates its own caches of the folder.
    sync(c, port);
    Row r;
    QStringList sent;
    for (int i = 0; i < benchRounds(); ++i) {
        r.ours.push_back(runOurs([&] { return sync(c, port, &sent) == 0; }));
        r.peer.push_back(peer(port, sent));
    }
    report(work + QStringLiteral(": ") + onFolder(sent), r, kPeerName, QStringLiteral("<= 1.0"),
           QStringLiteral("< 80 MB"));
}

// A message of 1 MB opened from the list: the sync the screen runs for it
// (its folder's news and the message whole), then kept (its file, its text
// in the search index in place of its headers'); imaplib fetches it with the
// same commands. The screen fetches a message only when it does not hold it,
// so each round opens one of its own.
void openLarge()
{
    const QString work = QStringLiteral("IMAP, a 1 MB message opened from the list, not held before, 100 small "
                                        "and one 1 MB a round held ")
                         + kCode;
    QString why;
    const int rounds = benchRounds();
    const auto server = startServer(QString(), &why, 100, QByteArrayList(rounds, largeMessage()));
    if (!server)
        return notRun(work, why);
    Cache c;
    if (sync(c, server->imapPort()) != 100 + rounds || !putEntries(c))
        return notRun(work, QStringLiteral("the first sync did not hold every header"));
    sync(c, server->imapPort());  // dovecot's slow first answer after a first sync, untimed
    Row r;
    QStringList sent;
    for (int i = 0; i < rounds; ++i) {
        const quint32 uid = 101 + i;
        r.ours.push_back(runOurs([&] {
            return sync(c, server->imapPort(), &sent, uid) == 0 && c.cache.body("INBOX", uid).size() > 1000000;
        }));
        r.peer.push_back(peer(server->imapPort(), sent));
    }
    report(work + QStringLiteral(": ") + onFolder(sent), r, kPeerName, QStringLiteral("<= 1.0"),
           QStringLiteral("< 80 MB"));
}

}  // namespace

int main(int argc, char** argv)
{
    Clock::holdZone();  // as the program does at its start
    QCoreApplication app(argc, argv);
    setMsgBoxHandler([](const MsgBoxCall& call) {
        qWarning("%s", qPrintable(call.text));
        return MsgResult::OK;
    });
    const QString missing = Pop3TestServer::missing();
    // Dovecot's own capabilities (QRESYNC), then CONDSTORE alone, then neither.
    const std::vector<std::pair<QString, QString>> modes = {
        {QStringLiteral("QRESYNC"), QString()},
        {QStringLiteral("CONDSTORE"), QStringLiteral("IMAP4rev1 CONDSTORE UIDPLUS MOVE IDLE")},
        {QStringLiteral("neither"), QStringLiteral("IMAP4rev1 UIDPLUS MOVE IDLE")}};
    for (const auto& [mode, capability] : modes) {
        QString why = missing;
        const auto server = why.isEmpty() ? startServer(capability, &why) : nullptr;
        if (!server) {
            notRun(QStringLiteral("IMAP sync, 10,000 messages, ") + mode, why);
            continue;
        }
        if (mode == QLatin1String("QRESYNC"))
            firstSync(server->imapPort());
        nothingNew(mode, server->imapPort());
    }
    if (missing.isEmpty())
        openLarge();
    return 0;
}
