#include <sqlite3.h>

#include <chrono>
#include <thread>

#include <QDir>
#include <QTest>

#include "store/Backup.h"
#include "support/Files.h"
#include "support/Fixture.h"

class TestBackup : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<AppFixture> fx;
    QString folder() const { return fx->dataDir() + QStringLiteral("/Backup"); }

private slots:
    void init()
    {
        fx = std::make_unique<AppFixture>();
        fx->makeDataFolder();
        Db::exec(fx->dbPath(), QStringLiteral("INSERT INTO tblAddress (FirstName, Comments) VALUES ('Ann', 'x''y')"));
    }
    void cleanup() { fx.reset(); }

    // How far the file is spoilt: cut to `size` bytes (-1: not cut), then
    // `junk` written over its start.
    void damagedFilesAreRecognised_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<QByteArray>("junk");
        QTest::addColumn<QString>("problem");
        QTest::newRow("sound") << -1 << QByteArray() << "";
        QTest::newRow("cut short") << 4096 << QByteArray() << "database disk image is malformed";
        QTest::newRow("junk in the header") << -1 << QByteArray(100, 'x') << "file is not a database";
        QTest::newRow("cut to nothing") << 0 << QByteArray() << "the tables of the program are missing";
    }
    void damagedFilesAreRecognised()
    {
        QFETCH(int, size);
        QFETCH(QByteArray, junk);
        QFETCH(QString, problem);
        QFile file(fx->dbPath());
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(size < 0 || file.resize(size));
        file.write(junk);
        file.close();
        QCOMPARE(Backup::problem(fx->dbPath()), problem);
    }

    // Held for a moment by another connection (a write, or the log replayed
    // after a run was killed), the file is waited for, not called damaged.
    void aStoreHeldForAMomentIsNotCalledDamaged()
    {
        sqlite3* holder = nullptr;
        QCOMPARE(sqlite3_open(QFile::encodeName(fx->dbPath()).constData(), &holder), SQLITE_OK);
        const char* hold = "PRAGMA locking_mode=EXCLUSIVE; BEGIN EXCLUSIVE; SELECT * FROM tblPass";
        QCOMPARE(sqlite3_exec(holder, hold, nullptr, nullptr, nullptr), SQLITE_OK);
        std::thread release([holder] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            sqlite3_exec(holder, "COMMIT", nullptr, nullptr, nullptr);
            sqlite3_close(holder);
        });
        const QString problem = Backup::problem(fx->dbPath());
        release.join();
        QCOMPARE(problem, QString());
    }

    // Eight starts on eight days keep the last seven copies, each exact and the owner's alone.
    void oneCopyADayAndTheLastSevenKept()
    {
        QStringList kept;
        for (int day = 1; day <= 8; ++day) {
            kept << QStringLiteral("Tessaly-2026-05-0%1.mdb").arg(day);
            QCOMPARE(Backup::daily(fx->dbPath(), folder(), QDate(2026, 5, day)), folder() + '/' + kept.last());
        }
        QCOMPARE(Backup::daily(fx->dbPath(), folder(), QDate(2026, 5, 8)), QString());
        QCOMPARE(QDir(folder()).entryList(QDir::Files), kept.mid(1));
        for (const QString& copy : Backup::backups(folder())) {
            QCOMPARE(ownerGroupOther(copy), 0600);
            QCOMPARE(Db::rows(copy, QStringLiteral("tblAddress")),
                     Db::rows(fx->dbPath(), QStringLiteral("tblAddress")));
        }
        QCOMPARE(ownerGroupOther(folder()), 0700);
    }

    // The day's copy follows the store through the day, but never gets emptier.
    void theDaysCopyIsTakenAgainWhenTheStoreChanged()
    {
        const QDate day(2026, 5, 15);
        const QString copy = Backup::daily(fx->dbPath(), folder(), day);
        QCOMPARE(Backup::daily(fx->dbPath(), folder(), day), QString());
        Db::exec(fx->dbPath(), QStringLiteral("INSERT INTO tblAddress (FirstName) VALUES ('Bob')"));
        QCOMPARE(Backup::daily(fx->dbPath(), folder(), day), copy);
        QCOMPARE(Db::rows(copy, QStringLiteral("tblAddress")).size(), 2);
        Db::exec(fx->dbPath(), QStringLiteral("DELETE FROM tblAddress"));
        QCOMPARE(Backup::daily(fx->dbPath(), folder(), day), QString());
        QCOMPARE(Db::rows(copy, QStringLiteral("tblAddress")).size(), 2);
    }

    void aDamagedFileIsPutAsideUnderANameNoFileHas()
    {
        const QString taken = fx->dataDir() + QStringLiteral("/Tessaly-damaged-2026-05-15.mdb");
        QVERIFY(writeFile(taken, "older"));
        // A name whose log alone is left over is taken too.
        QVERIFY(writeFile(fx->dataDir() + QStringLiteral("/Tessaly-damaged-2026-05-15-2.mdb-wal"), "old log"));
        // The log of the damaged file goes with it.
        QVERIFY(writeFile(fx->dbPath() + QStringLiteral("-wal"), "log"));
        const QByteArray bytes = readFile(fx->dbPath());
        const QString aside = Backup::putAside(fx->dbPath(), QDate(2026, 5, 15));
        QCOMPARE(aside, fx->dataDir() + QStringLiteral("/Tessaly-damaged-2026-05-15-3.mdb"));
        QCOMPARE(readFile(aside), bytes);
        QCOMPARE(readFile(aside + QStringLiteral("-wal")), QByteArray("log"));
        QVERIFY(!QFileInfo::exists(fx->dbPath() + QStringLiteral("-wal")));
        QCOMPARE(readFile(taken), QByteArray("older"));
    }
};

QTEST_MAIN(TestBackup)
#include "test_backup.moc"
