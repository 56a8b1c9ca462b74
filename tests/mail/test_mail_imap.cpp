#include "MailTest.h"

#include "mail/ImapMailbox.h"
#include "mail/ImapSentCopy.h"
#include "mail/ImapSession.h"
#include "store/Connection.h"
#include "support/Golden.h"

#include <QFile>
#include <QHostAddress>
#include <QTemporaryDir>
#include <QTest>

#include <sqlite3.h>

namespace {

// "v7 last11 +12\Seen -11\Seen x body12 m10>Work a>Sent": what is held and
// what to do (m: move, a: append of a two-line message); "q15 h10:\Seen":
// the HIGHESTMODSEQ held, and a held message's flags.
ImapPlan plan(const QString& text)
{
    ImapPlan p;
    for (const QString& w : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (w.startsWith(QLatin1String("last")))
            p.lastKnownUid = w.mid(4).toUInt();
        else if (w.startsWith(QLatin1String("body")))
            p.bodyUid = w.mid(4).toUInt();
        else if (w.startsWith(QLatin1Char('v')))
            p.knownUidValidity = w.mid(1).toUInt();
        else if (w.startsWith(QLatin1Char('m')))
            p.moves.push_back({w.mid(1).section('>', 0, 0).toUInt(), w.section('>', 1).toUtf8()});
        else if (w.startsWith(QLatin1String("a>")))
            p.appends.push_back({w.mid(2).toUtf8(), "Subject: s\r\n\r\nHi\r\n"});
        else if (w.startsWith(QLatin1Char('q')))
            p.knownModSeq = w.mid(1).toULongLong();
        else if (w.startsWith(QLatin1Char('h')))
            p.heldFlags[w.mid(1).section(':', 0, 0).toUInt()] = w.section(':', 1).toLatin1().split(',');
        else if (w == QLatin1String("idle"))
            p.idle = true;
        else if (w == QLatin1String("x"))
            p.expunge = true;
        else if (w.startsWith(QLatin1Char('+')) || w.startsWith(QLatin1Char('-')))
            p.changes.push_back({w.mid(1, w.indexOf(QLatin1Char('\\')) - 1).toUInt(),
                                 w.mid(w.indexOf(QLatin1Char('\\'))).toLatin1(), w.startsWith(QLatin1Char('+'))});
    }
    return p;
}

QString describe(const ImapResult& r)
{
    QStringList folders;
    for (const ImapFolder& f : r.folders)
        folders << QString::fromUtf8(f.name + (f.selectable ? "" : "(-)") + (f.sent ? "(sent)" : ""));
    QStringList known;
    for (const auto& [uid, flags] : r.knownFlags)
        known << QString::number(uid) + QLatin1Char(':') + QString::fromLatin1(flags.join(','));
    known.sort();
    if (r.heldAsBefore)
        known << QStringLiteral("as held");
    QStringList headers;
    for (const ImapHeader& h : r.headers)
        headers << QStringLiteral("%1:%2:%3:%4")
                       .arg(h.uid)
                       .arg(QString::fromLatin1(h.flags.join(',')))
                       .arg(h.size)
                       .arg(QString::fromLatin1(h.fields).trimmed());
    QStringList done;
    for (const auto* list : {&r.moved, &r.appended}) {
        for (const ImapDone& d : *list)
            done << QStringLiteral("%1:%2:%3").arg(int(d.outcome)).arg(d.uid).arg(d.reason);
        done << QStringLiteral("/");
    }
    return QStringLiteral("%1 | v%2 next%3 exists%4%5 | known %6 | new %7 | body %8%9%10")
        .arg(folders.join(QLatin1Char(' ')))
        .arg(r.uidValidity)
        .arg(r.uidNext)
        .arg(r.exists)
        .arg((r.uidValidityChanged ? QStringLiteral(" changed") : QString())
             + (r.highestModSeq ? QStringLiteral(" modseq%1").arg(r.highestModSeq) : QString())
             + (r.changesOnly ? QStringLiteral(" changes") : QString())
             + (r.expungeWithheld ? QStringLiteral(" withheld") : QString()))
        .arg(known.join(QLatin1Char(' ')), headers.join(QLatin1Char(' ')),
             r.body ? QString::fromLatin1(*r.body) : QStringLiteral("-"),
             done.size() > 2 ? QStringLiteral(" | done ") + done.join(QLatin1Char(' ')) : QString())
        .arg(r.firstLeft ? QStringLiteral(" | left from %1").arg(r.firstLeft) : QString());
}

// A file of tests/data/imap/: its password, its plan and the server's steps.
struct Conversation {
    QString password, plan;
    QStringList steps;
};

Conversation readConversation(const QString& path)
{
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    const QStringList parts = QString::fromUtf8(file.readAll()).split(QStringLiteral("--\n"));
    Conversation c;
    c.password = parts[0].section(QStringLiteral("password: "), 1).section('\n', 0, 0);
    c.password.replace(QStringLiteral("\\n"), QStringLiteral("\n"));
    c.plan = parts[0].section(QStringLiteral("plan: "), 1).section('\n', 0, 0);
    for (const QString& part : parts.mid(1)) {
        QString bytes;
        for (const QString& line : part.chopped(1).split('\n'))
            bytes += line.startsWith('<') || line.endsWith(QStringLiteral("<no line end>"))
                         ? line.chopped(line.startsWith('<') ? 0 : 13)
                         : line + QStringLiteral("\r\n");
        c.steps << bytes;
    }
    return c;
}

QString describePlan(const ImapPlan& p)
{
    QStringList out;
    for (const ImapFlagChange& c : p.changes)
        out << QString::number(c.uid) + (c.add ? '+' : '-') + QString::fromLatin1(c.flag);
    for (const ImapMove& m : p.moves)
        out << QStringLiteral("m%1>%2").arg(m.uid).arg(QString::fromUtf8(m.to));
    if (p.expunge)
        out << QStringLiteral("x");
    if (p.bodyUid)
        out << QStringLiteral("body%1").arg(p.bodyUid);
    return out.join(' ');
}

// What ImapMailbox makes of a conversation: the plan it sends, whether the
// conversation ended well, and what waits after it. `wishes`: "m12>Work"
// moves, "d12" deletes, "o12" opens, "cut3" ends the conversation after three steps.
QString syncedMailbox(ImapMailbox& box, const QString& name, const QString& wishes)
{
    for (const QString& w : wishes.split(' ', Qt::SkipEmptyParts)) {
        const quint32 uid = w.mid(1).section('>', 0, 0).toUInt();
        if (w.startsWith('m'))
            box.move("INBOX", {uid}, w.section('>', 1).toUtf8());
        else if (w.startsWith('d'))
            box.remove("INBOX", {uid});
        else if (w.startsWith('o'))
            box.open("INBOX", uid);
    }
    QStringList listed;
    for (const ImapCachedMessage& m : box.listed("INBOX"))
        listed << QString::number(m.uid);
    const Conversation c = readConversation(Golden::folder(QStringLiteral("imap")) + '/' + name + ".imap");
    const ImapPlan plan = box.startSync("INBOX");
    const int cut = wishes.section(QStringLiteral("cut"), 1).toInt();
    ImapSession s;
    s.start("anna", c.password, plan, "imap.example.org", TlsMode::Offered);
    s.allowLoginInClear(true);
    s.connected(QHostAddress::LocalHost, true);
    bool ok = false;
    for (const QString& in : cut ? c.steps.mid(0, cut) : c.steps)
        for (const MailAction& a : s.feed(in.toLatin1()))
            ok = ok || (a.kind == MailAction::Kind::Finished && a.ok);
    // A sync that failed takes nothing: its wishes wait.
    const QStringList refused = box.finishSync(ok, s.result());
    const ImapPlan after = box.startSync("INBOX");
    QStringList held;
    for (const ImapCachedMessage& m : box.listed("INBOX"))
        held << QString::number(m.uid) + ':' + QString::fromLatin1(m.flags.join(','))
                    + (m.messageId.isEmpty() && m.inReplyTo.isEmpty() && m.references.isEmpty()
                           ? QString()
                           : QStringLiteral("<%1|%2|%3>").arg(m.messageId, m.inReplyTo, m.references.join(',')));
    return QStringLiteral("listed %1 | sent %2 | %3 | refused %4 | held %5 | waits %6")
        .arg(listed.join(','), describePlan(plan), ok ? "ok" : "not ok", refused.join(','), held.join(' '),
             describePlan(after));
}
}  // namespace

