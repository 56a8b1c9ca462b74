#include "MailServers.h"
#include "MailTest.h"
#include "ScriptedPeer.h"
#include "support/Files.h"
#include "support/Fixture.h"
#include "support/Require.h"

#include "kit/ConnectionSettings.h"
#include "mail/ImapCache.h"
#include "mail/ImapSession.h"
#include "mail/ImapWatch.h"
#include "mail/MailConnection.h"
#include "store/Connection.h"
#include "store/SearchIndex.h"

#include <QCryptographicHash>
#include <QDir>
#include <QProcess>
#include <QSignalSpy>
#include <QSslCertificate>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <sqlite3.h>

using namespace std::chrono_literals;

namespace {

// tblImapFolder as caches made before HIGHESTMODSEQ was kept have it.
const char* const kCacheBeforeModSeq = "CREATE TABLE tblImapFolder (Folder BLOB PRIMARY KEY, Delimiter BLOB, "
                                       "Selectable INTEGER NOT NULL DEFAULT 1, UidValidity INTEGER NOT NULL DEFAULT 0)";

const QByteArray kMessage = "From: a@example.org\r\nSubject: %1\r\nMessage-ID: <%1@example.org>\r\n\r\nBody %1\r\n";
QByteArray message(int n)
{
    return QByteArray(kMessage).replace("%1", QByteArray::number(n));
}

// One conversation over a real connection; the notices shown, "ok" last when it ended well.
QStringList sync(ImapSession& s, quint16 port, const ImapPlan& plan, TlsMode tls = TlsMode::Offered)
{
    QObject owner;
    MailConnection connection(s, connectionSettings(), &owner);
    QStringList said;
    QObject::connect(&connection, &MailConnection::notice, &owner, [&](const MailNotice& n) { said << n.text; });
    QSignalSpy finished(&connection, &MailConnection::finished);
    s.start(QStringLiteral("anna"), QStringLiteral("pass word"), plan, QStringLiteral("127.0.0.1"), tls);
    connection.open(QStringLiteral("127.0.0.1"), port, tls);
    if (!finished.wait(30000))
        said << QStringLiteral("no end");
    else if (finished.first().first().toBool())
        said << QStringLiteral("ok");
    return said;
}

// A session that notes the threads it read the server's words on, and the
// commands it sent on the folder (from SELECT to LIST, untagged, a header
// fetch cut before what it asks for).
struct WatchedSession : ImapSession {
    QSet<QThread*> readers;
    QByteArrayList onFolder;
    MailActions feed(const QByteArray& bytes) override
    {
        readers.insert(QThread::currentThread());
        MailActions out = ImapSession::feed(bytes);
        for (const MailAction& a : out) {
            QByteArray c = a.bytes.trimmed();
            c = c.mid(c.indexOf(' ') + 1);
            if (c.startsWith("SELECT"))
                onFolder.clear();
            if (a.kind == MailAction::Kind::Send && !c.startsWith("LIST") && !c.startsWith("LOGOUT"))
                onFolder << (c.contains(" (UID ") ? c.left(c.indexOf(" (UID ")) : c);
        }
        return out;
    }
};

// "uid:flags:subject", "+" when the body is held too.
QString held(const ImapCache& cache, const QByteArray& folder)
{
    QStringList out;
    for (const ImapCachedMessage& m : cache.messages(folder))
        out << QStringLiteral("%1:%2:%3%4")
                   .arg(m.uid)
                   .arg(QString::fromLatin1(m.flags.join(',')), m.subject, m.hasBody ? "+" : "");
    return out.join(QLatin1Char(' '));
}

QByteArrayList uids(const ImapResult& r)
{
    QByteArrayList out;
    for (const ImapHeader& h : r.headers)
        out << QByteArray::number(h.uid);
    return out;
}

// dovecot holding messages 1..`count` (with `capability` when given, else
// its own), and an empty cache beside it (made from `schema` first when
// given). start() is empty when both are ready, else why not.
struct ImapPeer {
    Pop3TestServer server{QStringLiteral("anna"), QStringLiteral("pass word")};
    QTemporaryDir dir;
    Connection con;
    ImapCache cache;
    QString start(int count, const QString& capability = {}, const char* schema = nullptr)
    {
        QString why = Pop3TestServer::missing();
        for (int n = 1; n <= count && why.isEmpty(); ++n)
            server.addMessage(message(n), &why);
        server.setImapCapability(capability);
        if (why.isEmpty() && server.start(&why) && !server.imapPort())
            why = QStringLiteral("dovecot-imapd is not installed");
        if (!why.isEmpty())
            return why;
        con.Open(dir.filePath(QStringLiteral("t.db")));
        if (schema && sqlite3_exec(con.handle(), schema, nullptr, nullptr, nullptr) != SQLITE_OK)
            return QStringLiteral("the old cache could not be made");
        cache.open(con, dir.filePath(QStringLiteral("Mail")));
        return {};
    }
};

}  // namespace

