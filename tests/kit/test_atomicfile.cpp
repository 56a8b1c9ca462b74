#include <QDir>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>

#include "kit/AtomicFile.h"
#include "support/Files.h"
#include "support/Require.h"

class TestAtomicFile : public QObject {
    Q_OBJECT
private slots:
    // A write that cannot finish, on a really full file system or past the
    // file-size limit: the old file stays byte for byte, nothing is left
    // beside it, and the reason is the system's.
    void failedWrite_data()
    {
        QTest::addColumn<bool>("fullDisk");
        QTest::addColumn<int>("size");
        QTest::addColumn<bool>("oldFile");
        QTest::newRow("full disk, small file") << true << 100 << true;
        QTest::newRow("full disk, large file") << true << 3000000 << true;
        QTest::newRow("full disk, new file") << true << 100 << false;
        QTest::newRow("size limit, small file") << false << 100 << true;
        QTest::newRow("size limit, large file") << false << 3000000 << true;
    }
    void failedWrite()
    {
        QFETCH(bool, fullDisk);
        QFETCH(int, size);
        QFETCH(bool, oldFile);
        if (::geteuid() != 0)
            SKIP_OR_FAIL(QStringLiteral("mounting a small file system needs root"));
        QTemporaryDir dir;
        QVERIFY(::mount("tmpfs", qPrintable(dir.path()), "tmpfs", 0, "size=1m") == 0);
        auto unmount = qScopeGuard([&] { ::umount2(qPrintable(dir.path()), MNT_DETACH); });
        const QString path = dir.filePath(QStringLiteral("n.nte"));
        QVERIFY(!oldFile || writeFile(path, "old bytes\r\n"));
        QStringList before = filesIn(dir.path());
        if (fullDisk) {
            QFile filler(dir.filePath(QStringLiteral("filler")));
            QVERIFY(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
            while (filler.write(QByteArray(4096, 'f')) == 4096) {
            }
            before = filesIn(dir.path());
        }
        rlimit saved{};
        ::getrlimit(RLIMIT_FSIZE, &saved);
        const rlimit limit = {fullDisk ? saved.rlim_cur : 50, saved.rlim_max};
        std::signal(SIGXFSZ, SIG_IGN);
        ::setrlimit(RLIMIT_FSIZE, &limit);
        const QString reason = AtomicFile::write(path, QByteArray(size, 'n'));
        ::setrlimit(RLIMIT_FSIZE, &saved);
        QCOMPARE(reason, fullDisk ? QStringLiteral("No space left on device") : QStringLiteral("File too large"));
        QCOMPARE(filesIn(dir.path()), before);  // a new file is not there at all
        QCOMPARE(readFile(path), oldFile ? QByteArray("old bytes\r\n") : QByteArray());
    }

    // A new file is the owner's only, a replaced one keeps its mode; the
    // left-overs of an interrupted save of this file go, nothing else does.
    void writeReplacesAndCleansUp()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("n.nte")), shared = dir.filePath(QStringLiteral("shared.nte"));
        for (const char* name : {".n.nte.Ab12Cd", ".n.nte.x", ".m.nte.Ab12Cd", "n.nte.backup", "shared.nte"})
            QVERIFY(writeFile(dir.filePath(QLatin1String(name)), "other"));
        QFile::setPermissions(shared, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
        QCOMPARE(AtomicFile::write(path, "new\r\n") + AtomicFile::write(shared, "changed"), QString());
        QCOMPARE(readFile(path) + readFile(shared), QByteArray("new\r\nchanged"));
        QCOMPARE(QList<int>({ownerGroupOther(path), ownerGroupOther(shared)}), QList<int>({0600, 0640}));
        QCOMPARE(filesIn(dir.path()),
                 QStringList({".m.nte.Ab12Cd", ".n.nte.x", "n.nte", "n.nte.backup", "shared.nte"}));
        QCOMPARE(AtomicFile::write(dir.filePath(QStringLiteral("gone/n.nte")), "x"),
                 QStringLiteral("No such file or directory"));
        // A save whose last step fails (a folder holds the name) leaves nothing beside it either.
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("taken/inside")));
        QCOMPARE(AtomicFile::write(dir.filePath(QStringLiteral("taken")), "x"), QStringLiteral("Is a directory"));
        QCOMPARE(filesIn(dir.path()).size(), 5);
    }
};

QTEST_MAIN(TestAtomicFile)
#include "test_atomicfile.moc"
