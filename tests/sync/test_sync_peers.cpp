// The sync against more servers than one, and with a client that is not
// ours: Xandikos, and Radicale refusing sync-collection (so the sync lists
// ETags instead). Between our syncs another client (python3-caldav for the
// calendar, plain HTTP for the address book) adds, changes and deletes
// records; the next sync brings exactly those changes, and a sync with
// nothing changed asks at most two requests of each collection.
#include <QProcess>
#include <QScopeGuard>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include "kit/ConnectionSettings.h"
#include "store/Connection.h"
#include "support/Fixture.h"
#include "sync/DavSync.h"

namespace {
quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort();
}
}  // namespace

class TestSyncPeers : public QObject {
    Q_OBJECT
    std::unique_ptr<AppFixture> fx;

    QString base;
    DavSync::Result sync()
    {
        Connection con;
        con.Open(fx->dbPath());
        DavSync s({base + '/', "user", "secret"}, connectionSettings());
        return s.run(con);
    }
    QStringList held()
    {
        QStringList out;
        for (const QVariantMap& r : Db::rows(fx->dbPath(), "tblAddress"))
            out << r["FirstName"].toString() + '|' + r["Comments"].toString();
        for (const QVariantMap& r : Db::rows(fx->dbPath(), "tblOrginize"))
            out << r["DateValue"].toString() + ' ' + r["Note"].toString();
        out.sort();
        return out;
    }

private slots:
    void otherClient_data()
    {
        QTest::addColumn<QString>("server");
        QTest::newRow("xandikos") << "xandikos";
        QTest::newRow("radicale without sync-collection") << "radicale";
    }
    void otherClient()
    {
        QFETCH(QString, server);
        fx = std::make_unique<AppFixture>();
        fx->makeDataFolder();
        QTemporaryDir store;
        const quint16 port = freePort();
        base = QString("http://127.0.0.1:%1").arg(port);
        QProcess peer;
        if (server == "xandikos") {
            peer.start("/usr/bin/xandikos", {"-d", store.path(), "--defaults", "-l", "127.0.0.1", "-p",
                                             QString::number(port), "--current-user-principal", "/user/"});
        } else {
            QFile users(store.filePath("users"));
            QVERIFY(users.open(QIODevice::WriteOnly) && users.write("user:secret\n"));
            users.close();
            peer.start("/usr/bin/python3", {QFINDTESTDATA("radicale_without_sync.py"), QString::number(port),
                                            store.filePath("store"), users.fileName()});
        }
        const auto cleanup = qScopeGuard([&] {
            peer.terminate();
            peer.waitForFinished();
        });
        QVERIFY(waitFor(
            [&] {
                QTcpSocket s;
                s.connectToHost("127.0.0.1", port);
                return s.waitForConnected(200);
            },
            15000));
        if (server == "radicale")
            for (const auto& [path, verb, body] :
                 {std::tuple{"book", "MKCOL",
                             "<mkcol xmlns='DAV:' xmlns:C='urn:ietf:params:xml:ns:carddav'><set><prop><resourcetype>"
                             "<collection/><C:addressbook/></resourcetype></prop></set></mkcol>"},
                  std::tuple{"cal", "MKCALENDAR", ""}}) {
                DavClient client("user", "secret", connectionSettings());
                QCOMPARE(client.send(verb, QUrl(base + "/user/" + path + '/'), body).status, 201);
            }
        Db::exec(fx->dbPath(), "INSERT INTO tblAddress (FirstName) VALUES ('Ann'), ('Bo');"
                               "INSERT INTO tblOrginize (DateValue, TimeStart, TimeFinished, Note) VALUES "
                               "('5/15/26', '8:30AM', '9:00 AM', 'tea'), ('5/15/26', '9:00AM', '9:30 AM', 'walk')");
        DavSync::Result r = sync();
        QVERIFY2(r.ok, qPrintable(r.lines.join('\n')));
        QCOMPARE(r.contacts.sent + r.appointments.sent, 4);

        QString book, calendar;
        for (const QVariantMap& row : Db::rows(fx->dbPath(), "tblSyncSettings"))
            (row["Name"].toString().startsWith("contact") ? book : calendar) +=
                row["Name"].toString().endsWith(".Url") ? QUrl(row["Value"].toString()).path() : QString();
        QProcess other;
        other.setProcessChannelMode(QProcess::MergedChannels);
        other.start("/usr/bin/python3", {QFINDTESTDATA("other_client.py"), base, "-", "user", "secret", calendar, book,
                                         "card+:o1:Otto", "card~:Ann:from there", "card-:Bo",
                                         "event+:o2:20260516:lunch", "event~:tea:coffee", "event-:walk"});
        QVERIFY(other.waitForFinished(60000));
        QVERIFY2(other.exitCode() == 0, other.readAll().constData());

        r = sync();
        QVERIFY2(r.ok, qPrintable(r.lines.join('\n')));
        QCOMPARE(
            r.lines,
            QStringList({"Contacts: 0 sent, 2 received, 1 deleted here, 0 deleted on the server, 0 kept twice.",
                         "Appointments: 0 sent, 2 received, 1 deleted here, 0 deleted on the server, 0 kept twice."}));
        QCOMPARE(held(), QStringList({"5/15/26 coffee", "5/16/26 lunch", "Ann|from there", "Otto|"}));

        r = sync();
        QVERIFY(r.ok);
        QCOMPARE(r.contacts.received + r.contacts.sent + r.appointments.received + r.appointments.sent, 0);
        QVERIFY2(r.requests <= 4, qPrintable(QString::number(r.requests)));
    }
};

QTEST_MAIN(TestSyncPeers)
#include "test_sync_peers.moc"
