// Two application folders syncing through one Radicale server: each step
// changes either side, then A, B and A sync and both must hold the same.
// Then a third folder against Xandikos, and against a Radicale refusing
// sync-collection (so the sync lists ETags), while another client
// (python3-caldav for the calendar, plain HTTP for the address book) adds,
// changes and deletes records between our syncs: the next sync brings
// exactly those changes, and one with nothing changed asks at most two
// requests of each collection.
#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QLineEdit>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimeZone>

#include <QProgressBar>
#include <QPushButton>

#include <sqlite3.h>

#include "MailServers.h"
#include "calc/frmCal.h"
#include "controls/Buttons.h"
#include "kit/AppFolder.h"
#include "kit/Clock.h"
#include "kit/ConnectionSettings.h"
#include "kit/Occurrences.h"
#include "shell/frmMain.h"
#include "store/Connection.h"
#include "support/Files.h"
#include "support/Fixture.h"
#include "support/Run.h"
#include "sync/DavSync.h"
#include "sync/SyncNow.h"
#include "sync/SyncRecords.h"
#include "sync/frmSyncSettings.h"
#include "window/LoadingProgress.h"

class TestSyncDav : public QObject {
    Q_OBJECT
    std::unique_ptr<AppFixture> fx;
    QTemporaryDir server, folderB;
    TestCertificates certs;  // the server speaks TLS with a certificate of a test authority
    QProcess radicale;
    frmMain* main = nullptr;
    bool tls = true;
    quint16 port = 0;
    QString peerFolder;  // side 2: the folder of the other servers' test
    QString db(int side) const
    {
        return (side == 2 ? peerFolder : side ? folderB.path() : fx->appDir()) + "/Data/Tessaly.mdb";
    }
    static bool listening(quint16 port)
    {
        return waitFor(
            [&] {
                QTcpSocket s;
                s.connectToHost("127.0.0.1", port);
                return s.waitForConnected(200);
            },
            15000);
    }
    static quint16 freePort()
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost);
        return probe.serverPort();
    }

    void start()
    {
        QStringList args = QString("-m radicale --config - --storage-filesystem-folder %1 --auth-type htpasswd "
                                   "--auth-htpasswd-filename %2 --auth-htpasswd-encryption plain --server-hosts "
                                   "127.0.0.1:%3")
                               .arg(server.filePath("store"), server.filePath("users"))
                               .arg(port)
                               .split(' ');
        args[3].clear();  // no configuration file
        if (tls)
            args << "--server-ssl"
                 << "True"
                 << "--server-certificate" << certs.pem("good") << "--server-key" << certs.key("good");
        radicale.start("/usr/bin/python3", args);
        QVERIFY(listening(port));
    }
    void stop()
    {
        radicale.terminate();
        radicale.waitForFinished();
    }
    // A request to the server as another client sends it: status and body.
    std::pair<int, QByteArray> dav(const QByteArray& verb, const QString& path, const QByteArray& body = {},
                                   const QByteArray& destination = {})
    {
        QNetworkAccessManager net;
        QNetworkRequest request(QUrl(QString("https://127.0.0.1:%1%2").arg(port).arg(path)));
        QSslConfiguration ssl = request.sslConfiguration();
        ssl.addCaCertificates(QSslCertificate::fromPath(certs.pem("ca")));
        request.setSslConfiguration(ssl);
        request.setRawHeader("Authorization", "Basic " + QByteArray("user:secret").toBase64());
        if (!destination.isEmpty())
            request.setRawHeader("Destination", destination);
        std::unique_ptr<QNetworkReply> reply(net.sendCustomRequest(request, verb, body));
        QSignalSpy(reply.get(), &QNetworkReply::finished).wait(10000);
        return {reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), reply->readAll()};
    }
    void settings(int side, const QString& password)
    {
        Connection con;
        con.Open(db(side));
        SyncStore::writeSettings(
            con, {QString(tls ? "https://127.0.0.1:%1/" : "http://127.0.0.1:%1/").arg(port), "user", password}, nullptr,
            [](const Secrets::Answer&) {});
    }
    FileOutcome sync(int side, const std::function<void(int)>& progress = {})
    {
        AppFolder::setPath(side ? folderB.path() : fx->appDir());
        return SyncNow::run(progress);
    }
    // Both sides' contacts ("First|Comments") and appointment notes, sorted.
    QStringList held(int side)
    {
        QStringList out;
        for (const QVariantMap& r : Db::rows(db(side), "tblAddress"))
            out << r["FirstName"].toString() + '|' + r["Comments"].toString();
        for (const QVariantMap& r : Db::rows(db(side), "tblOrginize"))
            out << r["DateValue"].toString() + ' ' + r["Note"].toString();
        out.sort();
        return out;
    }
    // tests/sync/lying_dav.py on two free ports: A, the Sync Settings' origin, and B.
    std::pair<quint16, quint16> lie(QProcess& liar, const QString& scenario)
    {
        const quint16 a = freePort();
        quint16 b = freePort();
        while (b == a)
            b = freePort();
        QStringList args{QFINDTESTDATA("lying_dav.py"), scenario, QString::number(a), QString::number(b)};
        if (scenario == "downgrade")
            args << certs.pem("good") << certs.key("good");
        liar.start("/usr/bin/python3", args);
        return {a, b};
    }
    static QStringList heard(QProcess& liar)
    {
        liar.terminate();
        liar.waitForFinished();
        return QString::fromUtf8(liar.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    }
    // What a whole sync with nothing here asks of the honest lying_dav.py.
    static QStringList wholeSync(const QString& origin, const QString& multiget)
    {
        QStringList out;
        for (const QString& c : QStringList{"book", "cal"}) {
            out << QString("PROPFIND /.well-known/%1 auth").arg(c == "book" ? "carddav" : "caldav") << "PROPFIND / auth"
                << "PROPFIND /p/ auth"
                << "PROPFIND /home/ auth" << QString("REPORT /home/%1/ auth").arg(c);
            if (c == "book")
                out << "REPORT /home/book/ auth " + multiget;
        }
        out << "REPORT /home/cal/ auth";  // the tasks, in the calendar that takes every component
        for (QString& line : out)
            line.prepend(origin + ' ');
        return out;
    }

    // The sides synced in turn, each well; then both hold `expected`.
    void syncsAgree(std::initializer_list<int> sides, const QStringList& expected)
    {
        for (int side : sides) {
            const FileOutcome o = sync(side);
            QVERIFY2(o.ok, qPrintable(o.message));
        }
        QCOMPARE(held(0), expected);
        QCOMPARE(held(1), expected);
    }

    // The other client's to-dos, a step a line of tests/data/dav/tasks.txt:
    // its actions, then SQL here, then the tasks ("title due priority <
    // parent's title") and the Tasks line after a sync.
    void tasksBothWays(const std::function<DavSync::Result()>& sync,
                       const std::function<QString(const QStringList&)>& other)
    {
        for (const QString& step :
             QString::fromUtf8(readFile(QFINDTESTDATA("../data/dav/tasks.txt"))).split('\n', Qt::SkipEmptyParts)) {
            const QStringList c = step.split('\t');
            const QString said = c[0].isEmpty() ? QString() : other(c[0].split('|'));
            Db::exec(db(2), c[1]);
            const DavSync::Result r = sync();
            QVERIFY2(said.isEmpty() && r.ok, qPrintable(step + '\n' + said + r.lines.join('\n')));
            Db::exec(db(2),
                     "DROP TABLE IF EXISTS held; CREATE TABLE held AS SELECT t.Title||' '||t.Due||' '||t.Priority"
                     "||coalesce(' < '||p.Title, '') T FROM tblTask t LEFT JOIN tblTask p ON p.TaskRow = t.Parent "
                     "ORDER BY 1");
            QCOMPARE(Db::joined(db(2), "held", {"T"}), c[2].split('|'));
            QCOMPARE(r.lines.value(2), c.value(3, r.lines.value(2)));
        }
    }

private slots:
    void initTestCase()
    {
        fx = std::make_unique<AppFixture>();
        main = fx->openMainWindow();
        fx->makeDataFolder();
        QString why;
        QVERIFY2(certs.make(&why), qPrintable(why));
        const QList<QSslCertificate> ca = QSslCertificate::fromPath(certs.pem("ca"));
        setConnectionSettings({.extraCaCertificates = ca});
        QVERIFY(QDir(folderB.path()).mkpath("Data"));
        QVERIFY(writeFile(server.filePath("users"), "user:secret\n"));
        port = freePort();
        start();
        for (const auto& [path, verb, body] :
             {std::tuple{"book", "MKCOL",
                         "<mkcol xmlns='DAV:' xmlns:C='urn:ietf:params:xml:ns:carddav'><set><prop><resourcetype>"
                         "<collection/><C:addressbook/></resourcetype></prop></set></mkcol>"},
              std::tuple{"cal", "MKCALENDAR", ""}})
            QCOMPARE(dav(verb, QString("/user/%1/").arg(path), body).first, 201);
        settings(0, "secret");
        settings(1, "secret");
        settings(1, "secret");
    }
    void cleanupTestCase()
    {
        stop();
        fx.reset();
    }

    void converge_data()
    {
        QTest::addColumn<QString>("sqlA");
        QTest::addColumn<QString>("sqlB");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("A adds") << "INSERT INTO tblAddress (FirstName, Comments) VALUES ('Ann', ''), ('Bo', '');"
                                   "INSERT INTO tblOrginize (DateValue, TimeStart, TimeFinished, Note) VALUES "
                                   "('5/15/26', '8:30AM', '9:00 AM', 'tea')"
                                << "" << QStringList{"5/15/26 tea", "Ann|", "Bo|"};
        QTest::newRow("B adds, changes")
            << ""
            << "INSERT INTO tblAddress (FirstName) VALUES ('Cy'); UPDATE tblAddress SET Comments = 'b' "
               "WHERE FirstName = 'Ann'; UPDATE tblOrginize SET Note = 'coffee'"
            << QStringList{"5/15/26 coffee", "Ann|b", "Bo|", "Cy|"};
        QTest::newRow("both change one: kept twice") << "UPDATE tblAddress SET Comments = 'a1' WHERE FirstName = 'Bo'"
                                                     << "UPDATE tblAddress SET Comments = 'b1' WHERE FirstName = 'Bo'"
                                                     << QStringList{"5/15/26 coffee", "Ann|b", "Bo|a1", "Bo|b1", "Cy|"};
        QTest::newRow("deletes both ways")
            << "DELETE FROM tblAddress WHERE FirstName = 'Cy'"
            << "DELETE FROM tblOrginize; DELETE FROM tblAddress WHERE Comments = 'a1'" << QStringList{"Ann|b", "Bo|b1"};
        QTest::newRow("deleted there, changed here")
            << "DELETE FROM tblAddress WHERE FirstName = 'Ann'"
            << "UPDATE tblAddress SET Comments = 'kept' WHERE FirstName = 'Ann'" << QStringList{"Ann|kept", "Bo|b1"};
    }
    void converge()
    {
        QFETCH(QString, sqlA);
        QFETCH(QString, sqlB);
        QFETCH(QStringList, expected);
        if (!sqlA.isEmpty())
            Db::exec(db(0), sqlA);
        if (!sqlB.isEmpty())
            Db::exec(db(1), sqlB);
        syncsAgree({0, 1, 0}, expected);
    }

    // Another client of the server: a record it moved is the same record
    // here, and one it changes while ours is on the way is never overwritten
    // (If-Match): the next sync keeps both versions.
    void anotherClientIsNeverOverruled()
    {
        const auto mapped = [&] {
            QHash<QString, QVariantMap> out;
            for (const QVariantMap& r : Db::rows(db(0), "tblSyncMap"))
                if (r["Kind"] == "contact" && !r["LocalKey"].isNull())
                    out.insert(r["Href"].toString(), r);
            return out;
        };
        const QVariantMap first = mapped().cbegin().value();
        const QString moved = first["Href"].toString().section('/', 0, -2) + "/moved.vcf";
        QCOMPARE(
            dav("MOVE", first["Href"].toString(), {}, QString("https://127.0.0.1:%1%2").arg(port).arg(moved).toUtf8())
                .first,
            201);
        const QStringList before = held(0);
        QVERIFY(sync(0).ok);
        QCOMPARE(held(0), before);
        QVERIFY(mapped().contains(moved));
        Db::exec(db(0), "UPDATE tblAddress SET Comments = 'ours' WHERE Org_ID = " + first["LocalKey"].toString());
        const QByteArray theirs = "BEGIN:VCARD\r\nVERSION:4.0\r\nUID:" + first["UID"].toByteArray()
                                  + "\r\nFN:Theirs\r\nN:;Theirs;;;\r\nEND:VCARD\r\n";
        int put = 0;
        QVERIFY(sync(0, [&](int percent) {
                    if (percent == 50 && !put)
                        put = dav("PUT", moved, theirs).first;
                }).message.contains("Contacts"));
        QCOMPARE(put / 100, 2);
        QVERIFY(dav("GET", moved).second.contains("FN:Theirs"));
        QVERIFY(sync(0).ok);
        QVERIFY(held(0).contains("Theirs|"));
        QCOMPARE(held(0).filter("|ours").size(), 1);
    }

    // What a phone put on the server and has no field here (a photo, a
    // birthday, a labelled address, an alarm, a repeat with an exception, a
    // moved occurrence and one moved past the planner's years) is there
    // still after the record was changed here and sent back: the peer
    // libraries read only the changed property anew.
    void keptOnTheServer()
    {
        const QByteArray card =
            "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:phone-1\r\nN:Roe;Kim;;;\r\nFN:Kim Roe\r\n"
            "TEL;TYPE=CELL:0400 111 222\r\nBDAY:1990-04-01\r\nPHOTO;ENCODING=b;TYPE=JPEG:/9j/4AAQ\r\n"
            "item1.EMAIL;TYPE=INTERNET:kim@example.org\r\nitem1.X-ABLabel:work\r\nEND:VCARD\r\n";
        const QByteArray series =
            "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//phone//EN\r\nBEGIN:VEVENT\r\nUID:weekly-1\r\n"
            "DTSTAMP:20260101T000000Z\r\nDTSTART:20260602T090000Z\r\nDTEND:20260602T100000Z\r\nSUMMARY:Standup\r\n"
            "RRULE:FREQ=WEEKLY;COUNT=10\r\nEXDATE:20260616T090000Z\r\nBEGIN:VALARM\r\nACTION:DISPLAY\r\n"
            "DESCRIPTION:Standup\r\nTRIGGER:-PT10M\r\nEND:VALARM\r\nEND:VEVENT\r\nBEGIN:VEVENT\r\nUID:weekly-1\r\n"
            "RECURRENCE-ID:20260609T090000Z\r\nDTSTAMP:20260101T000000Z\r\nDTSTART:20260609T140000Z\r\n"
            "DTEND:20260609T150000Z\r\nSUMMARY:Standup moved\r\nEND:VEVENT\r\nBEGIN:VEVENT\r\nUID:weekly-1\r\n"
            "RECURRENCE-ID:20260623T090000Z\r\nDTSTAMP:20260101T000000Z\r\nDTSTART:40520623T090000Z\r\n"
            "SUMMARY:Standup far away\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";
        const std::pair<QString, QByteArray> resources[] = {{"/user/book/phone-1.vcf", card},
                                                            {"/user/cal/weekly-1.ics", series}};
        for (const auto& [path, body] : resources)
            QCOMPARE(dav("PUT", path, body).first, 201);
        QVERIFY(sync(0).ok);
        Db::exec(db(0), "UPDATE tblAddress SET Mobile = '0400 999 999' WHERE FirstName = 'Kim';"
                        "UPDATE tblOrginize SET Note = 'Daily' WHERE Note = 'Standup'");
        const FileOutcome o = sync(0);
        QCOMPARE(o.message, "Contacts: 1 sent, 0 received, 0 deleted here, 0 deleted on the server, 0 kept twice.\n"
                            "Appointments: 1 sent, 0 received, 0 deleted here, 0 deleted on the server, 0 kept twice.\n"
                            "Tasks: 0 sent, 0 received, 0 deleted here, 0 deleted on the server, 0 kept twice.");
        const QString diffs[] = {"- TEL\n+ TEL\n", "- weekly-1 SUMMARY\n+ weekly-1 SUMMARY\n"};
        for (int i = 0; i < 2; ++i) {
            const QString name = QFileInfo(resources[i].first).fileName(), before = server.filePath("sent-" + name),
                          after = server.filePath("there-" + name);
            writeFile(before, resources[i].second);
            writeFile(after, dav("GET", resources[i].first).second);
            QString read;
            QCOMPARE(run("/usr/bin/python3", {QFINDTESTDATA("peer_differs.py"), before, after}, &read), 0);
            QCOMPARE(read, diffs[i]);
        }
        // A kept card that no longer reads: the contact goes as its fields say, and the line says so.
        Db::exec(db(0), "UPDATE tblSyncKept SET Object = 'BEGIN:VCARD' WHERE UID = 'phone-1';"
                        "UPDATE tblAddress SET Mobile = '0400 000 000' WHERE FirstName = 'Kim'");
        QCOMPARE(sync(0).message.section('\n', 0, 0),
                 "Contacts: 1 sent, 0 received, 0 deleted here, 0 deleted on the server, 0 kept twice; sent 1 from "
                 "the fields alone, what was kept with them cannot be read.");
        QVERIFY(dav("GET", resources[0].first).second.contains("FN:Kim Roe\r\n"));
        // Deleted there, deleted here: nothing is kept of them.
        for (const auto& [path, body] : resources)
            QCOMPARE(dav("DELETE", path).first / 100, 2);
        QVERIFY(sync(0).ok);
        for (const QVariantMap& r : Db::rows(db(0), "tblSyncKept"))
            QVERIFY(!QStringList({"phone-1", "weekly-1"}).contains(r["UID"].toString()));
    }

    // A series whose occurrences were left out or changed here goes up again
    // with them, though its own row is as it was; then nothing goes, nor
    // after one that came from the server with its exceptions.
    void exceptionsTravelWithTheirSeries()
    {
        QCOMPARE(dav("PUT", "/user/cal/theirs.ics",
                     "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//peer//EN\r\nBEGIN:VEVENT\r\nUID:theirs\r\n"
                     "DTSTAMP:20260101T000000Z\r\nDTSTART:20260707T090000Z\r\nRRULE:FREQ=DAILY;COUNT=3\r\n"
                     "EXDATE:20260708T090000Z\r\nSUMMARY:Theirs\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n")
                     .first,
                 201);
        QVERIFY(sync(0).ok);
        const QString key = "900";
        Db::exec(db(0), "INSERT INTO tblOrginize VALUES (" + key
                            + ", '7/6/26', '8:30AM', '9:00 AM', 'Yoga');"
                              "INSERT INTO tblOrginizeSeries (OrgRow, Start, Finish, Rule) VALUES ("
                            + key + ", '20260706T083000', '20260706T090000', 'FREQ=WEEKLY;COUNT=5')");
        QCOMPARE(sync(0).message.section('\n', 1, 1).section(',', 0, 0), "Appointments: 1 sent");
        QString href;
        for (const QVariantMap& r : Db::rows(db(0), "tblSyncMap"))
            if (r["Kind"] == "appointment" && r["LocalKey"].toString() == key)
                href = r["Href"].toString();
        QVERIFY(!href.isEmpty());
        const struct {
            QString sql;
            int sent;
            QByteArray there;
            int events;  // in the series' object
        } steps[] = {
            {"UPDATE tblOrginizeSeries SET ExDates = '20260713T083000' WHERE OrgRow = " + key, 1,
             "EXDATE:20260713T083000Z\r\n", 1},
            {"INSERT INTO tblOrginize (DateValue, TimeStart, TimeFinished, Note) VALUES "
             "('7/20/26', '8:30AM', '10:00 AM', 'Yoga outside'); INSERT INTO tblOrginizeSeries "
             "(OrgRow, SeriesRow, RecurrenceId) VALUES (last_insert_rowid(), "
                 + key + ", '20260720T083000')",
             1, "RECURRENCE-ID:20260720T083000Z\r\n", 2},
            {"UPDATE tblOrginize SET Note = 'Yoga in the park' WHERE Note = 'Yoga outside'", 1,
             "SUMMARY:Yoga in the park\r\n", 2},
            {"", 0, "DTEND:20260720T100000Z\r\n", 2},
        };
        for (const auto& [sql, sent, there, events] : steps) {
            if (!sql.isEmpty())
                Db::exec(db(0), sql);
            const FileOutcome o = sync(0);
            QCOMPARE(o.message.section('\n', 1, 1).section(',', 0, 0), QString("Appointments: %1 sent").arg(sent));
            const QByteArray object = dav("GET", href).second;
            QVERIFY2(object.contains(there), object.constData());
            QCOMPARE(object.count("BEGIN:VEVENT"), events);
        }
        // Another client changes the changed occurrence: it comes down, in
        // its series' place on that day, here and in a second folder.
        QByteArray theirs = dav("GET", href).second;
        theirs.replace("SUMMARY:Yoga in the park", "SUMMARY:Yoga on the beach");
        QCOMPARE(dav("PUT", href, theirs).first / 100, 2);
        for (int side : {0, 1}) {
            QVERIFY(sync(side).ok);
            Connection con;
            con.Open(db(side));
            const QList<Occurrences::Entry> day = Occurrences::between(con, QDate(2026, 7, 20), QDate(2026, 7, 20));
            QCOMPARE(day.size(), 1);
            QCOMPARE(day[0].start + ' ' + day[0].note, "8:30AM Yoga on the beach");
        }
        QCOMPARE(sync(0).message.section('\n', 1, 1).section(',', 0, 0), "Appointments: 0 sent");
        QCOMPARE(held(1), held(0));
        // Deleted there, the series goes with its changed occurrence.
        for (const QString& path : {href, QString("/user/cal/theirs.ics")})
            QCOMPARE(dav("DELETE", path).first / 100, 2);
        for (int side : {0, 1}) {
            QVERIFY(sync(side).ok);
            QVERIFY(held(side).filter(QRegularExpression("Yoga|Theirs$")).isEmpty());
        }
    }

    // Who a meeting invites and how each answered live in its kept event
    // alone: an answer or an attendee changed here goes up though the row is
    // as it was, and once; it is not lost when another client rewrote the
    // server's copy meanwhile; an answer changed there comes down; and a
    // meeting synced before attendees counted is not sent again unchanged.
    void attendeesGoBackWithTheirMeeting()
    {
        const QString path = "/user/cal/meet-1.ics";
        QCOMPARE(dav("PUT", path,
                     "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//peer//EN\r\nBEGIN:VEVENT\r\nUID:meet-1\r\n"
                     "DTSTAMP:20260101T000000Z\r\nDTSTART:20260811T090000Z\r\nDTEND:20260811T100000Z\r\n"
                     "SUMMARY:Review\r\nORGANIZER:mailto:anna@example.com\r\nATTENDEE;PARTSTAT=ACCEPTED:mailto:"
                     "anna@example.com\r\nATTENDEE;PARTSTAT=NEEDS-ACTION:mailto:bob@example.org\r\nEND:VEVENT\r\n"
                     "END:VCALENDAR\r\n")
                     .first,
                 201);
        QVERIFY(sync(0).ok);
        const auto here = [&](const QString& from, const QString& to) {
            Db::exec(db(0), QString("UPDATE tblSyncKept SET Object = replace(Object, '%1', '%2') WHERE UID = 'meet-1'")
                                .arg(from, to));
        };
        const auto there = [&](const QByteArray& from, const QByteArray& to) {
            QCOMPARE(dav("PUT", path, dav("GET", path).second.replace(from, to)).first / 100, 2);
        };
        const auto row = [&](const QString& table) {
            for (const QVariantMap& r : Db::rows(db(0), table))
                if (r["UID"] == "meet-1")
                    return r;
            return QVariantMap();
        };
        const struct {
            std::function<void()> change;
            int sent;
            QByteArray there;
        } steps[] = {
            {[&] { here("NEEDS-ACTION:mailto:bob", "ACCEPTED:mailto:bob"); }, 1, "PARTSTAT=ACCEPTED:mailto:bob"},
            {[] {}, 0, "PARTSTAT=ACCEPTED:mailto:bob"},
            {[&] {
                 there("SUMMARY:Review", "SUMMARY:Review\r\nX-PEER:kept");
                 here("END:VEVENT", "ATTENDEE:mailto:carl@example.com\r\nEND:VEVENT");
             },
             1, "X-PEER:kept"},
            {[&] { there("ACCEPTED:mailto:bob", "DECLINED:mailto:bob"); }, 0, "mailto:carl@example.com"},
            {[&] {
                 Connection con;
                 con.Open(db(0));
                 SyncRecords rows(con, TableShape::appointments());
                 const QString old = SyncRecords::hash(rows.row(rows.keyOf("meet-1")));
                 Db::exec(db(0), "UPDATE tblSyncMap SET Hash = '" + old + "' WHERE UID = 'meet-1'");
             },
             0, "DECLINED:mailto:bob"},
        };
        for (const auto& [change, sent, held] : steps) {
            change();
            const FileOutcome o = sync(0);
            QCOMPARE(o.message.section('\n', 1, 1).section(',', 0, 0), QString("Appointments: %1 sent").arg(sent));
            QVERIFY2(dav("GET", path).second.contains(held), dav("GET", path).second.constData());
        }
        QVERIFY(row("tblSyncMap")["Hash"].toString().contains('+'));
        const QByteArray kept = row("tblSyncKept")["Object"].toByteArray();
        QVERIFY(kept.contains("DECLINED:mailto:bob") && kept.contains("mailto:carl@example.com"));
        QCOMPARE(sync(0).message.section('\n', 1, 1).section(',', 0, 0), "Appointments: 0 sent");
        QCOMPARE(dav("DELETE", path).first / 100, 2);
        QVERIFY(sync(0).ok);
    }

    // A note of two lines reads the same in the other folder whichever line
    // either side changes, typed here or a two-line summary of another
    // program's: the first line goes as SUMMARY, the rest as DESCRIPTION.
    void twoLineNotesConverge()
    {
        QCOMPARE(dav("PUT", "/user/cal/lines.ics",
                     "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//peer//EN\r\nBEGIN:VEVENT\r\nUID:lines\r\n"
                     "DTSTAMP:20260101T000000Z\r\nDTSTART:20261202T090000Z\r\nSUMMARY:Call\\nthe bank\r\n"
                     "END:VEVENT\r\nEND:VCALENDAR\r\n")
                     .first,
                 201);
        const QString set = "UPDATE tblOrginize SET Note = '%2' || char(10) || '%3' WHERE Note LIKE '%1%'";
        const struct {
            int side;
            QString sql, dentist, call;
        } steps[] = {
            {0,
             "INSERT INTO tblOrginize (DateValue, TimeStart, TimeFinished, Note) VALUES "
             "('12/1/26', '9:00AM', '', 'Dentist' || char(10) || 'bring the card')",
             "Dentist\nbring the card", "Call\nthe bank"},
            {1, set.arg("Dentist", "Dentist (moved)", "bring the card"), "Dentist (moved)\nbring the card",
             "Call\nthe bank"},
            {0, set.arg("Dentist", "Dentist (moved)", "the new card"), "Dentist (moved)\nthe new card",
             "Call\nthe bank"},
            {1, set.arg("Call", "Call", "the bank today"), "Dentist (moved)\nthe new card", "Call\nthe bank today"},
        };
        for (const auto& [side, sql, dentist, call] : steps) {
            Db::exec(db(side), sql);
            for (int s : {side, 1 - side, side})
                QVERIFY(sync(s).ok);
            for (int s : {0, 1})
                QCOMPARE(held(s).filter("12/"), QStringList({"12/1/26 " + dentist, "12/2/26 " + call}));
        }
        const QByteArray there = dav("GET", "/user/cal/lines.ics").second;
        QVERIFY2(there.contains("\r\nSUMMARY:Call\r\n") && there.contains("\r\nDESCRIPTION:the bank today\r\n"),
                 there.constData());
        for (int s : {0, 1})  // nothing changed since: neither side sends again
            QCOMPARE(sync(s).message.section('\n', 1, 1).section(',', 0, 0), "Appointments: 0 sent");
        Db::exec(db(0), "DELETE FROM tblOrginize WHERE DateValue LIKE '12/%'");
        for (int s : {0, 1})
            QVERIFY(sync(s).ok);
    }

    // Both folders change the exceptions of one series before they sync:
    // A leaves a day out, B moves another. B keeps the server's version and
    // makes its own a series of its own, and says so; then both folders and
    // the server hold both. Then A leaves out one more day while another
    // client adds what has no field here: both stay.
    void seriesChangedOnBothSidesIsKeptTwice()
    {
        Db::exec(db(0), "INSERT INTO tblOrginize VALUES (950, '8/3/26', '7:00PM', '8:00 PM', 'Choir'); INSERT INTO "
                        "tblOrginizeSeries (OrgRow, Start, Finish, Rule) VALUES (950, '20260803T190000', "
                        "'20260803T200000', 'FREQ=WEEKLY;COUNT=4')");
        QVERIFY(sync(0).ok && sync(1).ok);
        Db::exec(db(0), "UPDATE tblOrginizeSeries SET ExDates = '20260810T190000' WHERE OrgRow = 950");
        Db::exec(db(1), "INSERT INTO tblOrginize VALUES (951, '8/17/26', '8:00PM', '9:00 PM', 'Choir moved'); INSERT "
                        "INTO tblOrginizeSeries (OrgRow, SeriesRow, RecurrenceId) VALUES (951, (SELECT OrgRow FROM "
                        "tblOrginize WHERE Note = 'Choir'), '20260817T190000')");
        const QString line =
            "Appointments: %1 sent, %2 received, 0 deleted here, 0 deleted on the server, %3 kept twice.";
        for (const auto& [side, said] : {std::pair{0, line.arg(1).arg(0).arg(0)},
                                         {1, line.arg(1).arg(1).arg(1)},
                                         {0, line.arg(0).arg(1).arg(0)},
                                         {1, line.arg(0).arg(0).arg(0)}})
            QCOMPARE(sync(side).message.section('\n', 1, 1), said);
        for (int side : {0, 1}) {  // A's series without the 10th, B's with the 17th moved
            Connection con;
            con.Open(db(side));
            QStringList days;
            for (const Occurrences::Entry& e : Occurrences::between(con, QDate(2026, 8, 1), QDate(2026, 8, 31)))
                days << QString("%1 %2 %3").arg(e.date.day()).arg(e.start, e.note);
            days.sort();
            QCOMPARE(days, QStringList({"10 7:00PM Choir", "17 7:00PM Choir", "17 8:00PM Choir moved",
                                        "24 7:00PM Choir", "24 7:00PM Choir", "3 7:00PM Choir", "3 7:00PM Choir"}));
        }
        QMap<QString, QString> there;  // the series' resources by what they hold: EXDATEs, RECURRENCE-IDs
        for (const QVariantMap& r : Db::rows(db(1), "tblSyncMap"))
            if (const QByteArray o = dav("GET", r["Href"].toString()).second;
                o.contains("Choir") && r["Kind"] == "appointment")
                there.insert(QString("%1 %2").arg(o.count("EXDATE")).arg(o.count("RECURRENCE-ID")),
                             r["Href"].toString());
        QCOMPARE(there.keys(), QStringList({"0 1", "1 0"}));
        QByteArray theirs = dav("GET", there["1 0"]).second;
        theirs.replace("\r\nSUMMARY:Choir\r\n", "\r\nX-PHONE-COLOR:blue\r\nSUMMARY:Choir\r\n");
        QCOMPARE(dav("PUT", there["1 0"], theirs).first / 100, 2);
        Db::exec(db(0), "UPDATE tblOrginizeSeries SET ExDates = ExDates || ',20260824T190000' WHERE OrgRow = 950");
        QCOMPARE(sync(0).message.section('\n', 1, 1), line.arg(1).arg(0).arg(0));
        const QString after = dav("GET", there["1 0"]).second;
        QVERIFY2(after.contains("X-PHONE-COLOR:blue") && after.contains(QRegularExpression("EXDATE[^\r]*20260824T")),
                 qPrintable(after));
        Db::exec(db(0), "DELETE FROM tblOrginize WHERE Note LIKE 'Choir%'");
        QVERIFY(sync(0).ok && sync(1).ok && sync(0).ok);
        QVERIFY(held(1).filter("Choir").isEmpty());
    }

    // The File menu's sync of 1,000 new records runs beside the window: the
    // menu returns at once, other screens work, a store another program holds
    // is waited for; Cancel while sending leaves the map saying what the
    // server holds, and the next syncs complete the rest, nothing twice.
    void besideTheWindow()
    {
        Db::exec(db(0), "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 1000) "
                        "INSERT INTO tblAddress (FirstName) SELECT printf('r%04d', i) FROM n");
        const QStringList expected = held(0);
        Connection other;
        other.Open(db(0));
        QCOMPARE(sqlite3_exec(other.handle(), "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
        AppFolder::setPath(fx->appDir());
        main->command("mnuSyncNow")->trigger();
        auto* progress = visibleWindow<LoadingProgress>();
        QVERIFY(progress);
        QVERIFY(fx->messages.isEmpty());
        QVERIFY(!QApplication::activeModalWidget());
        QVERIFY(waitFor([&] { return progress->ProgressBar1->value() == 40; }, 30000));
        main->button("cmdCalculator")->click();
        auto* calc = visibleWindow<frmCal>();
        QVERIFY(calc);
        calc->cmdNum[7]->click();
        QCOMPARE(calc->txtDisp->text().trimmed(), "7");
        pump(500);
        QCOMPARE(progress->ProgressBar1->value(), 40);  // still waiting for the store
        QCOMPARE(sqlite3_exec(other.handle(), "COMMIT", nullptr, nullptr, nullptr), SQLITE_OK);
        QVERIFY(waitFor([&] { return progress->ProgressBar1->value() > 60; }, 60000));
        progress->cmdCancel->click();
        QVERIFY(waitFor([&] { return !fx->messages.isEmpty(); }, 60000));
        QCOMPARE(fx->messages.value(0).text,
                 "The sync was cancelled. What came from the server is kept; the rest goes at the next sync.");
        fx->messages.clear();
        int sent = 0;
        for (const QVariantMap& r : Db::rows(db(0), "tblSyncMap"))
            sent += r["Kind"] == "contact" && !r["Href"].toString().isEmpty();
        QVERIFY(sent > 100 && sent < 1000 + 2);
        QVERIFY(sync(1).ok);
        // The server holds what the map says, and perhaps the record whose answer the cancel cut off.
        const qsizetype there = Db::rows(db(1), "tblAddress").size();
        QVERIFY2(there == sent || there == sent + 1, qPrintable(QString("%1 %2").arg(there).arg(sent)));
        syncsAgree({0, 1}, expected);
    }

    // Where the first calendar takes no to-dos, the tasks go to the first
    // task list, and the events to the first calendar that takes them.
    void tasksInTheirOwnList()
    {
        QTemporaryDir folder;
        peerFolder = folder.path();
        QVERIFY(QDir(folder.path()).mkpath("Data"));
        for (const QString c : {"VEVENT", "VTODO"})
            QCOMPARE(dav("MKCALENDAR", "/user/a" + c + '/', readFile(QFINDTESTDATA("../data/dav/" + c + ".mkcalendar")))
                         .first,
                     201);
        Connection con;
        con.Open(db(2));
        Db::exec(db(2), "INSERT INTO tblTask (Title) VALUES ('Own list')");
        QVERIFY(
            DavSync({QString("https://127.0.0.1:%1/").arg(port), "user", "secret"}, connectionSettings()).run(con).ok);
        QCOMPARE(Db::joined(db(2), "tblSyncMap", {"Kind", "Href"}).filter("task|").value(0).section('/', 0, 2),
                 "task|/user/aVTODO");
        for (const QString c : {"VEVENT", "VTODO"})
            QCOMPARE(dav("DELETE", "/user/a" + c + '/').first / 100, 2);
    }

    void failuresChangeNothing()
    {
        setConnectionSettings({});
        QVERIFY(sync(1).message.contains("certificate"));
        setConnectionSettings({.extraCaCertificates = QSslCertificate::fromPath(certs.pem("ca"))});
        // Thirty new records; the server stops while A sends them.
        for (int i = 0; i < 30; ++i)
            Db::exec(db(0), QString("INSERT INTO tblAddress (FirstName) VALUES ('n%1')").arg(i, 2, 10, QChar('0')));
        Db::exec(db(1), "UPDATE tblAddress SET Comments = 'waits' WHERE FirstName = 'Bo'");
        const QStringList before = held(1);
        FileOutcome o = sync(0, [&](int percent) {
            if (percent > 70 && radicale.state() == QProcess::Running)
                stop();
        });
        QVERIFY(!o.ok);
        QVERIFY2(o.message.startsWith("Cannot reach the sync server 127.0.0.1"), qPrintable(o.message));
        o = sync(1);
        QVERIFY(!o.ok);
        QCOMPARE(held(1), before);
        main->command("mnuSyncNow")->trigger();  // the window says the same in a message
        QVERIFY(waitFor([&] { return !fx->messages.isEmpty(); }, 30000));
        QVERIFY(fx->messages.value(0).text.startsWith("Cannot reach the sync server"));
        QCOMPARE(fx->messages.value(0).icon, MsgIcon::Exclamation);
        tls = false;  // the command line below has no test authority; a new address finds the collections anew
        start();
        QTcpServer silent;  // accepts, never answers
        QVERIFY(silent.listen(QHostAddress::LocalHost));
        ConnectionSettings quick = connectionSettings();
        quick.answerLimit = std::chrono::milliseconds(500);
        setConnectionSettings(quick);
        AppFolder::setPath(fx->appDir());
        main->findChild<QAction*>("mnuSyncSettings")->trigger();
        auto* screen = visibleWindow<frmSyncSettings>();
        QVERIFY(screen && screen->txtSyncPassword->text() == "secret");
        screen->txtServer->setText(QString("http://127.0.0.1:%1").arg(silent.serverPort()));
        screen->cmdSave->click();
        QCOMPARE(sync(0).message, "The sync server 127.0.0.1 did not answer in time.");
        quick.answerLimit = ConnectionSettings().answerLimit;
        setConnectionSettings(quick);
        settings(0, "secret");
        settings(1, "wrong");
        o = sync(1);
        QCOMPARE(o.message, "The sync server 127.0.0.1 refused the user name or password.");
        QCOMPARE(held(1), before);
        settings(1, "");  // another computer: nothing is sent without the password
        o = sync(1);
        QVERIFY(!o.ok);
        QCOMPARE(o.message, QString("No password of the sync user user at http://127.0.0.1:%1/ is stored on this "
                                    "computer: enter it in File, Sync Settings.")
                                .arg(port));
        settings(1, "secret");
        // The command line of B, then A, converge without a record twice.
        const QString exe = copyProgram(folderB.path());
        QVERIFY(!exe.isEmpty());
        QString said;
        QVERIFY2(run(exe, {"--sync"}, &said, 60000) == 0, qPrintable(said));
        QCOMPARE(said.count('\n'), 3);
        QVERIFY(sync(0).ok && sync(1).ok);
        QCOMPARE(held(0).size(), before.size() + 30);
        QCOMPARE(held(0), held(1));
        QVERIFY(held(0).contains("Bo|waits"));
    }

    void otherClient_data()
    {
        QTest::addColumn<QString>("server");
        QTest::addColumn<QString>("user");
        QTest::newRow("xandikos") << "xandikos"
                                  << "user";
        QTest::newRow("radicale without sync-collection") << "radicale"
                                                          << "user";
        // The user's address in every path: "%40" in every href.
        QTest::newRow("xandikos, escaped paths") << "xandikos"
                                                 << "anna@example.org";
        QTest::newRow("radicale, escaped paths") << "radicale sync"
                                                 << "anna@example.org";
    }
    void otherClient()
    {
        QFETCH(QString, server);
        QFETCH(QString, user);
        QTemporaryDir store, folder;
        peerFolder = folder.path();
        QVERIFY(QDir(folder.path()).mkpath("Data"));
        Connection().Open(db(2));  // the tables
        const quint16 port = freePort();
        const QString base = QString("http://127.0.0.1:%1").arg(port);
        QProcess peer;
        if (server == "xandikos") {
            peer.start("/usr/bin/xandikos", {"-d", store.path(), "--defaults", "-l", "127.0.0.1", "-p",
                                             QString::number(port), "--current-user-principal", '/' + user + '/'});
        } else {
            QVERIFY(writeFile(store.filePath("users"), user.toUtf8() + ":secret\n"));
            peer.start("/usr/bin/python3", QStringList{QFINDTESTDATA("radicale_without_sync.py"), QString::number(port),
                                                       store.filePath("store"), store.filePath("users"), user}
                                               + server.split(' ').mid(1));
        }
        QVERIFY(listening(port));
        Db::exec(db(2), "INSERT INTO tblAddress (FirstName) VALUES ('Ann'), ('Bo');"
                        "INSERT INTO tblOrginize (DateValue, TimeStart, TimeFinished, Note) VALUES "
                        "('5/15/26', '8:30AM', '9:00 AM', 'tea'), ('5/15/26', '9:00AM', '9:30 AM', 'walk')");
        const auto sync = [&](const std::function<void(int)>& progress = {}) {
            Connection con;
            con.Open(db(2));
            return DavSync({base + '/', user, "secret"}, connectionSettings()).run(con, progress);
        };
        DavSync::Result r = sync();
        QVERIFY2(r.ok, qPrintable(r.lines.join('\n')));
        QCOMPARE(r.contacts.sent + r.appointments.sent, 4);

        QString book, calendar;
        for (const QVariantMap& row : Db::rows(db(2), "tblSyncSettings"))
            (row["Name"].toString().startsWith("contact") ? book : calendar) +=  // task.Url is not the calendar's
                row["Name"].toString().endsWith("t.Url") ? QUrl(row["Value"].toString()).path() : QString();
        const auto other = [&](const QStringList& actions) {
            QString said;
            const int status =
                run("/usr/bin/python3",
                    QStringList{QFINDTESTDATA("other_client.py"), base, "-", user, "secret", calendar, book} + actions,
                    &said, 60000);
            return status == 0 ? said : "failed: " + said;
        };
        const QString said =
            other({"card+:o1:Otto", "card~:Ann:from there", "card-:Bo", "event+:o2:20260516:lunch", "event~:tea:coffee",
                   "event-:walk", "card+:card 1:Carl", "event+:event 1:20260517:dinner"});
        QVERIFY2(!said.startsWith("failed"), qPrintable(said));

        r = sync();
        QVERIFY2(r.ok, qPrintable(r.lines.join('\n')));
        QCOMPARE(
            r.lines,
            QStringList({"Contacts: 0 sent, 3 received, 1 deleted here, 0 deleted on the server, 0 kept twice.",
                         "Appointments: 0 sent, 3 received, 1 deleted here, 0 deleted on the server, 0 kept twice.",
                         "Tasks: 0 sent, 0 received, 0 deleted here, 0 deleted on the server, 0 kept twice."}));
        QCOMPARE(held(2), QStringList({"5/15/26 coffee", "5/16/26 lunch", "5/17/26 dinner", "Ann|from there", "Carl|",
                                       "Otto|"}));

        r = sync();
        QVERIFY(r.ok);
        QCOMPARE(r.contacts.received + r.contacts.sent + r.appointments.received + r.appointments.sent, 0);
        QVERIFY2(r.requests <= 6, qPrintable(QString::number(r.requests)));
        if (user == "user")
            tasksBothWays(sync, other);

        // Resources the other client named with a blank, changed here, then
        // deleted here while the other client deletes the card: the map
        // keeps their hrefs as the server lists them, each request reaches
        // them there, and the card the server no longer has is said.
        Db::exec(db(2), "UPDATE tblAddress SET Comments = 'ours' WHERE FirstName = 'Carl';"
                        "UPDATE tblOrginize SET Note = 'supper' WHERE Note = 'dinner'");
        r = sync();
        QCOMPARE(r.contacts.sent + r.appointments.sent, 2);
        const auto href = [&](const QString& uid) {
            for (const QVariantMap& row : Db::rows(db(2), "tblSyncMap"))
                if (row["UID"] == uid)
                    return row["Href"].toString();
            return QString();
        };
        const QString card = href("card 1"), escaped = QUrl::toPercentEncoding(user);
        QCOMPARE(card, QString(book).replace(user, escaped) + "card%201.vcf");
        QCOMPARE(href("event 1"), QString(calendar).replace(user, escaped) + "event%201.ics");
        QString shown = other({"show"});
        QVERIFY2(shown.contains(card + " Carl|ours\n") && shown.contains(href("event 1") + " supper\n"),
                 qPrintable(shown));
        Db::exec(db(2),
                 "DELETE FROM tblAddress WHERE FirstName = 'Carl'; DELETE FROM tblOrginize WHERE Note = 'supper'");
        r = sync([&](int percent) {
            if (percent == 50 && !shown.isEmpty())
                shown = other({"card-:Carl"});
        });
        QVERIFY(!r.ok && shown.isEmpty());
        QCOMPARE(r.lines.value(0), "Contacts: 0 sent, 0 received, 0 deleted here, 0 deleted on the server, 0 kept "
                                   "twice; 1 to delete not found on the server, looked for again at the next sync.");
        QCOMPARE(r.appointments.deletedThere, 1);
        QVERIFY(!other({"show"}).contains("supper") && href("card 1") == card);
        QVERIFY(sync().ok && href("card 1").isEmpty());

        // A record here whose place the server holds for another: refused as
        // changed there, again after the collection was read anew: said.
        QVERIFY(!other({"card+:their-uid:Tia:taken"}).startsWith("failed"));
        Db::exec(db(2), "INSERT INTO tblAddress (Org_ID, FirstName) VALUES (500, 'Tim');"
                        "INSERT INTO tblSyncMap (Kind, UID, LocalKey) VALUES ('contact', 'taken', 500)");
        QVERIFY(sync().ok);
        r = sync();
        QCOMPARE(r.lines.value(0), "Contacts: 0 sent, 0 received, 0 deleted here, 0 deleted on the server, 0 kept "
                                   "twice; the server refused 1 again as changed there, tried again at the next sync.");
        QVERIFY(!r.ok && held(2).contains("Tim|") && !other({"show"}).contains("Tim"));

        if (server != "xandikos" || user != "user")
            return;  // Radicale's own reading of such a zone never ends: it takes no such resource

        // A resource whose zone changes every second and whose rule repeats
        // every minute: taken at once with the system's Berlin and its first
        // occurrence, each said in the line.
        const QString file = folder.filePath("hostile.ics");
        QString minutes;
        for (int m = 0; m < 60; ++m)
            minutes += QString::number(m) + (m < 59 ? "," : "");
        QVERIFY(
            writeFile(file, "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//hostile//EN\r\nBEGIN:VTIMEZONE\r\n"
                            "TZID:Europe/Berlin\r\nBEGIN:STANDARD\r\nDTSTART:19701025T030000\r\n"
                            "TZOFFSETFROM:+0200\r\nTZOFFSETTO:+0100\r\nRRULE:FREQ=SECONDLY\r\nEND:STANDARD\r\n"
                            "END:VTIMEZONE\r\nBEGIN:VEVENT\r\nUID:hostile-1\r\nDTSTAMP:20260101T000000Z\r\n"
                            "DTSTART;TZID=Europe/Berlin:20261208T100000\r\nDTEND;TZID=Europe/Berlin:20261208T110000\r\n"
                            "RRULE:FREQ=DAILY;BYMINUTE="
                                + minutes.toUtf8() + "\r\nSUMMARY:hostile\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n"));
        QVERIFY(!other({"file+:hostile-1.ics:" + file}).startsWith("failed"));
        r = sync();
        QCOMPARE(r.lines.value(1), "Appointments: 0 sent, 1 received, 0 deleted here, 0 deleted on the server, 0 kept "
                                   "twice; took only the first occurrence of 1 whose repeat rule is too large to "
                                   "expand; used the system's rules, or fixed offsets, for 1 time zone whose own "
                                   "are too large to work out.");
        QCOMPARE(Db::joined(db(2), "tblOrginize", {"DateValue", "TimeStart", "Note"}).filter("hostile"),
                 QStringList{"12/8/26|"
                             + Clock::startText(
                                 QDateTime(QDate(2026, 12, 8), QTime(9, 0), QTimeZone::utc()).toLocalTime().time())
                             + "|hostile"});
    }

    // Servers that send the sync elsewhere: nothing goes to another origin,
    // nothing changes here, and the move is the result's.
    void onlyToTheOrigin_data()
    {
        QTest::addColumn<QString>("scenario");
        QTest::addColumn<QString>("moveTo");  // the path at B the move proposes
        QTest::addColumn<int>("asked");       // of a whole sync's requests, how many reached A
        QTest::newRow("redirect to another port") << "redirect"
                                                  << "/" << 1;
        QTest::newRow("principal elsewhere") << "principal"
                                             << "/p/" << 2;
        QTest::newRow("home set elsewhere") << "home"
                                            << "/home/" << 3;
        QTest::newRow("https redirected to http") << "downgrade"
                                                  << "" << 1;
        QTest::newRow("listed outside the collection") << "outside"
                                                       << "" << 12;
    }
    void onlyToTheOrigin()
    {
        QFETCH(QString, scenario);
        QFETCH(QString, moveTo);
        QFETCH(int, asked);
        QTemporaryDir folder;
        peerFolder = folder.path();
        QVERIFY(QDir(folder.path()).mkpath("Data"));
        QProcess liar;
        const auto [a, b] = lie(liar, scenario);
        QVERIFY(listening(a) && listening(b));
        Connection con;
        con.Open(db(2));
        const QString root = QString("%1://127.0.0.1:%2/").arg(scenario == "downgrade" ? "https" : "http").arg(a);
        const QString other = QString("http://127.0.0.1:%1/").arg(b);
        if (scenario == "outside") {  // where an older sync had followed the server: found again here
            SyncStore::setValue(con, "contact.Url", other + "home/book/");
            SyncStore::setValue(con, "contact.Origin", root + "\nuser");
        }
        const DavSync::Result r = DavSync({root, "user", "secret"}, connectionSettings()).run(con);
        const QString said =
            scenario == "outside"
                ? "Contacts: 0 sent, 1 received, 0 deleted here, 0 deleted on the server, 0 kept twice; left alone 3 "
                  "the server listed outside the collection.\nAppointments: 0 sent, 0 received, 0 deleted here, 0 "
                  "deleted on the server, 0 kept twice.\nTasks: 0 sent, 0 received, 0 deleted here, 0 deleted on the "
                  "server, 0 kept twice."
            : moveTo.isEmpty()
                ? QString("The sync server %1 sends the sync to %2, which is not encrypted; nothing was sent there.")
                      .arg(root, other)
                : QString("The sync server %1 sends the sync to another server, %2; nothing was sent there.")
                      .arg(root, other + moveTo.mid(1));
        QCOMPARE(r.lines.join('\n'), said);
        QCOMPARE(r.move ? r.move->from + ' ' + r.move->to : QString(),
                 moveTo.isEmpty() ? "" : root + ' ' + other + moveTo.mid(1));
        QCOMPARE(heard(liar), wholeSync("A", "/home/book/a.vcf").mid(0, asked));
        QCOMPARE(held(2), scenario == "outside" ? QStringList{"Ann|"} : QStringList{});
        if (scenario != "outside")
            QCOMPARE(Db::rows(db(2), "tblSyncSettings").size(), 0);
    }

    // The File menu names both addresses; only a Yes makes the other server
    // the Sync Settings' and syncs there. The command line refuses the move.
    void movedOnlyWhenTaken()
    {
        QTemporaryDir folder;
        peerFolder = folder.path();
        QVERIFY(QDir(folder.path()).mkpath("Data"));
        QProcess liar;
        const auto [a, b] = lie(liar, "redirect");
        QVERIFY(listening(a) && listening(b));
        const QString from = QString("http://127.0.0.1:%1/").arg(a), to = QString("http://127.0.0.1:%1/").arg(b);
        {
            Connection con;
            con.Open(db(2));
            SyncStore::writeSettings(con, {from, "user", "secret"}, nullptr, [](const Secrets::Answer&) {});
        }
        const auto server = [&] {
            Connection con;
            con.Open(db(2));
            return SyncStore::value(con, "Server");
        };
        const QString question = QString("The sync server %1 sends the sync to another server:\n\n%2\n\nSync with that "
                                         "server from now on, and send it your user name and password?")
                                     .arg(from, to);
        AppFolder::setPath(folder.path());
        fx->messages.clear();
        fx->answers = {MsgResult::No, MsgResult::Yes};
        main->command("mnuSyncNow")->trigger();
        QVERIFY(waitFor([&] { return !fx->messages.isEmpty(); }, 30000));
        QCOMPARE(fx->messages.value(0).text, question);
        const QString exe = copyProgram(folder.path());
        QVERIFY(!exe.isEmpty());
        QString said;
        QCOMPARE(run(exe, {"--sync"}, &said, 60000), 1);
        QCOMPARE(said, QString("The sync server %1 sends the sync to another server, %2; nothing was sent there. The "
                               "command line does not follow it: File, Sync Now asks whether to.\n")
                           .arg(from, to));
        QCOMPARE(server(), from);
        main->command("mnuSyncNow")->trigger();
        QVERIFY(waitFor([&] { return fx->messages.size() == 3; }, 30000));
        QCOMPARE(fx->messages.value(1).text, question);
        QCOMPARE(fx->messages.value(2).text, "Contacts: 0 sent, 1 received, 0 deleted here, 0 deleted on the server, 0 "
                                             "kept twice.\nAppointments: 0 sent, 0 received, 0 deleted here, 0 "
                                             "deleted on the server, 0 kept twice.\nTasks: 0 sent, 0 received, 0 "
                                             "deleted here, 0 deleted on the server, 0 kept twice.");
        QCOMPARE(server(), to);
        const QString asked = "A PROPFIND /.well-known/carddav auth";
        QCOMPARE(heard(liar), QStringList({asked, asked, asked}) + wholeSync("B", "/home/book/a.vcf"));
        fx->messages.clear();
    }
};

QTEST_MAIN(TestSyncDav)
#include "test_sync_dav.moc"
