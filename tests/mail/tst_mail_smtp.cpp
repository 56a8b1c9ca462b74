#include "MailActionText.h"

#include "mail/HostPort.h"
#include "mail/SmtpSession.h"

#include <QRegularExpression>
#include <QTest>
#include <QTimeZone>

namespace {

const QDateTime kWhen(QDate(2002, 3, 5), QTime(14, 3, 9), QTimeZone(3600));

SmtpMessage example()
{
    SmtpMessage m;
    m.sender = QStringLiteral("  anna@example.org ");
    m.recipients = QStringLiteral(" bob@example.net; carl@example.com ");
    m.subject = QStringLiteral("Hi");
    m.text = QStringLiteral("Line1\r\nLine2");
    m.attachments = "begin 664 f.txt\n#86)C\n`\nend\n\r\n";
    m.date = kWhen;
    m.localHostName = QStringLiteral("desk.example.org");
    m.messageId = QStringLiteral("<20020305130309.1@example.org>");
    return m;
}

const QByteArray kExampleData =
    "Subject:Hi\r\n"
    "From: anna@example.org\r\n"
    "To: bob@example.net, carl@example.com\r\n"
    "Date: Tue, 5 Mar 2002 14:03:09 +0100\r\n"
    "Message-ID: <20020305130309.1@example.org>\r\n"
    "\r\n"
    "Line1\r\nLine2\r\n\r\n"
    "begin 664 f.txt\r\n#86)C\r\n`\r\nend\r\n\r\n\r\n"
    ".\r\n";

// The replies of a willing server, one per step, and what each one makes the
// session send.
struct Exchange {
    QByteArray reply;
    QString sent;
};

const QList<Exchange> kConversation = {
    {"220 mail.example.net ESMTP\r\n", "send HELO anna\r\n"},
    {"250 mail.example.net\r\n", "send MAIL FROM:<anna@example.org>\r\n"},
    {"250 2.1.0 Ok\r\n", "send RCPT TO:<bob@example.net>\r\n"},
    {"250 2.1.5 Ok\r\n", "send RCPT TO:<carl@example.com>\r\n"},
    {"250 2.1.5 Ok\r\n", "send DATA\r\n"},
    {"354 End data with <CR><LF>.<CR><LF>\r\n", "send " + QString::fromLatin1(kExampleData)},
    {"250 2.0.0 Ok: queued\r\n", "send QUIT\r\n"},
};

// Plays the first `n` exchanges and checks each answer on the way.
bool playUpTo(SmtpSession &s, int n)
{
    for (int i = 0; i < n; ++i) {
        if (describe(s.feed(kConversation[i].reply)) != QStringList{kConversation[i].sent})
            return false;
    }
    return true;
}

}  // namespace

class TestSmtpSession : public QObject
{
    Q_OBJECT

private slots:
    void twoRecipientConversation();
    void replyFramingDoesNotDependOnHowTcpCutIt_data();
    void replyFramingDoesNotDependOnHowTcpCutIt();
    void refusalAtEachStep_data();
    void refusalAtEachStep();
    void anyGoOnCodeAdvancesButOnly2xxAcceptsTheMessage();
    void goOnReplyAfterQuitClosesSilently();
    void earlyCloseIsAnError_data();
    void earlyCloseIsAnError();
    void closeAfterQuitIsSuccess();
    void emptyRecipientBoxAsksWithoutAddress();
    void socketErrors();
    void endlessReplyIsCutOff();
    void nothingHappensOutsideASession();

    void messageData_data();
    void messageData();
    void recipients_data();
    void recipients();
    void heloArgument_data();
    void heloArgument();
    void dates_data();
    void dates();
    void madeUpMessageId();
    void hostPort_data();
    void hostPort();
};

void TestSmtpSession::twoRecipientConversation()
{
    SmtpSession s;
    s.start(example());
    QVERIFY(playUpTo(s, kConversation.size()));
    QCOMPARE(s.step(), 6);
    QCOMPARE(describe(s.feed("221 2.0.0 Bye\r\n")),
             (QStringList{"close", "notify [Tessaly 2002|information] Message sent successfuly.", "finished ok"}));
    QVERIFY(!s.isActive());
    QCOMPARE(describe(s.closed()), QStringList());
}

