#include "mail/mdlMUUEncode.h"

#include <QTemporaryDir>
#include <QTest>

namespace {

QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes)
{
    QFile f(dir.filePath(name));
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(f.fileName()));
    return f.fileName();
}

}  // namespace

class TestUUEncode : public QObject {
    Q_OBJECT

private slots:
    void encodesBlocks_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QByteArray>("block");

        QTest::newRow("abc") << QByteArray("abc") << QByteArray("begin 664 f.txt\n#86)C\n`\nend\n");
        // The short last group is padded with blanks, not zero bytes.
        QTest::newRow("abcd, blank padding")
            << QByteArray("abcd") << QByteArray("begin 664 f.txt\n\x24\x38\x36\x29\x43\x39\x22\x60\x40\n`\nend\n");
        QTest::newRow("empty file") << QByteArray() << QByteArray("begin 664 f.txt\n`\n`\nend\n");
        QTest::newRow("45 times A") << QByteArray(45, 'A')
                                    << "begin 664 f.txt\nM" + QByteArray("04%!").repeated(15) + "\n`\n`\nend\n";
        // Every position of a full line, zero values and high bytes among them.
        QByteArray mixed(3, '\0');
        for (int i = 0; i < 42; ++i)
            mixed += char(i * 37 + 11);
        QTest::newRow("45 mixed bytes")
            << mixed
            << QByteArray(
                   "begin 664 f.txt\nM````\"S!5>I_$Z0XS6'VBQ^P1-EN`I<KO%#E>@ZC-\\A<\\88:KT/4:/V2)KM/X\n`\n`\nend\n");
        QTest::newRow("46 bytes: full line plus one")
            << QByteArray(46, 'A') << "begin 664 f.txt\nM" + QByteArray("04%!").repeated(15) + "\n!02`@\n`\nend\n";
        QTest::newRow("three zero bytes") << QByteArray(3, '\0') << QByteArray("begin 664 f.txt\n#````\n`\nend\n");
        QTest::newRow("high bytes are unsigned")
            << QByteArray("\xff\xff\xff\x80", 4) << QByteArray("begin 664 f.txt\n$____@\"`@\n`\nend\n");
        // The length character is "." — the send session must stuff it.
        QTest::newRow("14 bytes") << QByteArray("ABCDEFGHIJKLMN")
                                  << QByteArray("begin 664 f.txt\n.04)#1$5&1TA)2DM,34X@\n`\nend\n");
    }
    void encodesBlocks()
    {
        QFETCH(QByteArray, content);
        QFETCH(QByteArray, block);
        QCOMPARE(UUEncodeBytes(content, QStringLiteral("f.txt")), block);
    }

    void beginLineName_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("name");
        QTest::newRow("backslashes") << QStringLiteral("C:\\docs\\f.txt") << QStringLiteral("f.txt");
        QTest::newRow("mixed, last wins") << QStringLiteral("C:/x\\y/z.bin") << QStringLiteral("z.bin");
        QTest::newRow("line break in name") << QStringLiteral("/tmp/a\nb\r.txt") << QStringLiteral("a_b_.txt");
    }
    void beginLineName()
    {
        QFETCH(QString, path);
        QFETCH(QString, name);
        QCOMPARE(UUEncodeFileName(path), name);
    }

    // Files from disk, one after the other with CR LF, the name in UTF-8,
    // a slice at a time; a file larger than a slice encodes as its bytes do;
    // in the mail data form CR LF ends every line and a leading "." is
    // doubled. The size is known before; the first file that cannot be
    // opened stops it, named and placed.
    void attachments()
    {
        QTemporaryDir dir;
        QByteArray big(2 * 1024 * 1024 + 17, Qt::Uninitialized);
        for (qsizetype i = 0; i < big.size(); ++i)
            big[i] = char(i * 7919 >> 3);
        const QStringList paths = {writeFile(dir, QStringLiteral("Grüße.txt"), "ABCDEFGHIJKLMN"),
                                   writeFile(dir, QStringLiteral("b.txt"), QByteArray()),
                                   writeFile(dir, QStringLiteral("big"), big)};
        const QByteArray blocks = "begin 664 Gr\xc3\xbc\xc3\x9f"
                                  "e.txt\n.04)#1$5&1TA)2DM,34X@\n`\nend\n\r\n"
                                  "begin 664 b.txt\n`\n`\nend\n\r\n"
                                  + UUEncodeBytes(big, QStringLiteral("big")) + "\r\n";
        QByteArray wire = QByteArray(blocks).replace("\r\n", "\n").replace("\n", "\r\n");
        wire.replace("\r\n.04)", "\r\n..04)");
        for (const auto& [form, expected] :
             {std::pair{UUEncodeStream::Form::Blocks, blocks}, std::pair{UUEncodeStream::Form::MailData, wire}}) {
            UUEncodeStream stream(paths, form);
            QVERIFY(stream.open());
            QCOMPARE(stream.size(), expected.size());
            QByteArray all;
            int slices = 0;
            for (QByteArray slice; !(slice = stream.next()).isEmpty(); ++slices)
                all += slice;
            QCOMPARE(all, expected);
            QCOMPARE(slices, 4);
            QVERIFY(!stream.failure());
        }
        MailNotice failure;
        qsizetype at = -1;
        QVERIFY(!UUEncodeStream({paths[0], dir.filePath(QStringLiteral("gone")), paths[1]}).open(&failure, &at));
        QCOMPARE(at, 1);
        QCOMPARE(failure.text,
                 "The file " + dir.filePath(QStringLiteral("gone")) + " cannot be attached: No such file or directory");
        QVERIFY(!UUEncodeStream({dir.path()}).open());
        // Read no further than its length: a device has none.
        UUEncodeStream zero({QStringLiteral("/dev/zero")});
        QVERIFY(zero.open());
        QCOMPARE(zero.next(), QByteArray("begin 664 zero\n`\n`\nend\n\r\n"));
        QCOMPARE(zero.next(), QByteArray());
    }
};

QTEST_GUILESS_MAIN(TestUUEncode)
#include "test_mail_uuencode.moc"