class TestImapServer : public QObject {
    Q_OBJECT

private slots:
    // List, read, flag, delete, and what another reader did in between.
    void syncsWithAnotherImapReader()
    {
        ImapPeer peer;
        if (const QString why = peer.start(3, {}, kCacheBeforeModSeq); !why.isEmpty())
            SKIP_OR_FAIL(why);
        Pop3TestServer& server = peer.server;
        ImapCache& cache = peer.cache;
        const quint16 port = server.imapPort();
        WatchedSession s;
        // A sync as the program runs it: from what is held, into it when it ended well.
        const auto step = [&](const ImapPlan& plan) {
            const QStringList said = sync(s, port, plan);
            if (said == QStringList{"ok"})
                cache.apply(plan, s.result());
            return said;
        };
        QCOMPARE(step(cache.plan("INBOX")), QStringList{"ok"});
        const ImapResult first = s.result();
        QVERIFY(first.highestModSeq != 0 && !first.changesOnly);
        QVERIFY(std::any_of(first.folders.begin(), first.folders.end(),
                            [](const ImapFolder& f) { return f.name == "INBOX" && f.selectable; }));
        QCOMPARE(first.headers[1].size, quint32(message(2).size()));
        QCOMPARE(held(cache, "INBOX"), "1::1 2::2 3::3");
        const ImapCachedMessage second = cache.messages("INBOX").at(1);
        QCOMPARE(second.from + ' ' + second.messageId, QStringLiteral("a@example.org 2@example.org"));

        QVERIFY(otherImapReader(port, "m.select('INBOX')\nm.uid('STORE', '3', '+FLAGS', '(\\\\Flagged)')"));
        ImapPlan plan = cache.plan("INBOX");
        plan.changes = {{1, "\\Seen", true}, {2, "\\Deleted", true}};
        plan.expunge = true;
        plan.bodyUid = 1;
        QCOMPARE(step(plan), QStringList{"ok"});
        QVERIFY(s.result().changesOnly);  // the other reader's flag came by CHANGEDSINCE
        QCOMPARE(held(cache, "INBOX"), "1:\\Seen:1+ 3:\\Flagged:3");
        QCOMPARE(cache.body("INBOX", 1), message(1));

        QVERIFY(server.addMessage(message(4)));
        QVERIFY(
            otherImapReader(port, "m.select('INBOX')\nm.uid('STORE', '3', '+FLAGS', '(\\\\Deleted)')\nm.expunge()"));
        QCOMPARE(step(cache.plan("INBOX")), QStringList{"ok"});
        QCOMPARE(uids(s.result()), QByteArrayList{"4"});
        QCOMPARE(held(cache, "INBOX"), "1:\\Seen:1+ 4::4");  // 3 vanished

        // A folder made anew numbers its messages anew: what was held of it counts no more.
        const QString append = QStringLiteral("m.append('Work', None, None, b'Subject: w\\r\\n\\r\\nw\\r\\n')");
        QVERIFY(otherImapReader(port, "m.create('Work')\n" + append));
        QCOMPARE(step(cache.plan("Work")), QStringList{"ok"});
        const quint32 work = s.result().uidValidity;
        QVERIFY(otherImapReader(port, "m.delete('Work')\nm.create('Work')\n" + append + "\n" + append));
        plan = cache.plan("Work");
        plan.changes = {{1, "\\Deleted", true}};
        plan.expunge = true;
        QCOMPARE(step(plan), QStringList{"ok"});
        QVERIFY(s.result().uidValidityChanged);
        QCOMPARE(held(cache, "Work"), "1::w 2::w");  // none marked under the old numbers
        QVERIFY(cache.plan("Work").knownUidValidity != work);

        // A folder named past ASCII is listed in modified UTF-7, opened by
        // that name and filled by its own.
        QVERIFY(otherImapReader(port, "m.create('Entw&APw-rfe')"));
        plan = cache.plan("Entw&APw-rfe");
        plan.appends = {{QStringLiteral("Entwürfe").toUtf8(), message(5)}};
        QCOMPARE(step(plan), QStringList{"ok"});
        QCOMPARE(s.result().appended.at(0).outcome, ImapDone::Outcome::Done);
        QVERIFY(std::ranges::any_of(cache.folders(), [](auto& f) { return imapFolderName(f.name) == "Entwürfe"; }));
        QCOMPARE(step(cache.plan("Entw&APw-rfe")), QStringList{"ok"});
        QCOMPARE(held(cache, "Entw&APw-rfe"), "1:\\Seen:5");
    }