void TestSmtpSession::replyFramingDoesNotDependOnHowTcpCutIt_data()
{
    QTest::addColumn<QByteArrayList>("pieces");
    QTest::addColumn<QStringList>("sent");

    const QString helo = QStringLiteral("send HELO anna\r\n");
    const QString mail = QStringLiteral("send MAIL FROM:<anna@example.org>\r\n");
    QTest::newRow("multi-line greeting in one piece")
        << QByteArrayList{"220-mail.example.net ESMTP\r\n220-second line\r\n220 ready\r\n"} << QStringList{helo};
    QTest::newRow("multi-line greeting in two pieces")
        << QByteArrayList{"220-mail.example.net ESMTP\r\n", "220 ready\r\n"} << QStringList{helo};
    QTest::newRow("cut inside the final line and its CR LF")
        << QByteArrayList{"220-a\r\n22", "0 rea", "dy\r", "\n"} << QStringList{helo};
    QTest::newRow("nothing before the final line")
        << QByteArrayList{"220-a\r\n220-b\r\n"} << QStringList{};
    QTest::newRow("two replies in one piece")
        << QByteArrayList{"220 ready\r\n250 hello\r\n"} << QStringList{helo, mail};
    QTest::newRow("second reply split across pieces")
        << QByteArrayList{"220 ready\r\n250-hel", "lo\r\n250 ok\r\n"} << QStringList{helo, mail};
    QTest::newRow("final line without text") << QByteArrayList{"220\r\n"} << QStringList{helo};
    QTest::newRow("LF alone ends a line") << QByteArrayList{"220-a\n220 b\n"} << QStringList{helo};
}

void TestSmtpSession::replyFramingDoesNotDependOnHowTcpCutIt()
{
    QFETCH(QByteArrayList, pieces);
    QFETCH(QStringList, sent);
    SmtpSession s;
    s.start(example());
    QStringList got;
    for (const QByteArray &piece : pieces)
        got += describe(s.feed(piece));
    QCOMPARE(got, sent);
}

void TestSmtpSession::refusalAtEachStep_data()
{
    QTest::addColumn<int>("step");
    QTest::addColumn<QByteArray>("refusal");

    QTest::newRow("greeting") << 0 << QByteArray("554 5.7.1 go away\r\n");
    QTest::newRow("HELO") << 1 << QByteArray("501 5.5.4 Syntax: HELO hostname\r\n");
    QTest::newRow("MAIL FROM") << 2 << QByteArray("553 5.7.1 sender rejected\r\n");
    QTest::newRow("first RCPT TO") << 3 << QByteArray("550 5.1.1 no such user\r\n");
    QTest::newRow("second RCPT TO") << 4 << QByteArray("550-5.1.1 no such user\r\n550 5.1.1 really\r\n");
    QTest::newRow("DATA") << 5 << QByteArray("503 5.5.1 need RCPT\r\n");
    QTest::newRow("final dot") << 6 << QByteArray("552 5.3.4 message too big\r\n");
}

void TestSmtpSession::refusalAtEachStep()
{
    QFETCH(int, step);
    QFETCH(QByteArray, refusal);
    SmtpSession s;
    s.start(example());
    QVERIFY(playUpTo(s, step));
    QCOMPARE(describe(s.feed(refusal)),
             (QStringList{"close", "notify [SMTP Error|information] SMTP Error: " + QString::fromLatin1(refusal),
                          "finished failed"}));
    QCOMPARE(describe(s.feed("250 ok\r\n")), QStringList());
    QCOMPARE(describe(s.closed()), QStringList());
}

void TestSmtpSession::anyGoOnCodeAdvancesButOnly2xxAcceptsTheMessage()
{
    SmtpSession s;
    s.start(example());
    QCOMPARE(describe(s.feed("354 hello\r\n")), QStringList{"send HELO anna\r\n"});
    QCOMPARE(describe(s.feed("220 what\r\n")), QStringList{"send MAIL FROM:<anna@example.org>\r\n"});
    for (int i = 2; i < 6; ++i)
        QCOMPARE(describe(s.feed(kConversation[i].reply)), QStringList{kConversation[i].sent});
    QCOMPARE(describe(s.feed("354 again?\r\n")),
             (QStringList{"close", "notify [SMTP Error|information] SMTP Error: 354 again?\r\n", "finished failed"}));
}

void TestSmtpSession::goOnReplyAfterQuitClosesSilently()
{
    SmtpSession s;
    s.start(example());
    QVERIFY(playUpTo(s, kConversation.size()));
    QCOMPARE(describe(s.feed("250 fine\r\n")), (QStringList{"close", "finished ok"}));
}