// Each file of tests/data/imap/ is one conversation: "password:" and
// "plan:" (with "tls": TLS required, "remote": not this computer, "clear":
// login in clear allowed, "before": STARTTLS offered before, "cap40/300":
// the header limits, "win2": held messages per window of flags), then
// what the server says, step by step after each "--" line; lines end in CR
// LF unless marked <no line end>; <tls>, <close>, <timeout> and <stop> (of
// an IDLE) stand for those events.
// Its .expected holds what the session did at each step, then the result.
class TestImapSession : public QObject {
    Q_OBJECT

private slots:
    void conversation_data() { Golden::addRows(QStringLiteral("imap"), {QStringLiteral("*.imap")}); }

    // Each conversation twice: as the steps come, then one byte at a time.
    void conversation()
    {
        QFETCH(QString, input);
        const auto [password, plan, steps] = readConversation(input);
        ImapSession s;
        const auto begin = [&] {
            s.start("anna", password, ::plan(plan), "imap.example.org",
                    plan.contains("tls") ? TlsMode::Required : TlsMode::Offered);
            s.setResponseLimit(300);
            if (plan.contains("cap"))
                s.setHeaderLimits(plan.section("cap", 1).section('/', 0, 0).toInt(),
                                  plan.section("cap", 1).section('/', 1).section(' ', 0, 0).toInt());
            if (plan.contains("win"))
                s.setFlagWindow(plan.section("win", 1).section(' ', 0, 0).toUInt());
            s.allowLoginInClear(plan.contains("clear"));
            s.setOfferedStartTlsBefore(plan.contains("before"));
            s.connected(QHostAddress::LocalHost, !plan.contains("remote"));
        };
        begin();
        QStringList transcript;
        QStringList all;
        for (const QString& in : steps) {
            const QString did = ::describe(in == "<tls>"       ? s.tlsReady()
                                           : in == "<close>"   ? s.closed()
                                           : in == "<timeout>" ? s.timedOut(QStringLiteral("silent"))
                                           : in == "<stop>"    ? s.stopIdle()
                                                               : s.feed(in.toLatin1()));
            transcript << "=> " + Golden::escaped(did);
            if (!did.isEmpty())
                all << did;
        }
        transcript << "result: " + Golden::escaped(describe(s.result()));
        if (s.refusedInClear() || s.offeredStartTls())
            transcript << QStringLiteral("in clear:%1%2%3")
                              .arg(s.offeredStartTls() ? " STARTTLS taken" : "", s.refusedInClear() ? " refused" : "",
                                   s.lostStartTls() ? " (STARTTLS offered before)" : "");
        Golden::compare(input, transcript.join('\n') + '\n');
        if (std::any_of(steps.begin(), steps.end(), [](const QString& step) { return step.startsWith('<'); }))
            return;
        begin();
        QStringList got;
        for (const char c : steps.join(QString()).toLatin1()) {
            const QString d = ::describe(s.feed(QByteArray(1, c)));
            if (!d.isEmpty())
                got << d;
        }
        QCOMPARE(got.join(" | "), all.join(" | "));
    }