    // What another reader changed (a flag, a message expunged while a new
    // one came) is seen by the next sync with QRESYNC, with CONDSTORE alone
    // and with neither, each asking for no more than it must.
    void seesAnotherReaderInEachMode_data()
    {
        QTest::addColumn<QString>("capability");
        QTest::addColumn<QByteArray>("changed");
        QTest::addColumn<QByteArray>("nothingNew");
        QTest::newRow("QRESYNC") << QString()
                                 << QByteArray("SELECT \"INBOX\" | UID FETCH 1:3 (FLAGS) (CHANGEDSINCE %m VANISHED) | "
                                               "UID FETCH 4:*")
                                 << QByteArray("SELECT \"INBOX\"");
        QTest::newRow("CONDSTORE") << "IMAP4rev1 CONDSTORE"
                                   << QByteArray("SELECT \"INBOX\" (CONDSTORE) | UID FETCH 1:3 (FLAGS) (CHANGEDSINCE "
                                                 "%m) | UID FETCH 4:* | UID SEARCH UID 1:3")
                                   << QByteArray("SELECT \"INBOX\" (CONDSTORE)");
        QTest::newRow("neither") << "IMAP4rev1"
                                 << QByteArray("SELECT \"INBOX\" | UID FETCH 1:2 (FLAGS) | UID FETCH 3:3 (FLAGS) | "
                                               "UID FETCH 4:*")
                                 << QByteArray("SELECT \"INBOX\" | UID FETCH 1:2 (FLAGS) | UID FETCH 3:4 (FLAGS)");
    }
    void seesAnotherReaderInEachMode()
    {
        QFETCH(QString, capability);
        QFETCH(QByteArray, changed);
        QFETCH(QByteArray, nothingNew);
        ImapPeer peer;
        if (const QString why = peer.start(3, capability); !why.isEmpty())
            SKIP_OR_FAIL(why);
        Pop3TestServer& server = peer.server;
        ImapCache& cache = peer.cache;
        WatchedSession s;
        s.setFlagWindow(2);
        const auto step = [&] {
            const ImapPlan plan = cache.plan("INBOX");
            const bool ok = sync(s, server.imapPort(), plan) == QStringList{"ok"};
            if (ok)
                cache.apply(plan, s.result());
            return ok;
        };
        QVERIFY(step());
        QCOMPARE(held(cache, "INBOX"), "1::1 2::2 3::3");
        QVERIFY(otherImapReader(server.imapPort(), "m.select('INBOX')\nm.uid('STORE', '2', '+FLAGS', '(\\\\Flagged)')\n"
                                                   "m.uid('STORE', '3', '+FLAGS', '(\\\\Deleted)')\nm.expunge()"));
        QVERIFY(server.addMessage(message(4)));
        const QByteArray modSeq = QByteArray::number(cache.plan("INBOX").knownModSeq);
        QVERIFY(step());
        QCOMPARE(held(cache, "INBOX"), "1::1 2:\\Flagged:2 4::4");
        QCOMPARE(s.onFolder.join(" | "), changed.replace("%m", modSeq));
        QVERIFY(step());
        QCOMPARE(held(cache, "INBOX"), "1::1 2:\\Flagged:2 4::4");
        QCOMPARE(s.onFolder.join(" | "), nothingNew);
    }

