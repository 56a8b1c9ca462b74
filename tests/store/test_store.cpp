#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include <sqlite3.h>

#include <csignal>
#include <cstdio>
#include <unistd.h>

#include "store/Connection.h"
#include "store/RecordsChanged.h"
#include "store/Recordset.h"
#include "store/StoreError.h"
#include "support/Fixture.h"

namespace {
// Started as a child by savedRowsSurviveAKill: saves one contact into the
// file the environment names, says so, and waits to be killed.
[[noreturn]] void saveAndWait(const QString& path)
{
    Connection con;
    con.Open(path);
    Recordset rs;
    rs.Open(con, QStringLiteral("tblAddress"));
    rs.AddNew();
    rs.Fields(QStringLiteral("FirstName")) = QStringLiteral("Survivor");
    rs.Update();
    std::fputs("saved\n", stdout);
    std::fflush(stdout);
    for (;;)
        pause();
}
}  // namespace

class TestStore : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<AppFixture> fx;
    Connection con;

    void addContact(const QString& first)
    {
        Recordset rs;
        rs.Open(con, QStringLiteral("tblAddress"));
        rs.AddNew();
        rs.Fields(QStringLiteral("FirstName")) = first;
        rs.Update();
    }

    // Each stored contact as "key|first|last".
    QStringList stored()
    {
        return Db::joined(fx->dbPath(), QStringLiteral("tblAddress"), {"Org_ID", "FirstName", "LastName"});
    }