    // The mailbox's bookkeeping over real conversations: what a sync carries,
    // what it leaves waiting, what the list shows before and after. Each
    // .mailbox file names a conversation and the user's wishes before it.
    void mailbox_data() { Golden::addRows(QStringLiteral("imap"), {QStringLiteral("*.mailbox")}); }
    void mailbox()
    {
        QFETCH(QString, input);
        QFile file(input);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(file.readAll());
        QTemporaryDir dir;
        Connection con;
        con.Open(dir.filePath(QStringLiteral("t.db")));
        ImapMailbox box;
        box.open(con, dir.filePath(QStringLiteral("Mail")));
        QCOMPARE(syncedMailbox(box, QStringLiteral("first-sync"), QString()),
                 QStringLiteral("listed  | sent  | ok | refused  | held 10:\\Seen 12: | waits "));
        Golden::compare(input, syncedMailbox(box, text.section("conversation: ", 1).section('\n', 0, 0),
                                             text.section("wishes: ", 1).section('\n', 0, 0))
                                   + '\n');
    }

    // A cache from before the threading ids is upgraded in place, each row's
    // Message-ID read from the header it kept; the folder threads by UID
    // beside the sent copies it does not hold itself.
    void olderCacheThreads()
    {
        QTemporaryDir dir;
        Connection con;
        con.Open(dir.filePath(QStringLiteral("t.db")));
        QVERIFY(
            sqlite3_exec(con.handle(),
                         "CREATE TABLE tblImapMessage (Folder BLOB NOT NULL, Uid INTEGER NOT NULL, Flags TEXT NOT "
                         "NULL DEFAULT '', Size INTEGER NOT NULL DEFAULT 0, Sender TEXT, Subject TEXT, SendDate "
                         "TEXT, Header BLOB, BodyFile TEXT, PRIMARY KEY (Folder, Uid));"
                         "INSERT INTO tblImapMessage VALUES (CAST('INBOX' AS BLOB), 4, '', 9, 'Eve', 'Plans', 'Mon', "
                         "CAST('Message-ID: <p@x>' || char(13,10) AS BLOB), 'cur/b4')",
                         nullptr, nullptr, nullptr)
            == SQLITE_OK);
        ImapMailbox box;
        box.open(con, dir.filePath(QStringLiteral("Mail")));
        const ImapMailbox::Threads t =
            box.threads("INBOX", {{"Sent a", "", "", "", 1, "p@x", "", {}}, {"Sent b", "", "", "", 1, "", "", {}}});
        QVERIFY(t.listed.size() == 1 && t.beside.size() == 1 && box.listed("INBOX").at(0).hasBody);
        QCOMPARE(t.listed[0].key + t.listed[0].messageId + t.listed[0].subject + t.beside[0].key, "4p@xPlansSent b");
    }