    // A move and the Sent copy (a server without MOVE and UIDPLUS gets a
    // copy and leaves the original marked, expunging nothing), then IDLE.
    void movesAndAppends_data()
    {
        QTest::addColumn<QString>("capability");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QString>("inbox");
        QTest::newRow("MOVE") << QString() << int(ImapDone::Outcome::Done) << "2:\\Deleted:2";
        QTest::newRow("COPY") << "IMAP4rev1" << int(ImapDone::Outcome::Copied) << "1:\\Deleted:1 2:\\Deleted:2";
    }
    void movesAndAppends()
    {
        QFETCH(QString, capability);
        QFETCH(int, outcome);
        QFETCH(QString, inbox);
        ImapPeer peer;
        if (const QString why = peer.start(2, capability); !why.isEmpty())
            SKIP_OR_FAIL(why);
        Pop3TestServer& server = peer.server;
        ImapCache& cache = peer.cache;
        ImapSession s;
        QVERIFY(otherImapReader(server.imapPort(), "m.create('Work')\nm.create('Sent')\nm.select('INBOX')\n"
                                                   "m.uid('STORE', '2', '+FLAGS', '(\\\\Deleted)')"));
        QCOMPARE(sync(s, server.imapPort(), cache.plan("INBOX")), QStringList{"ok"});
        cache.apply(cache.plan("INBOX"), s.result());
        ImapPlan plan = cache.plan("INBOX");
        plan.moves = {{1, "Work"}};
        plan.appends = {{"Sent", message(3)}};
        QCOMPARE(sync(s, server.imapPort(), plan), QStringList{"ok"});
        QCOMPARE(int(s.result().moved.at(0).outcome), outcome);
        QCOMPARE(s.result().moved.at(0).uid, 1u);  // COPYUID, said by dovecot even when not offered
        QCOMPARE(s.result().appended.at(0).outcome, ImapDone::Outcome::Done);
        cache.apply(plan, s.result());
        QCOMPARE(held(cache, "INBOX"), inbox);
        for (const QByteArray folder : {"Work", "Sent"}) {
            QCOMPARE(sync(s, server.imapPort(), cache.plan(folder)), QStringList{"ok"});
            cache.apply(cache.plan(folder), s.result());
        }
        QCOMPARE(held(cache, "Work"), "1::1");
        QCOMPARE(held(cache, "Sent"), "1:\\Seen:3");
        if (!capability.isEmpty())
            return;

        // IDLE outlasts the time limit for an answer; another client's new
        // message is said within seconds; stop() ends it well.
        ImapWatch watch;
        QSignalSpy changed(&watch, &ImapWatch::folderChanged);
        QSignalSpy finished(&watch, &ImapWatch::finished);
        watch.start({1s, 1s, {}}, QStringLiteral("127.0.0.1"), server.imapPort(), TlsMode::Offered,
                    QStringLiteral("anna"), QStringLiteral("pass word"), cache.plan("INBOX"));
        QVERIFY(!finished.wait(3000));  // three answer limits of quiet
        QVERIFY(otherImapReader(server.imapPort(), "m.append('INBOX', None, None, b'Subject: n\\r\\n\\r\\nn\\r\\n')"));
        QVERIFY(changed.wait(5000));
        watch.stop();
        QVERIFY(finished.wait(5000));
        QCOMPARE(finished.first().first().toBool(), true);
    }