private slots:
    void init()
    {
        fx = std::make_unique<AppFixture>();
        fx->makeDataFolder();
        con.Open(fx->dbPath());
    }
    void cleanup()
    {
        con.Close();
        fx.reset();
    }

    // Text conditions ignore letter case and nothing else; quotes are just
    // characters; rows come back in the order they were added.
    void valuesAreStoredAndFoundExactly()
    {
        const QStringList names = {"Adam", "O'Brien", "' OR '1'='1", "\"; DROP TABLE tblAddress; --", "ADAM "};
        for (const QString& name : names)
            addContact(name);
        Recordset rs;
        for (const QString& name : names) {
            rs.Open(con, QStringLiteral("SELECT * FROM tblAddress WHERE FirstName = ?"), {name.toLower()});
            QCOMPARE(rs.RecordCount(), 1);
            rs.Fields(QStringLiteral("LastName")) = name.size();
            rs.Update();
        }
        QCOMPARE(stored(), QStringList({"1|Adam|4", "2|O'Brien|7", "3|' OR '1'='1|11",
                                        "4|\"; DROP TABLE tblAddress; --|28", "5|ADAM |5"}));
        rs.Open(con, QStringLiteral("tblAddress"));
        QCOMPARE(rs.Fields(QStringLiteral("Email")).value(), QVariant(QString()));
        for (int i = 0; i < 5; ++i)
            rs.MoveNext();
        QVERIFY_THROWS_EXCEPTION(StoreError, rs.Fields(QStringLiteral("FirstName")).toString());
    }

    // The refused write leaves no row, says why, and leaves the connection
    // able to write the next one.
    void aRefusedWriteIsRolledBack()
    {
        addContact(QStringLiteral("Kept"));
        Db::exec(fx->dbPath(), QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON tblAddress WHEN NEW.FirstName = "
                                              "'Lost' BEGIN SELECT RAISE(ABORT, 'contacts are frozen'); END"));
        try {
            addContact(QStringLiteral("Lost"));
            QFAIL("the insert was not refused");
        } catch (const StoreError& e) {
            QCOMPARE(e.reason(), QStringLiteral("The record in tblAddress could not be written: contacts are frozen."));
        }
        addContact(QStringLiteral("Next"));
        QCOMPARE(stored(), QStringList({"1|Kept|", "2|Next|"}));
    }

    // A save is in the log, not yet in the file, when the process dies; the
    // next open finds it. The log is the owner's alone, like the file.
    void savedRowsSurviveAKill()
    {
        con.Close();
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TESSALY_SAVE_AND_WAIT"), fx->dbPath());
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {});
        while (!child.readAllStandardOutput().contains("saved"))
            QVERIFY(child.waitForReadyRead(10000));
        child.kill();
        QVERIFY(child.waitForFinished());
        QCOMPARE(child.exitStatus(), QProcess::CrashExit);
        const QFileInfo wal(fx->dbPath() + QStringLiteral("-wal"));
        QVERIFY(wal.size() > 0);
        QCOMPARE(wal.permissions() & 0x0777, QFile::ReadUser | QFile::WriteUser);
        QCOMPARE(stored(), QStringList({"1|Survivor|"}));
    }

    // Closing one screen's connection while another is still open leaves
    // every committed row in the file itself, ready to be copied.
    void aClosedConnectionLeavesTheFileComplete()
    {
        Connection other;
        other.Open(fx->dbPath());
        addContact(QStringLiteral("Copied"));
        con.Close();
        const QString copy = fx->dbPath() + QStringLiteral(".copy");
        QVERIFY(QFile::copy(fx->dbPath(), copy));
        QCOMPARE(Db::rows(copy, QStringLiteral("tblAddress")).size(), 1);
    }

    // Rows written through a connection of this program are told by kind and
    // key, once per turn of the event loop; a commit from elsewhere is seen
    // by the watch's timer as a change of every kind. Neither is told twice.
    void changesAreTold_data()
    {
        QTest::addColumn<bool>("here");
        QTest::addColumn<QString>("sql");
        QTest::addColumn<int>("kinds");
        QTest::addColumn<qint64>("key");  // of the first kind told; -1: keys not known
        const int contacts = RecordsChange::Contacts, appointments = RecordsChange::Appointments;
        QTest::newRow("contact saved") << true << "INSERT INTO tblAddress (Org_ID) VALUES (7)" << contacts << 7LL;
        QTest::newRow("appointment and series deleted")
            << true << "INSERT INTO tblOrginizeSeries (OrgRow) VALUES (3); DELETE FROM tblOrginizeSeries"
            << appointments << 3LL;
        QTest::newRow("a whole address book")
            << true
            << "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 1001) "
               "INSERT INTO tblAddress (FirstName) SELECT 'c' || i FROM n"
            << contacts << -1LL;
        QTest::newRow("no record") << true << "INSERT INTO tblPass (UserName) VALUES ('u')" << 0 << -1LL;
        QTest::newRow("another process") << false << "INSERT INTO tblAddress (Org_ID) VALUES (7)"
                                         << int(RecordsChange::All) << -1LL;
    }
    void changesAreTold()
    {
        QFETCH(bool, here);
        QFETCH(QString, sql);
        QFETCH(int, kinds);
        QFETCH(qint64, key);
        DataVersionWatch watch(fx->dbPath());
        QSignalSpy told(&RecordsChanged::instance(), &RecordsChanged::changed);
        if (here)
            QCOMPARE(sqlite3_exec(con.handle(), sql.toUtf8().constData(), nullptr, nullptr, nullptr), SQLITE_OK);
        else
            Db::exec(fx->dbPath(), sql);
        QVERIFY(!kinds || told.wait(3000));
        watch.check();
        QCoreApplication::processEvents();
        QCOMPARE(told.size(), kinds ? 1 : 0);
        if (!kinds)
            return;
        const auto change = told.first().first().value<RecordsChange>();
        QCOMPARE(int(change.kinds), kinds);
        QCOMPARE(change.from(con), here);
        const auto kind = RecordsChange::Kind(kinds & -kinds);
        QVERIFY(change.mayTouch(kind, key < 0 ? 5 : key));
        QCOMPARE(change.mayTouch(kind, 12345), key < 0);
    }

    // A month page's bold days read the days' dates and times from an index
    // alone; a store made with the older index on the date gets the new
    // one, in its place, when it is opened.
    void theDaysTimesAreReadFromAnIndex()
    {
        con.Close();
        Db::exec(fx->dbPath(),
                 QStringLiteral("DROP INDEX ixOrginizeDay; CREATE INDEX ixOrginizeDate ON tblOrginize(DateValue)"));
        con.Open(fx->dbPath());
        const auto lines = [this](const char* sql, int column) {
            QStringList out;
            sqlite3_stmt* st = nullptr;
            if (sqlite3_prepare_v2(con.handle(), sql, -1, &st, nullptr) == SQLITE_OK)
                while (sqlite3_step(st) == SQLITE_ROW)
                    out << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, column)));
            sqlite3_finalize(st);
            return out.join(u'\n');
        };
        QCOMPARE(lines("SELECT name FROM sqlite_master WHERE type = 'index' AND tbl_name = 'tblOrginize' "
                       "ORDER BY name",
                       0),
                 QStringLiteral("ixOrginizeDay\nixOrginizeFinished\nixOrginizeStart"));
        QVERIFY(lines("EXPLAIN QUERY PLAN SELECT DateValue, TimeStart, TimeFinished FROM tblOrginize "
                      "WHERE DateValue IN ('1/2/26', '1/3/26')",
                      3)
                    .contains(QLatin1String("COVERING INDEX ixOrginizeDay")));
    }

    void keysFromTextBoxesMustBeWholeNumbersThatFit()
    {
        QCOMPARE(parseKey(QStringLiteral(" 7 ")), std::optional<qint64>(7));
        QCOMPARE(parseKey(QStringLiteral("999999999999999999")), std::optional<qint64>(999999999999999999));
        for (const char* bad : {"", "1 OR 1=1", "-1", "3.5", "9999999999999999999"})
            QVERIFY2(!parseKey(QLatin1String(bad)), bad);
    }
};

int main(int argc, char* argv[])
{
    if (const QString path = qEnvironmentVariable("TESSALY_SAVE_AND_WAIT"); !path.isEmpty())
        saveAndWait(path);
    QCoreApplication app(argc, argv);
    TestStore test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "test_store.moc"