    // Folder names as sent -> as shown, each row of folder-names.tsv.
    void folderNames()
    {
        QFile file(Golden::folder(QStringLiteral("imap")) + QStringLiteral("/folder-names.tsv"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        int rows = 0;
        for (const QByteArray& line : file.readAll().split('\n')) {
            const QByteArrayList row = line.split('\t');
            if (row.size() != 3 || line.startsWith('#') || !++rows)
                continue;
            QCOMPARE(imapFolderName(row[0]), QString::fromUtf8(row[1]));
            if (row[2] == "=")
                QCOMPARE(imapFolderWire(QString::fromUtf8(row[1])), row[0]);
        }
        QCOMPARE(rows, 17);
    }

    // Sent mail goes to the folder marked \Sent, else to one whose last level
    // is named "Sent"; never to one that cannot be selected.
    void sentFolder()
    {
        const ImapFolder named{"Sent", ".", true}, marked{"Copies", "/", true, true}, nested{"INBOX.Sent", ".", true},
            noselect{"Sent", ".", false, true}, other{"Sentinel", "", true};
        QCOMPARE(ImapSentCopy::sentFolder({other, named, marked}) + '|'
                     + ImapSentCopy::sentFolder({noselect, nested, other}) + '|'
                     + ImapSentCopy::sentFolder({noselect, other}),
                 "Copies|INBOX.Sent|");
    }
};

QTEST_GUILESS_MAIN(TestImapSession)
#include "test_mail_imap.moc"