    // A message fetched whole goes to its file as it arrives: kept byte for
    // byte while the peak memory grows by a few MB, nothing left in tmp/,
    // read beside the window, which goes on.
    void aLargeBodyGoesStraightToItsFile()
    {
        ImapPeer peer;
        if (const QString why = peer.start(1); !why.isEmpty())
            SKIP_OR_FAIL(why);
        QByteArray big = "Subject: big\r\n\r\n" + QByteArray(40 << 20, 'x') + "\r\n";
        const QByteArray digest = QCryptographicHash::hash(big, QCryptographicHash::Sha1);
        QVERIFY(peer.server.addMessage(std::exchange(big, {})));
        WatchedSession s;
        s.spillTo(peer.dir.path());
        QCOMPARE(sync(s, peer.server.imapPort(), peer.cache.plan("INBOX")), QStringList{"ok"});
        peer.cache.apply(peer.cache.plan("INBOX"), s.result());
        ImapPlan plan = peer.cache.plan("INBOX");
        plan.bodyUid = 2;
        const qint64 grown = peakGrowth([&] { QCOMPARE(sync(s, peer.server.imapPort(), plan), QStringList{"ok"}); });
        QVERIFY2(grown < kBoundedGrowthKb, qPrintable(QString::number(grown)));
        QVERIFY(s.readers.size() > 1 && s.readers.contains(QThread::currentThread()));
        peer.cache.apply(plan, s.result());
        QCOMPARE(QDir(peer.dir.path()).entryList({QStringLiteral("imap*")}), QStringList());
        QCOMPARE(QCryptographicHash::hash(peer.cache.body("INBOX", 2), QCryptographicHash::Sha1), digest);
    }

    // Bodies of a folder of any name are kept (300 bytes: its name in hex
    // made no file); one an older cache kept so is found, and goes when
    // fetched anew.
    void bodyFilesOfLongFolderNames()
    {
        QTemporaryDir dir;
        Connection con;
        con.Open(dir.filePath(QStringLiteral("t.db")));
        ImapCache cache;
        cache.open(con, dir.filePath(QStringLiteral("Mail")));
        ImapResult found;
        found.uidValidity = 7;
        found.headers = {{2, {}, 20, "Subject: two\r\n", {}}};
        const QByteArrayList folders = {"INBOX/" + QByteArray(294, 'x'), "INBOX"};
        for (const QByteArray& folder : folders)
            cache.apply(cache.plan(folder), found);
        QVERIFY(writeFile(dir.filePath(QStringLiteral("Mail/cur/imap-494e424f58-7-2")), "old"));
        Db::exec(dir.filePath(QStringLiteral("t.db")),
                 "UPDATE tblImapMessage SET BodyFile = 'cur/imap-494e424f58-7-2'");
        QCOMPARE(cache.body("INBOX", 2), "old");
        found.headers.clear();
        found.knownFlags = {{2, {}}};
        for (const QByteArray& folder : folders) {
            ImapPlan plan = cache.plan(folder);
            plan.bodyUid = 2;
            found.body = folder;
            cache.apply(plan, found);
            QCOMPARE(cache.body(folder, 2), folder);
        }
        QCOMPARE(
            QDir(dir.filePath(QStringLiteral("Mail/cur"))).entryList(QDir::Files),
            QStringList({"imap-83ecb521bf320f677287e8b923809bb3-7-2", "imap-dbcfc4a5c768b165b8aa6d13da559715-7-2"}));
        // A body held whole is kept whole; the search reads its start, as
        // of one written to its file as it came.
        ImapPlan plan = cache.plan("INBOX");
        plan.bodyUid = 2;
        found.body = "Subject: two\r\n\r\nquince\r\n" + QByteArray(300 << 10, 'x') + "\r\nmedlar\r\n";
        cache.apply(plan, found);
        QCOMPARE(cache.body("INBOX", 2), *found.body);
        QCOMPARE(SearchIndex::search(con.handle(), "quince").size(), 1u);
        QVERIFY(SearchIndex::search(con.handle(), "medlar").empty());
        // The headers' entries were left for later; other writes meanwhile are put at once.
        Db::exec(dir.filePath(QStringLiteral("t.db")), "INSERT INTO tblAddress (Org_ID, FirstName) VALUES (1, 'Zed')");
        QCOMPARE(SearchIndex::search(con.handle(), "zed").size(), 1u);
        // Each header's entry was put whole with its body since: none is left to put less.
        QVERIFY(!SearchIndex::putLeftEntries(con.handle()));
    }