void TestSmtpSession::earlyCloseIsAnError_data()
{
    QTest::addColumn<int>("step");
    QTest::addColumn<QByteArray>("leftover");
    QTest::addColumn<QString>("text");

    const QString early = QStringLiteral("SMTP Error: The server closed the connection before the message was accepted.");
    for (int i = 0; i < kConversation.size(); ++i)
        QTest::addRow("after %d replies", i) << i << QByteArray() << early;
    QTest::newRow("cut-off go-on reply") << 3 << QByteArray("250 O") << early;
    QTest::newRow("cut-off refusal") << 6 << QByteArray("451 local error") << QStringLiteral("SMTP Error: 451 local error");
}

void TestSmtpSession::earlyCloseIsAnError()
{
    QFETCH(int, step);
    QFETCH(QByteArray, leftover);
    QFETCH(QString, text);
    SmtpSession s;
    s.start(example());
    QVERIFY(playUpTo(s, step));
    QCOMPARE(describe(s.feed(leftover)), QStringList());
    const QStringList got = describe(s.closed());
    QCOMPARE(got.value(got.size() - 2), "notify [SMTP Error|information] " + text);
    QCOMPARE(got.last(), QStringLiteral("finished failed"));
    QVERIFY(!got.join(QLatin1Char('|')).contains(QLatin1String("successfuly")));
}

void TestSmtpSession::closeAfterQuitIsSuccess()
{
    SmtpSession s;
    s.start(example());
    QVERIFY(playUpTo(s, kConversation.size()));
    QCOMPARE(describe(s.closed()),
             (QStringList{"notify [Tessaly 2002|information] Message sent successfuly.", "finished ok"}));
}

void TestSmtpSession::emptyRecipientBoxAsksWithoutAddress()
{
    SmtpMessage m = example();
    m.recipients = QStringLiteral(" ;, ");
    SmtpSession s;
    s.start(m);
    QVERIFY(playUpTo(s, 2));
    QCOMPARE(describe(s.feed("250 ok\r\n")), QStringList{"send RCPT TO:\r\n"});
    QCOMPARE(describe(s.feed("501 Syntax: RCPT TO: <address>\r\n")),
             (QStringList{"close", "notify [SMTP Error|information] SMTP Error: 501 Syntax: RCPT TO: <address>\r\n",
                          "finished failed"}));
}

void TestSmtpSession::socketErrors()
{
    SmtpSession s;
    s.start(example());
    QCOMPARE(describe(s.socketError(QAbstractSocket::RemoteHostClosedError, QStringLiteral("closed"))),
             QStringList());
    QVERIFY(s.isActive());
    QCOMPARE(describe(s.socketError(QAbstractSocket::HostNotFoundError, QStringLiteral("Host not found"))),
             (QStringList{"notify [Winsock Error|exclamation] Winsock Error number 2\r\nHost not found",
                          "finished failed"}));
    QCOMPARE(describe(s.closed()), QStringList());
}

void TestSmtpSession::endlessReplyIsCutOff()
{
    SmtpSession s;
    s.start(example());
    const QByteArray junk(70000, 'x');
    const QStringList got = describe(s.feed(junk));
    QCOMPARE(got.size(), 3);
    QCOMPARE(got[1], "notify [SMTP Error|information] SMTP Error: " + QString(65536, QLatin1Char('x')));
    QVERIFY(!s.isActive());
}

void TestSmtpSession::nothingHappensOutsideASession()
{
    SmtpSession s;
    QCOMPARE(describe(s.feed("220 hi\r\n")), QStringList());
    QCOMPARE(describe(s.closed()), QStringList());
    QCOMPARE(describe(s.socketError(QAbstractSocket::NetworkError, QString())), QStringList());
}

