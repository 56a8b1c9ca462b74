#include "mail/CMessage.h"
#include "mail/CMessages.h"
#include "mail/MailError.h"

#include <QTest>

namespace {

// The sixteen fields that are filled, as "Name=value" in a fixed order, so
// a case states only what it expects to be filled.
QStringList filled(const CMessage& m)
{
    const QStringList all = {"ReturnPath=" + m.ReturnPath(),
                             "Received=" + m.Received(),
                             "SendDate=" + m.SendDate(),
                             "MessageID=" + m.MessageID(),
                             "MessageTo=" + m.MessageTo(),
                             "From=" + m.From(),
                             "Subject=" + m.Subject(),
                             "ReplyTo=" + m.ReplyTo(),
                             "Sender=" + m.Sender(),
                             "CC=" + m.CC(),
                             "BCC=" + m.BCC(),
                             "InReplyTo=" + m.InReplyTo(),
                             "References=" + m.References(),
                             "Keywords=" + m.Keywords(),
                             "Comments=" + m.Comments(),
                             "Encrypted=" + m.Encrypted()};
    QStringList out;
    for (const QString& f : all)
        if (!f.endsWith(QLatin1Char('=')))
            out << f;
    return out;
}

// The error number of what `call` raises, 0 when it raises nothing.
template <class Call>
qint32 errorOf(Call&& call)
{
    try {
        call();
    } catch (const MailError& e) {
        return e.number();
    }
    return 0;
}

}  // namespace

class TestCMessage : public QObject {
    Q_OBJECT

private slots:
    // The headers are what comes before the first empty line, `body` what follows.
    void parses_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("body");
        QTest::addColumn<QStringList>("fields");
        QTest::newRow("worked example") << "Subject: Hi\r\n\r\nBody"
                                        << "Body" << QStringList{"Subject=Hi"};
        QTest::newRow("every known header")
            << "Return-Path: 1\r\nReceived: 2\r\nDate: 3\r\nMessage-ID: 4\r\nTo: 5\r\nFrom: 6\r\nSubject: 7\r\n"
               "Reply-To: 8\r\nSender: 9\r\nCc: 10\r\nBcc: 11\r\nIn-Reply-To: 12\r\nReferences: 13\r\n"
               "Keywords: 14\r\nComments: 15\r\nEncrypted: 16\r\n\r\n"
            << ""
            << QStringList{"ReturnPath=1",  "Received=2",  "SendDate=3",  "MessageID=4", "MessageTo=5", "From=6",
                           "Subject=7",     "ReplyTo=8",   "Sender=9",    "CC=10",       "BCC=11",      "InReplyTo=12",
                           "References=13", "Keywords=14", "Comments=15", "Encrypted=16"};
        QTest::newRow("only the first empty line splits") << "From: a\r\n\r\nx\r\n\r\nSubject: in body\r\n"
                                                          << "x\r\n\r\nSubject: in body\r\n"
                                                          << QStringList{"From=a"};
        QTest::newRow("last occurrence wins, folding ignored")
            << "Received: one\r\nSubject: Hello\r\n world\r\nReceived: three\r\n\r\n"
            << "" << QStringList{"Received=three", "Subject=Hello"};
        QTest::newRow("names ignore case") << "SUBJECT: up\r\nfRoM: mixed\r\n\r\n"
                                           << "" << QStringList{"From=mixed", "Subject=up"};
        QTest::newRow("not a known name") << "Subject : no\r\nX-Mailer: a\r\ngarbage\r\nSubject:\r\n\r\n"
                                          << "" << QStringList{};
        QTest::newRow("only blanks are trimmed") << "Subject:  \tHi \t  \r\n\r\n"
                                                 << "" << QStringList{"Subject=\tHi \t"};
        QTest::newRow("bare LF does not split headers") << "Subject: a\nFrom: b\r\n\r\n"
                                                        << "" << QStringList{"Subject=a\nFrom: b"};
        // KELVIN SIGN lower-cases to an ASCII "k" outside ASCII folding.
        QTest::newRow("non-ASCII name never matches")
            << QString::fromUtf8("\u212Aeywords: k\r\n\r\n") << "" << QStringList{};
    }
    void parses()
    {
        QFETCH(QString, text);
        QFETCH(QString, body);
        QFETCH(QStringList, fields);
        CMessage m;
        m.CreateFromText(text);
        QCOMPARE(m.MessageBody(), body);
        QCOMPARE(m.Headers() + QStringLiteral("\r\n\r\n") + body, text);
        QCOMPARE(m.MessageText(), text);
        QCOMPARE(m.Size(), text.size());
        QCOMPARE(filled(m), fields);
    }

    // A text without an empty line raises and changes nothing; fields not in
    // a later text keep their values.
    void textWithoutEmptyLine()
    {
        CMessage m;
        m.CreateFromText(QStringLiteral("Subject: kept\r\nFrom: a\r\n\r\nbody"));
        for (const QString& bad :
             {QStringLiteral("Subject: x\r\n"), QStringLiteral("a\n\nb"), QStringLiteral("\r\n\r"), QString()})
            QCOMPARE(errorOf([&] { m.CreateFromText(bad); }), CMessage::kInvalidMessageFormat);
        QCOMPARE(m.MessageBody(), QStringLiteral("body"));
        m.CreateFromText(QStringLiteral("Subject: second\r\n\r\n"));
        QCOMPARE(filled(m), QStringList({"From=a", "Subject=second"}));
    }

    // Keys ignore letter case; items with and without a key keep their
    // order; removing one frees its key; missing keys and positions raise.
    void collection()
    {
        CMessages col;
        const std::vector<std::shared_ptr<CMessage>> added = {
            std::make_shared<CMessage>(), std::make_shared<CMessage>(), std::make_shared<CMessage>()};
        col.Add(added[0]);
        col.Add(added[1], QStringLiteral("<Abc@X>"));
        col.Add(added[2]);
        QCOMPARE(errorOf([&] { col.Add(added[0], QStringLiteral("<abc@x>")); }), qint32(CMessages::DuplicateKey));
        QCOMPARE(std::vector(col.begin(), col.end()), added);
        QCOMPARE(col.Item(QStringLiteral("<ABC@x>")), added[1]);
        QCOMPARE(col.Key(2), QStringLiteral("<Abc@X>"));
        col.Remove(QStringLiteral("<abc@x>"));
        QCOMPARE(col.Item(2), added[2]);
        QVERIFY(!col.Contains(QStringLiteral("<abc@x>")));
        col.Remove(1);
        QCOMPARE(col.Count(), 1);
        QCOMPARE(errorOf([&] { col.Item(QStringLiteral("nope")); }), qint32(CMessages::UnknownKey));
        QCOMPARE(errorOf([&] { col.Remove(QStringLiteral("nope")); }), qint32(CMessages::UnknownKey));
        QCOMPARE(errorOf([&] { col.Item(0); }), qint32(CMessages::BadPosition));
        QCOMPARE(errorOf([&] { col.Remove(2); }), qint32(CMessages::BadPosition));
    }
};

QTEST_GUILESS_MAIN(TestCMessage)
#include "test_mail_cmessage.moc"
