#include <QDir>
#include <QTest>
#include <QTimer>

#include "account/frmPassInfo.h"
#include "shell/frmMain.h"
#include "support/Files.h"
#include "support/Fixture.h"

// What every start does to the data folder before any screen reads it.
class TestStartup : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<AppFixture> fx;

    QString backup(const char* date) const
    {
        return fx->dataDir() + QStringLiteral("/Backup/Tessaly-%1.mdb").arg(date);
    }
    static QList<QVariantMap> contacts(const QString& db) { return Db::rows(db, QStringLiteral("tblAddress")); }
    // Starts the program on the data folder as it is; the first-run setup it
    // shows (there is no marker) is closed at once.
    void start()
    {
        QTimer::singleShot(0, [] { Screens::unload<frmPassInfo>(); });
        Screens::show<frmMain>();
    }

private slots:
    void init()
    {
        fx = std::make_unique<AppFixture>();
        fx->makeDataFolder();
        Db::exec(fx->dbPath(), QStringLiteral("INSERT INTO tblAddress (FirstName) VALUES ('Ann')"));
    }
    void cleanup() { fx.reset(); }

    void aDamagedStoreIsPutAsideOnlyWhenTheUserSaysSo_data()
    {
        QTest::addColumn<MsgResult>("answer");
        QTest::addColumn<QString>("restored");  // the backup the store is afterwards a copy of; empty: none
        QTest::newRow("newest backup") << MsgResult::Yes << "2026-05-14";
        QTest::newRow("empty store") << MsgResult::No << "";
        QTest::newRow("leave it") << MsgResult::Cancel << "";
    }
    void aDamagedStoreIsPutAsideOnlyWhenTheUserSaysSo()
    {
        QFETCH(MsgResult, answer);
        QFETCH(QString, restored);
        QVERIFY(QDir().mkpath(fx->dataDir() + QStringLiteral("/Backup")));
        for (const char* date : {"2026-05-13", "2026-05-14"}) {
            QVERIFY(QFile::copy(fx->dbPath(), backup(date)));
            Db::exec(fx->dbPath(), QStringLiteral("UPDATE tblAddress SET FirstName = 'Bob'"));
        }
        QVERIFY(writeFile(backup("2026-05-15"), QByteArray(4096, 'x')));  // newer, but itself no database
        QByteArray damaged = readFile(fx->dbPath());
        damaged.replace(0, 16, "not a database!");
        QVERIFY(writeFile(fx->dbPath(), damaged));
        fx->answers = {answer};
        start();
        QCOMPARE(fx->messageBoxes().value(0),
                 QStringLiteral("Critical|Tessaly 2002|The database file %1 cannot be used: file is not a database.\n\n"
                                "It can be put aside as Tessaly-damaged-2026-05-15.mdb (nothing is deleted) and the "
                                "program can go on with the newest backup, of 5/14/26 (Yes), or with an empty database "
                                "(No). Cancel leaves the file as it is.")
                     .arg(fx->dbPath()));
        QCOMPARE(fx->messages[0].buttons, MsgButtons::YesNoCancel);
        QCOMPARE(
            readFile(answer == MsgResult::Cancel ? fx->dbPath() : fx->dataDir() + "/Tessaly-damaged-2026-05-15.mdb"),
            damaged);
        if (answer != MsgResult::Cancel) {
            QCOMPARE(contacts(fx->dbPath()),
                     restored.isEmpty() ? QList<QVariantMap>() : contacts(backup(qPrintable(restored))));
            QCOMPARE(fx->messages.size(), 1);  // the store serves the setup screen again
        }
    }

    void everyStartLeavesTheDataToTheOwnerAndADailyBackup()
    {
        const QString notes = fx->appDir() + QStringLiteral("/Note");
        const QStringList folders = {fx->dataDir(), notes, fx->dataDir() + QStringLiteral("/Backup")};
        for (const QString& path : folders)
            QVERIFY(QDir().mkpath(path) && QFile::setPermissions(path, QFileDevice::Permissions(0x7755)));
        for (const QString& path : {fx->dbPath(), notes + QStringLiteral("/a.nte"), backup("2026-05-01")})
            QVERIFY(writeFile(path, readFile(path)) && QFile::setPermissions(path, QFileDevice::Permissions(0x6644)));
        start();
        for (const QString& folder : folders)
            QCOMPARE(ownerGroupOther(folder), 0700);
        for (const QString& file :
             {fx->dbPath(), notes + QStringLiteral("/a.nte"), backup("2026-05-01"), backup("2026-05-15")})
            QCOMPARE(ownerGroupOther(file), 0600);
        QCOMPARE(contacts(backup("2026-05-15")), contacts(fx->dbPath()));
        QVERIFY(fx->messages.isEmpty());
    }
};

QTEST_MAIN(TestStartup)
#include "test_startup.moc"