void TestSmtpSession::messageData_data()
{
    QTest::addColumn<QString>("subject");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("attachments");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray head = "From: anna@example.org\r\n"
                            "To: bob@example.net, carl@example.com\r\n"
                            "Date: Tue, 5 Mar 2002 14:03:09 +0100\r\n"
                            "Message-ID: <20020305130309.1@example.org>\r\n";
    const QByteArray mime = "MIME-Version: 1.0\r\n"
                            "Content-Type: text/plain; charset=UTF-8\r\n"
                            "Content-Transfer-Encoding: 8bit\r\n";

    QTest::newRow("worked example") << "Hi" << "Line1\r\nLine2" << QByteArray("begin 664 f.txt\n#86)C\n`\nend\n\r\n")
                                    << kExampleData;
    QTest::newRow("no attachment") << "Hi" << "Line1\r\nLine2" << QByteArray()
                                   << "Subject:Hi\r\n" + head + "\r\nLine1\r\nLine2\r\n\r\n\r\n.\r\n";
    QTest::newRow("empty message") << "" << "" << QByteArray()
                                   << "Subject:\r\n" + head + "\r\n\r\n\r\n\r\n.\r\n";
    QTest::newRow("text ending in a line break gives one more line")
        << "Hi" << "a\r\n" << QByteArray() << "Subject:Hi\r\n" + head + "\r\na\r\n\r\n\r\n\r\n.\r\n";
    QTest::newRow("subject exactly as typed")
        << "  spaced  " << "x" << QByteArray() << "Subject:  spaced  \r\n" + head + "\r\nx\r\n\r\n\r\n.\r\n";
    QTest::newRow("line break in subject cannot add a header")
        << "a\r\nBcc: eve@example.com" << "x" << QByteArray()
        << "Subject:a  Bcc: eve@example.com\r\n" + head + "\r\nx\r\n\r\n\r\n.\r\n";
    QTest::newRow("LF and lone CR become CR LF")
        << "s" << "one\ntwo\rthree\r\n" << QByteArray()
        << "Subject:s\r\n" + head + "\r\none\r\ntwo\r\nthree\r\n\r\n\r\n\r\n.\r\n";
    QTest::newRow("leading periods are doubled")
        << "s" << ".\r\n..x\r\na.b" << QByteArray("begin 664 n\n.04)#1$5&1TA)2DM,34X@\n`\nend\n\r\n")
        << "Subject:s\r\n" + head
               + "\r\n..\r\n...x\r\na.b\r\n\r\nbegin 664 n\r\n..04)#1$5&1TA)2DM,34X@\r\n`\r\nend\r\n\r\n\r\n.\r\n";
    QTest::newRow("non-ASCII text declares UTF-8")
        << "Grüße" << "ä" << QByteArray()
        << "Subject:Gr\xc3\xbc\xc3\x9f" "e\r\n" + head + mime + "\r\n\xc3\xa4\r\n\r\n\r\n.\r\n";
    QTest::newRow("non-ASCII file name declares UTF-8")
        << "s" << "" << QByteArray("begin 664 \xc3\xa4\n`\n`\nend\n\r\n")
        << "Subject:s\r\n" + head + mime + "\r\n\r\n\r\nbegin 664 \xc3\xa4\r\n`\r\n`\r\nend\r\n\r\n\r\n.\r\n";
}

void TestSmtpSession::messageData()
{
    QFETCH(QString, subject);
    QFETCH(QString, text);
    QFETCH(QByteArray, attachments);
    QFETCH(QByteArray, expected);
    SmtpMessage m = example();
    m.subject = subject;
    m.text = text;
    m.attachments = attachments;
    QCOMPARE(SmtpSession::messageData(m), expected);
}

void TestSmtpSession::recipients_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<QStringList>("addresses");

    QTest::newRow("picker's separator") << "a@x.org; b@y.org" << QStringList{"a@x.org", "b@y.org"};
    QTest::newRow("commas, blanks, empty pieces")
        << " a@x.org ,, ;b@y.org;  ;" << QStringList{"a@x.org", "b@y.org"};
    QTest::newRow("name and address") << "Anna Smith <anna@x.org>; <b@y.org>" << QStringList{"anna@x.org", "b@y.org"};
    QTest::newRow("empty box") << "   " << QStringList{};
}

void TestSmtpSession::recipients()
{
    QFETCH(QString, box);
    QFETCH(QStringList, addresses);
    QCOMPARE(SmtpSession::splitRecipients(box), addresses);
}

void TestSmtpSession::heloArgument_data()
{
    QTest::addColumn<QString>("sender");
    QTest::addColumn<QString>("helo");

    QTest::newRow("local part") << " anna@example.org " << "anna";
    QTest::newRow("two @ signs: before the first") << "a@b@c.org" << "a";
    QTest::newRow("no @: local host name") << "anna" << "desk.example.org";
    QTest::newRow("empty local part: local host name") << "@example.org" << "desk.example.org";
    QTest::newRow("name and address") << "Anna <anna@example.org>" << "anna";
}

