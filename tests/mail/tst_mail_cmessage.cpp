#include "mail/CMessage.h"
#include "mail/CMessages.h"
#include "mail/MailError.h"

#include <QTest>

// The sixteen fields in one place, so a case can state only what it expects
// to be filled and every other field is checked to be empty.
using Fields = QMap<QString, QString>;

static Fields fieldsOf(const CMessage &m)
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

class TestCMessage : public QObject
{
    Q_OBJECT

private slots:
    void parses_data();
    void parses();
    void everyKnownHeaderFillsItsOwnField();
    void fieldsNotInTheTextKeepTheirValues();
    void textWithoutEmptyLineRaisesAndChangesNothing();
    void headerTextOnlyKeepsEverythingAsHeaders();
    void sizeFollowsMessageText();

    void keysIgnoreLetterCase();
    void itemsWithoutKeyAreKeptInOrder();
    void removeByKeyAndPosition();
    void missingKeyOrPositionRaises();
};

void TestCMessage::parses_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("headers");
    QTest::addColumn<QString>("body");
    QTest::addColumn<Fields>("fields");

    QTest::newRow("worked example") << "Subject: Hi\r\n\r\nBody" << "Subject: Hi" << "Body"
                                    << Fields{{"Subject", "Hi"}};
    QTest::newRow("starts with the empty line") << "\r\n\r\nSubject: no" << "" << "Subject: no" << Fields{};
    QTest::newRow("only the first empty line splits")
        << "From: a\r\n\r\nx\r\n\r\nSubject: in body\r\n" << "From: a" << "x\r\n\r\nSubject: in body\r\n"
        << Fields{{"From", "a"}};
    QTest::newRow("last occurrence wins")
        << "Received: from one\r\nReceived: from two\r\nSubject: s\r\nReceived: from three\r\n\r\n"
        << "Received: from one\r\nReceived: from two\r\nSubject: s\r\nReceived: from three" << ""
        << Fields{{"Received", "from three"}, {"Subject", "s"}};
    QTest::newRow("folded value keeps its first line")
        << "Subject: Hello\r\n world\r\n\tagain\r\n\r\nb" << "Subject: Hello\r\n world\r\n\tagain" << "b"
        << Fields{{"Subject", "Hello"}};
    QTest::newRow("names ignore case") << "SUBJECT: up\r\nfRoM: mixed\r\nmessage-id: <l@x>\r\n\r\n"
                                       << "SUBJECT: up\r\nfRoM: mixed\r\nmessage-id: <l@x>" << ""
                                       << Fields{{"Subject", "up"}, {"From", "mixed"}, {"MessageID", "<l@x>"}};
    QTest::newRow("blank before colon is another name")
        << "Subject : no\r\n\r\n" << "Subject : no" << "" << Fields{};
    QTest::newRow("unknown header sets nothing") << "X-Mailer: something\r\n\r\n" << "X-Mailer: something" << ""
                                                 << Fields{};
    QTest::newRow("value keeps later colons")
        << "Date: Mon, 1 Jan 2001 10:00:00 +0100\r\n\r\n" << "Date: Mon, 1 Jan 2001 10:00:00 +0100" << ""
        << Fields{{"SendDate", "Mon, 1 Jan 2001 10:00:00 +0100"}};
    QTest::newRow("only blanks are trimmed, tabs stay")
        << "Subject:  \tHi \t  \r\n\r\n" << "Subject:  \tHi \t  " << "" << Fields{{"Subject", "\tHi \t"}};
    QTest::newRow("empty value") << "Subject:\r\n\r\n" << "Subject:" << "" << Fields{};
    QTest::newRow("line without colon is ignored") << "garbage\r\nTo: t\r\n\r\n" << "garbage\r\nTo: t" << ""
                                                   << Fields{{"MessageTo", "t"}};
    QTest::newRow("bare LF does not split headers")
        << "Subject: a\nFrom: b\r\n\r\n" << "Subject: a\nFrom: b" << "" << Fields{{"Subject", "a\nFrom: b"}};
    // KELVIN SIGN lower-cases to an ASCII "k" outside ASCII folding.
    QTest::newRow("non-ASCII name never matches")
        << QString::fromUtf8("\u212Aeywords: k\r\n\r\n") << QString::fromUtf8("\u212Aeywords: k") << ""
        << Fields{};
    QTest::newRow("non-ASCII value") << QString::fromUtf8("Subject: Grüße\r\n\r\nä") << QString::fromUtf8("Subject: Grüße")
                                     << QString::fromUtf8("ä") << Fields{{"Subject", QString::fromUtf8("Grüße")}};
}

