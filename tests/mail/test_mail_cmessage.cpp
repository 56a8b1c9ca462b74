#include "mail/CMessage.h"
#include "mail/CMessages.h"
#include "mail/MailError.h"

#include <QTest>

namespace {

// The sixteen fields that are filled, by name, so a case states only what
// it expects to be filled and every other field is checked to be empty.
using Fields = QMap<QString, QString>;

Fields fieldsOf(const CMessage &m)
{
    const Fields all = {
        {"ReturnPath", m.ReturnPath()}, {"Received", m.Received()}, {"SendDate", m.SendDate()},
        {"MessageID", m.MessageID()},   {"MessageTo", m.MessageTo()}, {"From", m.From()},
        {"Subject", m.Subject()},       {"ReplyTo", m.ReplyTo()},   {"Sender", m.Sender()},
        {"CC", m.CC()},                 {"BCC", m.BCC()},           {"InReplyTo", m.InReplyTo()},
        {"References", m.References()}, {"Keywords", m.Keywords()}, {"Comments", m.Comments()},
        {"Encrypted", m.Encrypted()},
    };
    Fields filled;
    for (auto it = all.cbegin(); it != all.cend(); ++it) {
        if (!it.value().isEmpty())
            filled.insert(it.key(), it.value());
    }
    return filled;
}

// The error number of what `call` raises, 0 when it raises nothing.
template <class Call>
qint32 errorOf(Call &&call)
{
    try {
        call();
    } catch (const MailError &e) {
        return e.number();
    }
    return 0;
}

}  // namespace

class TestCMessage : public QObject
{
    Q_OBJECT

private slots:
    // The headers are what comes before the first empty line, `body` what
    // follows it.
    void parses_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("body");
        QTest::addColumn<Fields>("fields");

