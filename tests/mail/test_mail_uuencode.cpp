#include "mail/mdlMUUEncode.h"
#include "support/Files.h"

#include <QTemporaryDir>
#include <QTest>

class TestUUEncode : public QObject {
    Q_OBJECT

private slots:
    void encodesBlocks_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QByteArray>("block");

        // Every position of a full line, zero values and high bytes among them.
        QByteArray mixed(3, '\0');
        for (int i = 0; i < 42; ++i)
            mixed += char(i * 37 + 11);
        const QByteArray a15 = "M" + QByteArray("04%!").repeated(15);
        const struct {
            const char* row;
            QByteArray content, lines;  // between the begin line and the end line
        } rows[] = {
            {"abc", "abc", "#86)C\n`"},
            // The short last group is padded with blanks, not zero bytes.
            {"abcd, blank padding", "abcd", "\x24\x38\x36\x29\x43\x39\x22\x60\x40\n`"},
            {"empty file", "", "`\n`"},
            {"45 times A", QByteArray(45, 'A'), a15 + "\n`\n`"},
            {"45 mixed bytes", mixed, "M````\"S!5>I_$Z0XS6'VBQ^P1-EN`I<KO%#E>@ZC-\\A<\\88:KT/4:/V2)KM/X\n`\n`"},
            {"46 bytes: full line plus one", QByteArray(46, 'A'), a15 + "\n!02`@\n`"},
            {"three zero bytes", QByteArray(3, '\0'), "#````\n`"},
            {"high bytes are unsigned", QByteArray("\xff\xff\xff\x80", 4), "$____@\"`@\n`"},
            // The length character is "." — the send session must stuff it.
            {"14 bytes", "ABCDEFGHIJKLMN", ".04)#1$5&1TA)2DM,34X@\n`"},
        };
        for (const auto& r : rows)
            QTest::newRow(r.row) << r.content << "begin 664 f.txt\n" + r.lines + "\nend\n";
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
        const QStringList paths = {fileIn(dir.path(), QStringLiteral("Grüße.txt"), "ABCDEFGHIJKLMN"),
                                   fileIn(dir.path(), QStringLiteral("b.txt"), QByteArray()),
                                   fileIn(dir.path(), QStringLiteral("big"), big)};
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
            QCOMPARE(slices, 2 + (big.size() + UUEncodeStream::kSliceBytes - 1) / UUEncodeStream::kSliceBytes);
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
