#include <QFile>
#include <QProcess>
#include <QTest>

#include "support/Fixture.h"
#include "store/Connection.h"
#include "store/Recordset.h"
#include "store/StoreError.h"

class TestStore : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<AppFixture> fx;
    Connection con;

    void addContact(const QString& first, const QString& last = QString())
    {
        Recordset rs;
        rs.Open(con, QStringLiteral("tblAddress"));
        rs.AddNew();
        rs.Fields(QStringLiteral("FirstName")) = first;
        rs.Fields(QStringLiteral("LastName")) = last;
        rs.Update();
    }

    QStringList firstNames()
    {
        QStringList names;
        for (const QVariantMap& row : Db::rows(fx->dbPath(), QStringLiteral("tblAddress")))
            names << row[QStringLiteral("FirstName")].toString();
        return names;
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

    void newFileHasTheFourEmptyTablesAndOwnerOnlyMode()
    {
        for (const char* table : {"tblPass", "tblEmail", "tblAddress", "tblOrginize"})
            QCOMPARE(Db::rows(fx->dbPath(), QLatin1String(table)).size(), 0);
        QCOMPARE(QFile::permissions(fx->dbPath()) & (QFile::ReadGroup | QFile::ReadOther | QFile::WriteGroup),
                 QFile::Permissions());
    }

    void rowsComeBackInInsertionOrderWithDatabaseChosenKeys()
    {
        for (const char* name : {"Zoe", "adam", "Mike", "Adam"})
            addContact(QLatin1String(name));
        Recordset rs;
        rs.Open(con, QStringLiteral("tblAddress"));
        QCOMPARE(rs.RecordCount(), 4);
        QStringList seen;
        QList<qint64> keys;
        for (; !rs.isEOF(); rs.MoveNext()) {
            seen << rs.Fields(QStringLiteral("FirstName")).toString();
            keys << rs.Fields(QStringLiteral("Org_ID")).value().toLongLong();
        }
        QCOMPARE(seen, QStringList({"Zoe", "adam", "Mike", "Adam"}));
        QCOMPARE(keys, QList<qint64>({1, 2, 3, 4}));
        QVERIFY_THROWS_EXCEPTION(StoreError, rs.MoveNext());
        QVERIFY_THROWS_EXCEPTION(StoreError, rs.Fields(QStringLiteral("FirstName")).toString());
        rs.MoveFirst();
        QCOMPARE(rs.Fields(QStringLiteral("FirstName")).toString(), QStringLiteral("Zoe"));
    }

    void textConditionsIgnoreCaseButNothingElse()
    {
        for (const char* name : {"Adam", "adam", "ADAM ", "Ada"})
            addContact(QLatin1String(name));
        Recordset rs;
        rs.Open(con, QStringLiteral("SELECT * FROM tblAddress WHERE FirstName = ?"), {QStringLiteral("adam")});
        QCOMPARE(rs.RecordCount(), 2);
        rs.Open(con, QStringLiteral("select * from tblAddress where Org_ID = ?"), {4});
        QCOMPARE(rs.Fields(QStringLiteral("FirstName")).toString(), QStringLiteral("Ada"));
    }

    void hostileValuesAreStoredAndFoundExactly_data()
    {
        QTest::addColumn<QString>("value");
        QTest::newRow("single quote") << QStringLiteral("O'Brien");
        QTest::newRow("double quote") << QStringLiteral("The \"Boss\"");
        QTest::newRow("semicolon") << QStringLiteral("a;b");
        QTest::newRow("comment") << QStringLiteral("x' --");
        QTest::newRow("percent") << QStringLiteral("100%");
        QTest::newRow("always true") << QStringLiteral("' OR '1'='1");
        QTest::newRow("statement") << QStringLiteral("\"; DROP TABLE tblAddress; --");
    }
    void hostileValuesAreStoredAndFoundExactly()
    {
        QFETCH(QString, value);
        addContact(QStringLiteral("Anne"), QStringLiteral("Other"));
        addContact(value, QStringLiteral("Target"));
        addContact(QStringLiteral("Bob"), QStringLiteral("Other"));

        Recordset rs;
        rs.Open(con, QStringLiteral("SELECT * FROM tblAddress WHERE FirstName = ?"), {value});
        QCOMPARE(rs.RecordCount(), 1);
        QCOMPARE(rs.Fields(QStringLiteral("LastName")).toString(), QStringLiteral("Target"));
        rs.Fields(QStringLiteral("LastName")) = QStringLiteral("Changed");
        rs.Update();

        const QList<QVariantMap> rows = Db::rows(fx->dbPath(), QStringLiteral("tblAddress"));
        QCOMPARE(rows.size(), 3);
        QCOMPARE(rows[0][QStringLiteral("LastName")].toString(), QStringLiteral("Other"));
        QCOMPARE(rows[1][QStringLiteral("FirstName")].toString(), value);
        QCOMPARE(rows[1][QStringLiteral("LastName")].toString(), QStringLiteral("Changed"));
        QCOMPARE(rows[2][QStringLiteral("LastName")].toString(), QStringLiteral("Other"));
    }

    void deleteRemovesExactlyTheCurrentRow()
    {
        for (const char* name : {"A", "B", "C"})
            addContact(QLatin1String(name));
        Recordset rs;
        rs.Open(con, QStringLiteral("SELECT * FROM tblAddress WHERE Org_ID = ?"), {2});
        rs.Delete();
        QVERIFY(rs.isEOF());
        QCOMPARE(firstNames(), QStringList({"A", "C"}));
    }

    void unsetFieldsOfANewRowAreEmptyTextNotNull()
    {
        Recordset rs;
        rs.Open(con, QStringLiteral("tblEmail"));
        rs.AddNew();
        rs.Fields(QStringLiteral("SMTP")) = QStringLiteral("mail.example.org");
        rs.Update();
        QCOMPARE(rs.Fields(QStringLiteral("EmailInfo")).value().toLongLong(), 1);
        const QVariantMap row = Db::rows(fx->dbPath(), QStringLiteral("tblEmail")).value(0);
        QCOMPARE(row[QStringLiteral("Remote")], QVariant(QString()));
        QVERIFY(!row[QStringLiteral("Remote")].isNull());
    }

    void aRefusedWriteLeavesNoRowAndSaysWhy()
    {
        addContact(QStringLiteral("Kept"));
        Db::exec(fx->dbPath(), QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON tblAddress "
                                              "BEGIN SELECT RAISE(ABORT, 'contacts are frozen'); END"));
        try {
            addContact(QStringLiteral("Lost"));
            QFAIL("the insert was not refused");
        } catch (const StoreError& e) {
            QVERIFY2(e.reason().contains(QStringLiteral("contacts are frozen")), qPrintable(e.reason()));
            QVERIFY(e.reason().contains(QStringLiteral("tblAddress")));
        }
        QCOMPARE(firstNames(), QStringList({"Kept"}));
    }

    void aReadOnlyFileServesReadsAndRefusesWrites()
    {
        addContact(QStringLiteral("Kept"));
        con.Close();
        // Root ignores permission bits, so make the file immutable instead.
        if (QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("+i"), fx->dbPath()}) != 0)
            QSKIP("chattr +i is not available here");
        auto undo = qScopeGuard([&] { QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("-i"), fx->dbPath()}); });
        con.Open(fx->dbPath());
        QCOMPARE(firstNames(), QStringList({"Kept"}));
        QVERIFY_THROWS_EXCEPTION(StoreError, addContact(QStringLiteral("Lost")));
        QCOMPARE(firstNames(), QStringList({"Kept"}));
    }

    void unopenableFilesNameTheFileAndTheReason()
    {
        con.Close();
        Connection other;
        QFile junk(fx->dataDir() + QStringLiteral("/Tessaly.mdb"));
        QVERIFY(junk.open(QIODevice::WriteOnly | QIODevice::Truncate));
        junk.write(QByteArray(4096, 'x'));
        junk.close();
        try {
            other.Open(fx->dbPath());
            QFAIL("a file of junk was opened");
        } catch (const StoreError& e) {
            QVERIFY2(e.reason().contains(QStringLiteral("Tessaly.mdb")), qPrintable(e.reason()));
            QVERIFY2(e.reason().contains(QStringLiteral("not a database")), qPrintable(e.reason()));
        }
        QVERIFY(!other.isOpen());

        QVERIFY_THROWS_EXCEPTION(StoreError, other.Open(fx->appDir() + QStringLiteral("/Missing/Tessaly.mdb")));
        QFile plain(fx->appDir() + QStringLiteral("/File"));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.close();
        try {
            other.Open(fx->appDir() + QStringLiteral("/File/Tessaly.mdb"));
            QFAIL("a file was used as a folder");
        } catch (const StoreError& e) {
            QVERIFY2(e.reason().contains(QStringLiteral("is a file, not a folder")), qPrintable(e.reason()));
        }
    }

    void keysFromTextBoxesMustBeWholeNumbers()
    {
        QCOMPARE(parseKey(QStringLiteral("42")), std::optional<qint64>(42));
        QCOMPARE(parseKey(QStringLiteral(" 7 ")), std::optional<qint64>(7));
        for (const char* bad : {"", "1 OR 1=1", "-1", "3.5", "0x10", "99999999999999999999"})
            QVERIFY2(!parseKey(QLatin1String(bad)), bad);
    }

    void onlyTheSupportedQueryShapesAreAccepted()
    {
        Recordset rs;
        QVERIFY_THROWS_EXCEPTION(StoreError, rs.Open(con, QStringLiteral("DELETE FROM tblAddress")));
        QVERIFY_THROWS_EXCEPTION(StoreError, rs.Open(con, QStringLiteral("SELECT * FROM tblAddress WHERE FirstName = ?")));
        QVERIFY_THROWS_EXCEPTION(StoreError, rs.Open(con, QStringLiteral("tblNothing")));
    }
};

QTEST_MAIN(TestStore)
#include "test_store.moc"