        QTest::newRow("worked example") << "Subject: Hi\r\n\r\nBody" << "Body" << Fields{{"Subject", "Hi"}};
        QTest::newRow("every known header")
            << "Return-Path: 1\r\nReceived: 2\r\nDate: 3\r\nMessage-ID: 4\r\nTo: 5\r\nFrom: 6\r\nSubject: 7\r\n"
               "Reply-To: 8\r\nSender: 9\r\nCc: 10\r\nBcc: 11\r\nIn-Reply-To: 12\r\nReferences: 13\r\n"
               "Keywords: 14\r\nComments: 15\r\nEncrypted: 16\r\n\r\n"
            << "" << Fields{{"ReturnPath", "1"}, {"Received", "2"},   {"SendDate", "3"},    {"MessageID", "4"},
                            {"MessageTo", "5"},  {"From", "6"},       {"Subject", "7"},     {"ReplyTo", "8"},
                            {"Sender", "9"},     {"CC", "10"},        {"BCC", "11"},        {"InReplyTo", "12"},
                            {"References", "13"}, {"Keywords", "14"}, {"Comments", "15"},   {"Encrypted", "16"}};
        QTest::newRow("starts with the empty line") << "\r\n\r\nSubject: no" << "Subject: no" << Fields{};
        QTest::newRow("only the first empty line splits")
            << "From: a\r\n\r\nx\r\n\r\nSubject: in body\r\n" << "x\r\n\r\nSubject: in body\r\n"
            << Fields{{"From", "a"}};
        QTest::newRow("last occurrence wins")
            << "Received: from one\r\nReceived: from two\r\nSubject: s\r\nReceived: from three\r\n\r\n" << ""
            << Fields{{"Received", "from three"}, {"Subject", "s"}};
        QTest::newRow("folded value keeps its first line")
            << "Subject: Hello\r\n world\r\n\tagain\r\n\r\nb" << "b" << Fields{{"Subject", "Hello"}};
        QTest::newRow("names ignore case") << "SUBJECT: up\r\nfRoM: mixed\r\nmessage-id: <l@x>\r\n\r\n" << ""
                                           << Fields{{"Subject", "up"}, {"From", "mixed"}, {"MessageID", "<l@x>"}};
        QTest::newRow("blank before colon is another name") << "Subject : no\r\n\r\n" << "" << Fields{};
        QTest::newRow("unknown header sets nothing") << "X-Mailer: a\r\n\r\n" << "" << Fields{};
        QTest::newRow("value keeps later colons") << "Date: Mon, 1 Jan 2001 10:00:00 +0100\r\n\r\n" << ""
                                                  << Fields{{"SendDate", "Mon, 1 Jan 2001 10:00:00 +0100"}};
        QTest::newRow("only blanks are trimmed, tabs stay")
            << "Subject:  \tHi \t  \r\n\r\n" << "" << Fields{{"Subject", "\tHi \t"}};
        QTest::newRow("empty value") << "Subject:\r\n\r\n" << "" << Fields{};
        QTest::newRow("line without colon is ignored")
            << "garbage\r\nTo: t\r\n\r\n" << "" << Fields{{"MessageTo", "t"}};
        QTest::newRow("bare LF does not split headers")
            << "Subject: a\nFrom: b\r\n\r\n" << "" << Fields{{"Subject", "a\nFrom: b"}};
        // KELVIN SIGN lower-cases to an ASCII "k" outside ASCII folding.
        QTest::newRow("non-ASCII name never matches")
            << QString::fromUtf8("\u212Aeywords: k\r\n\r\n") << "" << Fields{};
    }
    void parses()
    {
        QFETCH(QString, text);
        QFETCH(QString, body);
        QFETCH(Fields, fields);
        CMessage m;
        m.CreateFromText(text);
        QCOMPARE(m.MessageBody(), body);
        QCOMPARE(m.Headers() + QStringLiteral("\r\n\r\n") + body, text);
        QCOMPARE(m.MessageText(), text);
        QCOMPARE(fieldsOf(m), fields);
    }

    void fieldsNotInTheTextKeepTheirValues()
    {
        CMessage m;
        m.CreateFromText(QStringLiteral("Subject: first\r\nFrom: a\r\n\r\none"));
        m.CreateFromText(QStringLiteral("Subject: second\r\n\r\ntwo"));
        QCOMPARE(fieldsOf(m), (Fields{{"Subject", "second"}, {"From", "a"}}));
        QCOMPARE(m.MessageBody(), QStringLiteral("two"));
    }

    void textWithoutEmptyLineRaisesAndChangesNothing()
    {
        CMessage m;
        m.CreateFromText(QStringLiteral("Subject: kept\r\n\r\nbody"));
        for (const QString &bad : {QStringLiteral("Subject: x\r\nFrom: y\r\n"), QStringLiteral("a\n\nb"),
                                   QStringLiteral("\r\n\r"), QString()}) {
            try {
                m.CreateFromText(bad);
                QFAIL("no error raised");
            } catch (const MailError &e) {
                QCOMPARE(e.number(), qint32(0x80040265u));
                QCOMPARE(e.source(), QStringLiteral("CMessage.CreateFromText"));
                QCOMPARE(e.description(), QStringLiteral("Invalid message format"));
            }
            QCOMPARE(m.MessageText(), QStringLiteral("Subject: kept\r\n\r\nbody"));
            QCOMPARE(m.Headers(), QStringLiteral("Subject: kept"));
            QCOMPARE(m.Subject(), QStringLiteral("kept"));
        }
    }

    void keysIgnoreLetterCase()
    {
        CMessages col;
        auto first = std::make_shared<CMessage>();
        col.Add(first, QStringLiteral("<Abc@Example.org>"));
        QCOMPARE(errorOf([&] { col.Add(std::make_shared<CMessage>(), QStringLiteral("<abc@example.ORG>")); }),
                 qint32(CMessages::DuplicateKey));
        QCOMPARE(col.Count(), 1);
        QCOMPARE(col.Item(QStringLiteral("<ABC@EXAMPLE.ORG>")), first);
        QVERIFY(col.Contains(QStringLiteral("<abc@example.org>")));
        QCOMPARE(col.Key(1), QStringLiteral("<Abc@Example.org>"));
    }

    // Items with and without a key keep their order; removing one by key or
    // by position frees its key and moves the later ones up.
    void orderAndRemoval()
    {
        CMessages col;
        const std::vector<std::shared_ptr<CMessage>> added = {
            std::make_shared<CMessage>(), std::make_shared<CMessage>(), std::make_shared<CMessage>()};
        col.Add(added[0]);
        col.Add(added[1], QStringLiteral("B"));
        col.Add(added[2]);
        QCOMPARE(std::vector(col.begin(), col.end()), added);
        QCOMPARE(col.Key(3), QString());
        QVERIFY(!col.Contains(QString()));

        col.Remove(QStringLiteral("b"));
        QCOMPARE(std::vector(col.begin(), col.end()), (std::vector{added[0], added[2]}));
        col.Add(added[1], QStringLiteral("B"));
        col.Remove(1);
        QCOMPARE(col.Item(1), added[2]);
        QCOMPARE(col.Item(QStringLiteral("B")), added[1]);
    }

    void missingKeyOrPositionRaises()
    {
        CMessages col;
        col.Add(std::make_shared<CMessage>(), QStringLiteral("k"));
        QCOMPARE(errorOf([&] { col.Item(QStringLiteral("nope")); }), qint32(CMessages::UnknownKey));
        QCOMPARE(errorOf([&] { col.Item(QString()); }), qint32(CMessages::UnknownKey));
        QCOMPARE(errorOf([&] { col.Remove(QStringLiteral("nope")); }), qint32(CMessages::UnknownKey));
        QCOMPARE(errorOf([&] { col.Item(0); }), qint32(CMessages::BadPosition));
        QCOMPARE(errorOf([&] { col.Item(2); }), qint32(CMessages::BadPosition));
        QCOMPARE(errorOf([&] { col.Remove(2); }), qint32(CMessages::BadPosition));
        QCOMPARE(col.Count(), 1);
    }
};

QTEST_GUILESS_MAIN(TestCMessage)
#include "test_mail_cmessage.moc"