void TestCMessage::parses()
{
    QFETCH(QString, text);
    QFETCH(QString, headers);
    QFETCH(QString, body);
    QFETCH(Fields, fields);

    CMessage m;
    m.CreateFromText(text);
    QCOMPARE(m.Headers(), headers);
    QCOMPARE(m.MessageBody(), body);
    QCOMPARE(m.MessageText(), text);
    QCOMPARE(fieldsOf(m), fields);
    QCOMPARE(m.CombineMessage(), QString());
}

void TestCMessage::everyKnownHeaderFillsItsOwnField()
{
    CMessage m;
    m.CreateFromText(QStringLiteral(
        "Return-Path: 1\r\nReceived: 2\r\nDate: 3\r\nMessage-ID: 4\r\nTo: 5\r\nFrom: 6\r\nSubject: 7\r\n"
        "Reply-To: 8\r\nSender: 9\r\nCc: 10\r\nBcc: 11\r\nIn-Reply-To: 12\r\nReferences: 13\r\n"
        "Keywords: 14\r\nComments: 15\r\nEncrypted: 16\r\n\r\n"));
    const Fields expected = {
        {"ReturnPath", "1"}, {"Received", "2"},   {"SendDate", "3"},    {"MessageID", "4"},
        {"MessageTo", "5"},  {"From", "6"},       {"Subject", "7"},     {"ReplyTo", "8"},
        {"Sender", "9"},     {"CC", "10"},        {"BCC", "11"},        {"InReplyTo", "12"},
        {"References", "13"}, {"Keywords", "14"}, {"Comments", "15"},   {"Encrypted", "16"},
    };
    QCOMPARE(fieldsOf(m), expected);
}

void TestCMessage::fieldsNotInTheTextKeepTheirValues()
{
    CMessage m;
    m.CreateFromText(QStringLiteral("Subject: first\r\nFrom: a\r\n\r\none"));
    m.CreateFromText(QStringLiteral("Subject: second\r\n\r\ntwo"));
    QCOMPARE(fieldsOf(m), (Fields{{"Subject", "second"}, {"From", "a"}}));
    QCOMPARE(m.MessageBody(), QStringLiteral("two"));
}

void TestCMessage::textWithoutEmptyLineRaisesAndChangesNothing()
{
    CMessage m;
    m.CreateFromText(QStringLiteral("Subject: kept\r\n\r\nbody"));
    for (const QString &bad : {QStringLiteral("Subject: x\r\nFrom: y\r\n"), QStringLiteral("a\n\nb"),
                               QStringLiteral("\r\n\r"), QString()}) {
        try {
            m.CreateFromText(bad);
            QFAIL("no error raised");
        } catch (const MailError &e) {
            QCOMPARE(e.number(), qint32(-2147220891));
            QCOMPARE(e.number(), CMessage::kInvalidMessageFormat);
            QCOMPARE(e.source(), QStringLiteral("CMessage.CreateFromText"));
            QCOMPARE(e.description(), QStringLiteral("Invalid message format"));
        }
        QCOMPARE(m.Subject(), QStringLiteral("kept"));
        QCOMPARE(m.MessageText(), QStringLiteral("Subject: kept\r\n\r\nbody"));
        QCOMPARE(m.Headers(), QStringLiteral("Subject: kept"));
    }
}

void TestCMessage::headerTextOnlyKeepsEverythingAsHeaders()
{
    CMessage m;
    m.CreateFromText(QStringLiteral("Subject: earlier\r\n\r\nstale body"));
    const QString text = QStringLiteral("Subject: no body\r\nFrom: f\r\n");
    m.CreateFromHeaderText(text);
    QCOMPARE(m.Headers(), text);
    QCOMPARE(m.MessageBody(), QString());
    QCOMPARE(m.MessageText(), text);
    QCOMPARE(fieldsOf(m), (Fields{{"Subject", "no body"}, {"From", "f"}}));
}

