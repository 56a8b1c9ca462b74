// Mail written by Python's email package, decoded as the check screen shows it.
#include "MailTest.h"

#include "mail/MimeMessage.h"

#include <QTemporaryDir>
#include <QTest>

class TestMime : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    QByteArray read(const QString& name) const
    {
        QFile file(dir.filePath(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

private slots:
    void initTestCase() { QVERIFY(makeMessages(dir.path())); }

    void decoded_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("subject");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("files");  // name and size of each attachment
        QTest::newRow("1-alternative") << "Jürgen Müller <j@example.org>"
                                       << "Grüße aus Köln und eine sehr lange Betreffzeile, die gefaltet werden muss"
                                       << "Eine schöne Woche!\n"
                                       << QStringList{"Bericht €.bin 768"};
        QTest::newRow("2-html") << "Année <a@example.org>"
                                << "🔓 html"
                                << "Café\n€ 5 & more\n"
                                << QStringList{" 8", "../../evil.sh 10"};
        QTest::newRow("3-cp1252") << "x@example.org"
                                  << "€ price"
                                  << "“Quoted” € 5\n"
                                  << QStringList();
        QTest::newRow("4-rfc822") << "outer@example.org"
                                  << "Fwd"
                                  << "see below\n\n---------- Attached message ----------\nFrom: inner@example.org\n"
                                     "Subject: Inner\n\ninner text\n"
                                  << QStringList{" 7"};  // "to do" CR LF
        QTest::newRow("5-damaged") << "d@example.org"
                                   << "cut"
                                   << "readable part\nsecond part is cut off h" << QStringList();
        QTest::newRow("6-uuencoded") << "t@example.org"
                                     << "uu"
                                     << "Here it is.\nBye.\n"
                                     << QStringList{"blob.bin 768"};
    }
    void decoded()
    {
        QFETCH(QString, from);
        QFETCH(QString, subject);
        QFETCH(QString, text);
        QFETCH(QStringList, files);
        const MimeMessage m = decodeMime(read(QString::fromLatin1(QTest::currentDataTag()) + ".eml"));
        QCOMPARE(QStringList({m.from, m.subject, m.text}), QStringList({from, subject, text}));
        QStringList got;
        for (const MimeAttachment& a : m.attachments) {
            got << a.name + ' ' + QString::number(a.data.size());
            if (a.data.size() == 768)
                QCOMPARE(a.data, read("blob.bin"));
        }
        QCOMPARE(got, files);
    }

    void fileNames()
    {
        const QList<QStringList> cases = {{"../../evil.sh", "evil.sh"}, {"C:\\x\\a b.txt", "a b.txt"},
                                          {"..", "attachment-3"},       {"dir/", "attachment-3"},
                                          {" \t", "attachment-3"},      {"a\nb:c\x7f", "abc"}};
        for (const QStringList& c : cases)
            QCOMPARE(attachmentFileName(c[0], 3), c[1]);
    }
};

QTEST_MAIN(TestMime)
#include "test_mail_mime.moc"
