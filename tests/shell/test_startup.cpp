#include <QDir>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include "account/frmPassInfo.h"
#include "kit/StoreStart.h"
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
    // shows (there is no marker) runs `meanwhile`, then closes. Returns once
    // the check after the main window shows has ended.
    void start(const std::function<void()>& meanwhile = [] {})
    {
        QTimer::singleShot(0, [meanwhile] {
            meanwhile();
            Screens::unload<frmPassInfo>();
        });
        Screens::show<frmMain>();
        QSignalSpy checked(Screens::load<frmMain>()->findChild<StoreCheck*>(), &StoreCheck::finished);
        QVERIFY(checked.wait(10000));
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
        QTest::newRow("newest backup") << MsgResult::Yes << "2026-05-13";
        QTest::newRow("empty store") << MsgResult::No << "";
        QTest::newRow("leave it") << MsgResult::Cancel << "";
    }
    void aDamagedStoreIsPutAsideOnlyWhenTheUserSaysSo()
    {
        QFETCH(MsgResult, answer);
        QFETCH(QString, restored);
        QVERIFY(QDir().mkpath(fx->dataDir() + QStringLiteral("/Backup")));
        for (const char* date : {"2026-05-12", "2026-05-13"}) {
            QVERIFY(QFile::copy(fx->dbPath(), backup(date)));
            Db::exec(fx->dbPath(), QStringLiteral("UPDATE tblAddress SET FirstName = 'Bob'"));
        }
        // Newer, but holding no record: offered only when no fuller copy exists.
        Db::exec(fx->dbPath(), QStringLiteral("DELETE FROM tblAddress"));
        QVERIFY(QFile::copy(fx->dbPath(), backup("2026-05-14")));
        QVERIFY(writeFile(backup("2026-05-15"), QByteArray(4096, 'x')));  // newer, but itself no database
        QByteArray damaged = readFile(fx->dbPath());
        damaged.replace(0, 16, "not a database!");
        QVERIFY(writeFile(fx->dbPath(), damaged));
        fx->answers = {answer};
        QTimer::singleShot(0, [] { Screens::unload<frmPassInfo>(); });
        Screens::show<frmMain>();
        QCOMPARE(fx->messageBoxes().value(0),
                 QStringLiteral("Critical|Tessaly 2002|The database file %1 cannot be used: file is not a database.\n\n"
                                "It can be put aside as Tessaly-damaged-2026-05-15.mdb (nothing is deleted) and the "
                                "program can go on with the newest backup, of 5/13/26 (Yes), or with an empty database "
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
        // Already while the first screen waits for the user.
        QList<int> modes;
        start([&] {
            for (const QString& path : folders + QStringList{fx->dbPath(), notes + "/a.nte", backup("2026-05-01")})
                modes << ownerGroupOther(path);
        });
        QCOMPARE(modes, QList<int>({0700, 0700, 0700, 0600, 0600, 0600}));
        QCOMPARE(ownerGroupOther(backup("2026-05-15")), 0600);
        QCOMPARE(contacts(backup("2026-05-15")), contacts(fx->dbPath()));
        QVERIFY(fx->messages.isEmpty());
    }

    // Damage that reading the account does not meet is found by the whole
    // check after the window shows: told then, no copy taken of it, and the
    // next start offers the choice before the login.
    void damageFoundLaterIsToldAndOfferedAtTheNextStart()
    {
        for (int i = 0; i < 400; ++i)
            Db::exec(fx->dbPath(), QStringLiteral("INSERT INTO tblAddress (Comments) VALUES (hex(randomblob(300)))"));
        QByteArray bytes = readFile(fx->dbPath());
        bytes.replace(bytes.size() - 4096, 4096, QByteArray(4096, '\xff'));
        QVERIFY(writeFile(fx->dbPath(), bytes));
        start();
        QCOMPARE(fx->messages.size(), 1);
        QVERIFY2(fx->messageTexts()[0].startsWith("The database file " + fx->dbPath() + " fails its check: "),
                 qPrintable(fx->messageTexts()[0]));
        QVERIFY(!QFileInfo::exists(backup("2026-05-15")));
        Screens::unload<frmMain>();
        QCOMPARE(readFile(fx->dbPath()), bytes);
        fx->messages.clear();
        fx->answers = {MsgResult::Cancel};
        QTimer::singleShot(0, [] { Screens::unload<frmPassInfo>(); });
        Screens::show<frmMain>();
        QVERIFY2(fx->messageTexts().value(0).startsWith("The database file " + fx->dbPath() + " cannot be used: "),
                 qPrintable(fx->messageTexts().value(0)));
    }
};

QTEST_MAIN(TestStartup)
#include "test_startup.moc"