void TestSmtpSession::heloArgument()
{
    QFETCH(QString, sender);
    QFETCH(QString, helo);
    QCOMPARE(SmtpSession::heloArgument(sender, QStringLiteral("desk.example.org")), helo);

    SmtpMessage m = example();
    m.sender = sender;
    SmtpSession s;
    s.start(m);
    QCOMPARE(describe(s.feed("220 hi\r\n")), QStringList{"send HELO " + helo + "\r\n"});
}

void TestSmtpSession::dates_data()
{
    QTest::addColumn<QDateTime>("when");
    QTest::addColumn<QByteArray>("text");

    QTest::newRow("east") << kWhen << QByteArray("Tue, 5 Mar 2002 14:03:09 +0100");
    QTest::newRow("west, half hour")
        << QDateTime(QDate(1999, 12, 31), QTime(23, 59, 0), QTimeZone(-(5 * 3600 + 30 * 60)))
        << QByteArray("Fri, 31 Dec 1999 23:59:00 -0530");
    QTest::newRow("UTC") << QDateTime(QDate(2024, 2, 29), QTime(0, 0, 1), QTimeZone::utc())
                         << QByteArray("Thu, 29 Feb 2024 00:00:01 +0000");
}

void TestSmtpSession::dates()
{
    QFETCH(QDateTime, when);
    QFETCH(QByteArray, text);
    QCOMPARE(SmtpSession::rfc5322Date(when), text);
}

void TestSmtpSession::madeUpMessageId()
{
    const QRegularExpression form(QStringLiteral("^<20020305130309\\.[0-9a-f]{16}@(.+)>$"));
    const auto domainOf = [&](const QString &sender, const QString &host) {
        const QRegularExpressionMatch m = form.match(SmtpSession::newMessageId(sender, host, kWhen));
        return m.hasMatch() ? m.captured(1) : QStringLiteral("no match");
    };
    QCOMPARE(domainOf(QStringLiteral("anna@example.org"), QStringLiteral("desk")), QStringLiteral("example.org"));
    QCOMPARE(domainOf(QStringLiteral("anna"), QStringLiteral("desk")), QStringLiteral("desk"));
    QCOMPARE(domainOf(QStringLiteral("anna@bad domain>"), QStringLiteral("")), QStringLiteral("localhost"));
    QVERIFY(SmtpSession::newMessageId(QString(), QString(), kWhen)
            != SmtpSession::newMessageId(QString(), QString(), kWhen));

    // A session always sends one, made up when none was given.
    SmtpMessage m = example();
    m.messageId.clear();
    SmtpSession s;
    s.start(m);
    QVERIFY(playUpTo(s, 5));
    const QString data = QString::fromLatin1(s.feed("354 go\r\n").at(0).bytes);
    QVERIFY2(QRegularExpression(QStringLiteral("\r\nMessage-ID: <20020305130309\\.[0-9a-f]{16}@example\\.org>\r\n"))
                 .match(data).hasMatch(), qPrintable(data));
}

void TestSmtpSession::hostPort_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port");

    QTest::newRow("name") << " mail.example.org " << "mail.example.org" << 25;
    QTest::newRow("name and port") << "mail.example.org:2525" << "mail.example.org" << 2525;
    QTest::newRow("IPv4 and port") << "127.0.0.1:1025" << "127.0.0.1" << 1025;
    QTest::newRow("bracketed IPv6 and port") << "[::1]:587" << "::1" << 587;
    QTest::newRow("bracketed IPv6") << "[2001:db8::1]" << "2001:db8::1" << 25;
    QTest::newRow("bare IPv6") << "2001:db8::1" << "2001:db8::1" << 25;
    QTest::newRow("port zero is no port") << "h:0" << "h:0" << 25;
    QTest::newRow("port too big") << "h:65536" << "h:65536" << 25;
    QTest::newRow("port not a number") << "h:smtp" << "h:smtp" << 25;
    QTest::newRow("empty port") << "h:" << "h:" << 25;
    QTest::newRow("highest port") << "h:65535" << "h" << 65535;
    QTest::newRow("unclosed bracket") << "[::1:25" << "[::1:25" << 25;
    QTest::newRow("junk after bracket") << "[::1]x" << "[::1]x" << 25;
    QTest::newRow("empty") << "" << "" << 25;
}

void TestSmtpSession::hostPort()
{
    QFETCH(QString, box);
    QFETCH(QString, host);
    QFETCH(int, port);
    QCOMPARE(splitHostPort(box, kSmtpPort), (HostPort{host, quint16(port)}));
}

QTEST_GUILESS_MAIN(TestSmtpSession)
#include "tst_mail_smtp.moc"
