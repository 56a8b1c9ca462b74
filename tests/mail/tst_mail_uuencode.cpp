#include "mail/mdlMUUEncode.h"

#include <QTemporaryDir>
#include <QTest>

class TestUUEncode : public QObject
{
    Q_OBJECT

private slots:
    void encodesBlocks_data();
    void encodesBlocks();
    void beginLineName_data();
    void beginLineName();
    void encodesAFileFromDisk();
    void largeFileIsEncodedInSlicesAlike();
    void deviceWithoutLengthGivesEmptyBlock();
    void unreadableFileGivesNoBlock();
    void attachmentsFollowEachOtherWithCrLf();
    void firstUnreadableAttachmentStopsWithItsMessage();
};

void TestUUEncode::encodesBlocks_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QByteArray>("block");

    QTest::newRow("abc") << QByteArray("abc") << QByteArray("begin 664 f.txt\n#86)C\n`\nend\n");
    // The short last group is padded with blanks, not zero bytes.
    QTest::newRow("abcd, blank padding")
        << QByteArray("abcd")
        << QByteArray("begin 664 f.txt\n\x24\x38\x36\x29\x43\x39\x22\x60\x40\n`\nend\n");
    QTest::newRow("empty file") << QByteArray() << QByteArray("begin 664 f.txt\n`\n`\nend\n");
    QTest::newRow("45 times A")
        << QByteArray(45, 'A')
        << "begin 664 f.txt\nM" + QByteArray("04%!").repeated(15) + "\n`\n`\nend\n";
    QTest::newRow("three zero bytes") << QByteArray(3, '\0') << QByteArray("begin 664 f.txt\n#````\n`\nend\n");
    QTest::newRow("high bytes are unsigned")
        << QByteArray("\xff\xff\xff\x80", 4) << QByteArray("begin 664 f.txt\n$____@\"`@\n`\nend\n");
    QTest::newRow("46 bytes: full line plus one")
        << QByteArray(46, 'A')
        << "begin 664 f.txt\nM" + QByteArray("04%!").repeated(15) + "\n!02`@\n`\nend\n";
    // 14 bytes: the length character is "." — the send session must stuff it.
    QTest::newRow("14 bytes")
        << QByteArray("ABCDEFGHIJKLMN")
        << QByteArray("begin 664 f.txt\n.04)#1$5&1TA)2DM,34X@\n`\nend\n");
}

void TestUUEncode::encodesBlocks()
{
    QFETCH(QByteArray, content);
    QFETCH(QByteArray, block);
    QCOMPARE(UUEncodeBytes(content, QStringLiteral("f.txt")), block);
}

void TestUUEncode::beginLineName_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("name");

    QTest::newRow("backslashes") << QStringLiteral("C:\\docs\\f.txt") << QStringLiteral("f.txt");
    QTest::newRow("slashes") << QStringLiteral("/home/anna/docs/f.txt") << QStringLiteral("f.txt");
    QTest::newRow("mixed, last wins") << QStringLiteral("C:/x\\y/z.bin") << QStringLiteral("z.bin");
    QTest::newRow("no folder") << QStringLiteral("f.txt") << QStringLiteral("f.txt");
    QTest::newRow("line break in name") << QStringLiteral("/tmp/a\nb\r.txt") << QStringLiteral("a_b_.txt");
}

void TestUUEncode::beginLineName()
{
    QFETCH(QString, path);
    QFETCH(QString, name);
    QCOMPARE(UUEncodeFileName(path), name);
}

void TestUUEncode::encodesAFileFromDisk()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("Grüße.txt"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("abc");
    file.close();

    const std::optional<QByteArray> block = UUEncodeFile(path);
    QVERIFY(block);
    QCOMPARE(*block, QByteArray("begin 664 Gr\xc3\xbc\xc3\x9f" "e.txt\n#86)C\n`\nend\n"));
}

void TestUUEncode::largeFileIsEncodedInSlicesAlike()
{
    // Several read slices, and a length that leaves a short last line.
    QByteArray data(3 * 1024 * 1024 + 17, Qt::Uninitialized);
    for (qsizetype i = 0; i < data.size(); ++i)
        data[i] = char((i * 7919) >> 3);
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("big.bin")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(data);
    file.close();

    const std::optional<QByteArray> block = UUEncodeFile(file.fileName());
    QVERIFY(block);
    QCOMPARE(block->size(), qsizetype(18 + 69905 * 62 + (1 + 28 + 1) + 6));
    QVERIFY(*block == UUEncodeBytes(data, QStringLiteral("big.bin")));
}

void TestUUEncode::deviceWithoutLengthGivesEmptyBlock()
{
    if (!QFile::exists(QStringLiteral("/dev/zero")))
        QSKIP("no /dev/zero here");
    const std::optional<QByteArray> block = UUEncodeFile(QStringLiteral("/dev/zero"));
    QVERIFY(block);
    QCOMPARE(*block, QByteArray("begin 664 zero\n`\n`\nend\n"));
}

void TestUUEncode::unreadableFileGivesNoBlock()
{
    QTemporaryDir dir;
    QString why;
    QVERIFY(!UUEncodeFile(dir.filePath(QStringLiteral("missing.bin")), &why));
    QCOMPARE(why, QStringLiteral("No such file or directory"));
    QVERIFY(!UUEncodeFile(dir.path(), &why));
    QVERIFY(!why.isEmpty());
}

void TestUUEncode::attachmentsFollowEachOtherWithCrLf()
{
    QTemporaryDir dir;
    const QString a = dir.filePath(QStringLiteral("a.txt"));
    const QString b = dir.filePath(QStringLiteral("b.txt"));
    for (const auto &[path, bytes] : {std::pair{a, QByteArray("abc")}, std::pair{b, QByteArray()}}) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    const std::optional<QByteArray> all = UUEncodeAttachments({a, b});
    QVERIFY(all);
    QCOMPARE(*all, QByteArray("begin 664 a.txt\n#86)C\n`\nend\n\r\n"
                              "begin 664 b.txt\n`\n`\nend\n\r\n"));
    QCOMPARE(*UUEncodeAttachments({}), QByteArray());
}

void TestUUEncode::firstUnreadableAttachmentStopsWithItsMessage()
{
    QTemporaryDir dir;
    const QString missing = dir.filePath(QStringLiteral("gone.doc"));
    MailNotice notice;
    QVERIFY(!UUEncodeAttachments({missing}, &notice));
    QCOMPARE(notice.text,
             QStringLiteral("The file ") + missing + QStringLiteral(" cannot be attached: No such file or directory"));
    QCOMPARE(notice.title, QStringLiteral("Tessaly 2002"));
    QCOMPARE(notice.icon, MailIcon::Exclamation);
}

QTEST_GUILESS_MAIN(TestUUEncode)
#include "tst_mail_uuencode.moc"