    // More headers than one sync holds (70 blocks of 300 KB): each is cut
    // after a line's end, the highest UIDs wait for the next sync, and the
    // conversation goes on to its end.
    void headersPastWhatOneSyncHolds()
    {
        ScriptedPeer peer("* PREAUTH [CAPABILITY IMAP4rev1] hi\r\n");
        const QByteArray block = QByteArray("X-Pad: " + QByteArray(993, 'x') + "\r\n").repeated(300);
        QByteArray fetched;
        for (int uid = 1; uid <= 70; ++uid)
            fetched += "* 1 FETCH (UID " + QByteArray::number(uid) + " BODY[HEADER.FIELDS (SUBJECT)] {300600}\r\n"
                       + block + ")\r\n";
        peer.answer = [&](const QByteArray& line) {
            return (line.contains("SELECT")          ? "* 70 EXISTS\r\n* OK [UIDVALIDITY 5] v\r\n"
                    : line.contains("UID FETCH 1:*") ? fetched
                                                     : QByteArray())
                   + line.left(line.indexOf(' ')) + " OK\r\n";
        };
        ImapSession s;
        QCOMPARE(sync(s, peer.hostBox().section(':', 1).toUShort(), {}), QStringList{"ok"});
        QCOMPARE(s.result().headers.size(), 64u);  // of 261,522 bytes and 64 more each: 16 MB
        QCOMPARE(s.result().firstLeft, 65u);
        QCOMPARE(s.result().headers.back().fields, block.left(261522));
        QVERIFY(peer.lines().last().endsWith("LOGOUT\r\n"));
    }

    // A first sync of more headers than one statement writes keeps each in its own row.
    void manyHeadersKeptEach()
    {
        ScriptedPeer peer("* PREAUTH [CAPABILITY IMAP4rev1] hi\r\n");
        QByteArray fetched;
        QStringList expected;
        for (int uid = 1; uid <= 450; ++uid) {
            const QByteArray subject = "Subject: " + QByteArray::number(uid * 7) + "\r\n\r\n";
            fetched += "* " + QByteArray::number(uid) + " FETCH (UID " + QByteArray::number(uid)
                       + " FLAGS () BODY[HEADER.FIELDS (SUBJECT)] {" + QByteArray::number(subject.size()) + "}\r\n"
                       + subject + ")\r\n";
            expected << QStringLiteral("%1::%2").arg(uid).arg(uid * 7);
        }
        peer.answer = [&](const QByteArray& line) {
            return (line.contains("SELECT")          ? "* 450 EXISTS\r\n* OK [UIDVALIDITY 5] v\r\n"
                    : line.contains("UID FETCH 1:*") ? fetched
                                                     : QByteArray())
                   + line.left(line.indexOf(' ')) + " OK\r\n";
        };
        ImapSession s;
        QCOMPARE(sync(s, peer.hostBox().section(':', 1).toUShort(), {}), QStringList{"ok"});
        QTemporaryDir dir;
        Connection con;
        con.Open(dir.filePath(QStringLiteral("t.db")));
        ImapCache cache;
        cache.open(con, dir.filePath(QStringLiteral("Mail")));
        cache.apply(ImapPlan(), s.result());
        QCOMPARE(held(cache, "INBOX"), expected.join(QLatin1Char(' ')));
    }

    void securedAndSilent()
    {
        if (!Pop3TestServer::missing().isEmpty())
            SKIP_OR_FAIL(Pop3TestServer::missing());
        TestCertificates certs;
        QString why;
        QVERIFY2(certs.make(&why), qPrintable(why));
        const ConnectionSettings before = connectionSettings();
        setConnectionSettings({.extraCaCertificates = QSslCertificate::fromPath(certs.pem(QStringLiteral("ca")))});
        Pop3TestServer server(QStringLiteral("anna"), QStringLiteral("pass word"));
        QVERIFY(server.addMessage(message(1)));
        QVERIFY2(server.start(&why, &certs), qPrintable(why));
        ImapSession s;
        if (server.imapPort())
            QCOMPARE(sync(s, server.imapPort(), {}, TlsMode::Required), QStringList{"ok"});

        // A server that greets and then says nothing more.
        setConnectionSettings({1s, 1s, {}});
        ScriptedPeer silent("* OK ready\r\n");
        const QStringList said = sync(s, silent.hostBox().section(':', 1).toUShort(), {});
        setConnectionSettings(before);
        QCOMPARE(said, QStringList{"IMAP Error: No answer from 127.0.0.1 within 1 seconds while waiting for the "
                                   "reply to CAPABILITY."});
    }
};

QTEST_GUILESS_MAIN(TestImapServer)
#include "test_mail_imap_server.moc"