void TestCMessage::sizeFollowsMessageText()
{
    CMessage m;
    QCOMPARE(m.Size(), 0);
    m.CreateFromText(QStringLiteral("Subject: Hi\r\n\r\nBody"));
    QCOMPARE(m.Size(), 19);
    m.setMessageText(QStringLiteral("abc"));
    QCOMPARE(m.Size(), 3);
    QCOMPARE(m.MessageBody(), QStringLiteral("Body"));
    m.setMessageBody(QStringLiteral("new"));
    QCOMPARE(m.MessageBody(), QStringLiteral("new"));
    QCOMPARE(m.MessageText(), QStringLiteral("abc"));
}

void TestCMessage::keysIgnoreLetterCase()
{
    CMessages col;
    auto first = std::make_shared<CMessage>();
    auto second = std::make_shared<CMessage>();
    col.Add(first, QStringLiteral("<Abc@Example.org>"));
    try {
        col.Add(second, QStringLiteral("<abc@example.ORG>"));
        QFAIL("duplicate key accepted");
    } catch (const MailError &e) {
        QCOMPARE(e.number(), qint32(CMessages::DuplicateKey));
    }
    QCOMPARE(col.Count(), 1);
    QCOMPARE(col.Item(QStringLiteral("<ABC@EXAMPLE.ORG>")), first);
    QVERIFY(col.Contains(QStringLiteral("<abc@example.org>")));
    QVERIFY(!col.Contains(QString()));
    QCOMPARE(col.Key(1), QStringLiteral("<Abc@Example.org>"));
}

void TestCMessage::itemsWithoutKeyAreKeptInOrder()
{
    CMessages col;
    std::vector<std::shared_ptr<CMessage>> added;
    for (const char *key : {"", "<k@x>", ""}) {
        added.push_back(std::make_shared<CMessage>());
        col.Add(added.back(), QString::fromLatin1(key));
    }
    QCOMPARE(col.Count(), 3);
    const std::vector<std::shared_ptr<CMessage>> seen(col.begin(), col.end());
    QCOMPARE(seen, added);
    QCOMPARE(col.Item(1), added[0]);
    QCOMPARE(col.Item(3), added[2]);
    QCOMPARE(col.Key(3), QString());
}

void TestCMessage::removeByKeyAndPosition()
{
    CMessages col;
    auto a = std::make_shared<CMessage>(), b = std::make_shared<CMessage>(), c = std::make_shared<CMessage>();
    col.Add(a, QStringLiteral("A"));
    col.Add(b, QStringLiteral("B"));
    col.Add(c);
    col.Remove(QStringLiteral("a"));
    QCOMPARE(col.Count(), 2);
    QCOMPARE(col.Item(1), b);
    QVERIFY(!col.Contains(QStringLiteral("A")));
    col.Add(a, QStringLiteral("A"));  // the key is free again
    col.Remove(1);
    QVERIFY(!col.Contains(QStringLiteral("B")));
    QCOMPARE(col.Item(1), c);
    QCOMPARE(col.Item(QStringLiteral("A")), a);
}

void TestCMessage::missingKeyOrPositionRaises()
{
    CMessages col;
    col.Add(std::make_shared<CMessage>(), QStringLiteral("k"));
    const auto errorOf = [](auto &&call) -> qint32 {
        try {
            call();
        } catch (const MailError &e) {
            return e.number();
        }
        return 0;
    };
    QCOMPARE(errorOf([&] { col.Item(QStringLiteral("nope")); }), qint32(CMessages::UnknownKey));
    QCOMPARE(errorOf([&] { col.Item(QString()); }), qint32(CMessages::UnknownKey));
    QCOMPARE(errorOf([&] { col.Remove(QStringLiteral("nope")); }), qint32(CMessages::UnknownKey));
    QCOMPARE(errorOf([&] { col.Item(0); }), qint32(CMessages::BadPosition));
    QCOMPARE(errorOf([&] { col.Item(2); }), qint32(CMessages::BadPosition));
    QCOMPARE(errorOf([&] { col.Remove(2); }), qint32(CMessages::BadPosition));
    QCOMPARE(col.Count(), 1);
}

QTEST_GUILESS_MAIN(TestCMessage)
#include "tst_mail_cmessage.moc"
