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

// The headers after the subject line of every message made from example().
const QByteArray kHead = "From: anna@example.org\r\n"
                         "To: bob@example.net, carl@example.com\r\n"
                         "Date: Tue, 5 Mar 2002 14:03:09 +0100\r\n"
                         "Message-ID: <20020305130309.1@example.org>\r\n";
const QByteArray kExampleData =
    "Subject:Hi\r\n" + kHead + "\r\nLine1\r\nLine2\r\n\r\nbegin 664 f.txt\r\n#86)C\r\n`\r\nend\r\n\r\n\r\n.\r\n";

// A willing server's reply at each step, and what the session sends to it.
const QList<QPair<QByteArray, QString>> kConversation = {
    {"220 mail.example.net ESMTP\r\n", "send HELO anna\r\n"},
    {"250 mail.example.net\r\n", "send MAIL FROM:<anna@example.org>\r\n"},
    {"250 2.1.0 Ok\r\n", "send RCPT TO:<bob@example.net>\r\n"},
    {"250 2.1.5 Ok\r\n", "send RCPT TO:<carl@example.com>\r\n"},
    {"250 2.1.5 Ok\r\n", "send DATA\r\n"},
    {"354 End data with <CR><LF>.<CR><LF>\r\n", "send " + QString::fromLatin1(kExampleData)},
    {"250 2.0.0 Ok: queued\r\n", "send QUIT\r\n"},
};

// Starts a session and plays the first `n` exchanges, checking each answer.
bool playUpTo(SmtpSession &s, int n, const SmtpMessage &m = example())
{
    s.start(m);
    for (int i = 0; i < n; ++i) {
        if (describe(s.feed(kConversation[i].first)) != QStringList{kConversation[i].second})
            return false;
    }
    return true;
}

QStringList refused(const QString &reply)
{
    return {"close", "notify [SMTP Error|information] SMTP Error: " + reply, "finished failed"};
}

const QString kSent = QStringLiteral("notify [Tessaly 2002|information] Message sent successfuly.");

}  // namespace

class TestSmtpSession : public QObject
{
    Q_OBJECT

private slots:
    // After `step` willing replies, what one more reply makes the session do.
    void replyAtEachStep_data()
    {
        QTest::addColumn<int>("step");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QStringList>("actions");

        QTest::newRow("two recipients, goodbye") << 7 << QByteArray("221 2.0.0 Bye\r\n")
                                                 << QStringList{"close", kSent, "finished ok"};
        QTest::newRow("go-on reply to QUIT") << 7 << QByteArray("250 fine\r\n") << QStringList{"close", "finished ok"};
        QTest::newRow("354 to the greeting goes on")
            << 0 << QByteArray("354 hello\r\n") << QStringList{"send HELO anna\r\n"};
        QTest::newRow("220 to HELO goes on")
            << 1 << QByteArray("220 what\r\n") << QStringList{"send MAIL FROM:<anna@example.org>\r\n"};
        QTest::newRow("354 to the final dot is no acceptance")
            << 6 << QByteArray("354 again?\r\n") << refused("354 again?\r\n");
        const QList<QPair<const char *, QByteArray>> refusals = {
            {"greeting", "554 5.7.1 go away\r\n"},
            {"HELO", "501 5.5.4 Syntax: HELO hostname\r\n"},
            {"MAIL FROM", "553 5.7.1 sender rejected\r\n"},
            {"first RCPT TO", "550 5.1.1 no such user\r\n"},
            {"second RCPT TO", "550-5.1.1 no such user\r\n550 5.1.1 really\r\n"},
            {"DATA", "503 5.5.1 need RCPT\r\n"},
            {"final dot", "552 5.3.4 message too big\r\n"},
        };
        for (int step = 0; step < refusals.size(); ++step) {
            QTest::addRow("refused at %s", refusals[step].first)
                << step << refusals[step].second << refused(QString::fromLatin1(refusals[step].second));
        }
    }

    void replyAtEachStep()
    {
        QFETCH(int, step);
        QFETCH(QByteArray, reply);
        QFETCH(QStringList, actions);
        SmtpSession s;
        QVERIFY(playUpTo(s, step));
        QCOMPARE(describe(s.feed(reply)), actions);
        if (actions.last().startsWith(QLatin1String("finished"))) {
            // Over: a later reply or the hang-up changes nothing.
            QVERIFY(!s.isActive());
            QCOMPARE(describe(s.feed("250 ok\r\n")), QStringList());
            QCOMPARE(describe(s.closed()), QStringList());
        }
    }

    void replyFramingDoesNotDependOnHowTcpCutIt_data()
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
        QTest::newRow("two replies in one piece")
            << QByteArrayList{"220 ready\r\n250 hello\r\n"} << QStringList{helo, mail};
        QTest::newRow("final line without text") << QByteArrayList{"220\r\n"} << QStringList{helo};
        QTest::newRow("LF alone ends a line") << QByteArrayList{"220-a\n220 b\n"} << QStringList{helo};
    }

    void replyFramingDoesNotDependOnHowTcpCutIt()
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

    // The server hangs up after `step` willing replies and `leftover`.
    void earlyClose_data()
    {
        QTest::addColumn<int>("step");
        QTest::addColumn<QByteArray>("leftover");
        QTest::addColumn<QStringList>("actions");

        const QStringList early = {"notify [SMTP Error|information] SMTP Error: The server closed the connection "
                                   "before the message was accepted.",
                                   "finished failed"};
        for (int i = 0; i < 7; ++i)
            QTest::addRow("after %d replies", i) << i << QByteArray() << early;
        QTest::newRow("cut-off go-on reply") << 3 << QByteArray("250 O") << early;
        QTest::newRow("cut-off refusal") << 6 << QByteArray("451 local error") << refused("451 local error");
        QTest::newRow("after QUIT, no goodbye") << 7 << QByteArray() << QStringList{kSent, "finished ok"};
    }

    void earlyClose()
    {
        QFETCH(int, step);
        QFETCH(QByteArray, leftover);
        QFETCH(QStringList, actions);
        SmtpSession s;
        QVERIFY(playUpTo(s, step));
        QCOMPARE(describe(s.feed(leftover)), QStringList());
        QCOMPARE(describe(s.closed()), actions);
    }

    void emptyRecipientBoxAsksWithoutAddress()
    {
        SmtpMessage m = example();
        m.recipients = QStringLiteral(" ;, ");
        SmtpSession s;
        QVERIFY(playUpTo(s, 2, m));
        QCOMPARE(describe(s.feed("250 ok\r\n")), QStringList{"send RCPT TO:\r\n"});
    }

    void endlessReplyIsCutOff()
    {
        SmtpSession s;
        s.start(example());
        const QStringList got = describe(s.feed(QByteArray(70000, 'x')));
        QCOMPARE(got, refused(QString(65536, QLatin1Char('x'))));
        QVERIFY(!s.isActive());
    }

    void messageData_data()
    {
        QTest::addColumn<QString>("subject");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("attachments");
        QTest::addColumn<QByteArray>("expected");

        const QByteArray mime = "MIME-Version: 1.0\r\n"
                                "Content-Type: text/plain; charset=UTF-8\r\n"
                                "Content-Transfer-Encoding: 8bit\r\n";
        QTest::newRow("worked example")
            << "Hi" << "Line1\r\nLine2" << QByteArray("begin 664 f.txt\n#86)C\n`\nend\n\r\n")
                                        << kExampleData;
        QTest::newRow("no attachment") << "Hi" << "Line1\r\nLine2" << QByteArray()
                                       << "Subject:Hi\r\n" + kHead + "\r\nLine1\r\nLine2\r\n\r\n\r\n.\r\n";
        QTest::newRow("empty message") << "" << "" << QByteArray() << "Subject:\r\n" + kHead + "\r\n\r\n\r\n\r\n.\r\n";
        QTest::newRow("text ending in a line break gives one more line")
            << "Hi" << "a\r\n" << QByteArray() << "Subject:Hi\r\n" + kHead + "\r\na\r\n\r\n\r\n\r\n.\r\n";
        QTest::newRow("subject exactly as typed")
            << "  spaced  " << "x" << QByteArray() << "Subject:  spaced  \r\n" + kHead + "\r\nx\r\n\r\n\r\n.\r\n";
        QTest::newRow("line break in subject cannot add a header")
            << "a\r\nBcc: eve@example.com" << "x" << QByteArray()
            << "Subject:a  Bcc: eve@example.com\r\n" + kHead + "\r\nx\r\n\r\n\r\n.\r\n";
        QTest::newRow("LF and lone CR become CR LF")
            << "s" << "one\ntwo\rthree\r\n" << QByteArray()
            << "Subject:s\r\n" + kHead + "\r\none\r\ntwo\r\nthree\r\n\r\n\r\n\r\n.\r\n";
        QTest::newRow("leading periods are doubled")
            << "s" << ".\r\n..x\r\na.b" << QByteArray("begin 664 n\n.04)#1$5&1TA)2DM,34X@\n`\nend\n\r\n")
            << "Subject:s\r\n" + kHead
                   + "\r\n..\r\n...x\r\na.b\r\n\r\nbegin 664 n\r\n..04)#1$5&1TA)2DM,34X@\r\n`\r\nend\r\n\r\n\r\n.\r\n";
        QTest::newRow("non-ASCII text declares UTF-8")
            << "Grüße" << "ä" << QByteArray()
            << "Subject:Gr\xc3\xbc\xc3\x9f" "e\r\n" + kHead + mime + "\r\n\xc3\xa4\r\n\r\n\r\n.\r\n";
        QTest::newRow("non-ASCII file name declares UTF-8")
            << "s" << "" << QByteArray("begin 664 \xc3\xa4\n`\n`\nend\n\r\n")
            << "Subject:s\r\n" + kHead + mime + "\r\n\r\n\r\nbegin 664 \xc3\xa4\r\n`\r\n`\r\nend\r\n\r\n\r\n.\r\n";
    }

    void messageData()
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

    void recipients_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QStringList>("addresses");

        QTest::newRow("picker's separator") << "a@x.org; b@y.org" << QStringList{"a@x.org", "b@y.org"};
        QTest::newRow("commas, blanks, empty pieces")
            << " a@x.org ,, ;b@y.org;  ;" << QStringList{"a@x.org", "b@y.org"};
        QTest::newRow("name and address")
            << "Anna Smith <anna@x.org>; <b@y.org>" << QStringList{"anna@x.org", "b@y.org"};
        QTest::newRow("empty box") << "   " << QStringList{};
    }

    void recipients()
    {
        QFETCH(QString, box);
        QFETCH(QStringList, addresses);
        QCOMPARE(SmtpSession::splitRecipients(box), addresses);
    }

    void heloArgument_data()
    {
        QTest::addColumn<QString>("sender");
        QTest::addColumn<QString>("helo");

        QTest::newRow("local part") << " anna@example.org " << "anna";
        QTest::newRow("two @ signs: before the first") << "a@b@c.org" << "a";
        QTest::newRow("no @: local host name") << "anna" << "desk.example.org";
        QTest::newRow("empty local part: local host name") << "@example.org" << "desk.example.org";
        QTest::newRow("name and address") << "Anna <anna@example.org>" << "anna";
    }

    void heloArgument()
    {
        QFETCH(QString, sender);
        QFETCH(QString, helo);
        SmtpMessage m = example();
        m.sender = sender;
        SmtpSession s;
        s.start(m);
        QCOMPARE(describe(s.feed("220 hi\r\n")), QStringList{"send HELO " + helo + "\r\n"});
    }

    void dates_data()
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

    void dates()
    {
        QFETCH(QDateTime, when);
        QFETCH(QByteArray, text);
        QCOMPARE(SmtpSession::rfc5322Date(when), text);
    }

    // The domain comes from the sender, else the host name, else "localhost";
    // the send screen's test sees a session make one up for every message.
    void madeUpMessageId()
    {
        const QRegularExpression form(QStringLiteral("^<20020305130309\\.[0-9a-f]{16}@(.+)>$"));
        const auto domainOf = [&](const QString &sender, const QString &host) {
            const QRegularExpressionMatch m = form.match(SmtpSession::newMessageId(sender, host, kWhen));
            return m.hasMatch() ? m.captured(1) : QStringLiteral("no match");
        };
        QCOMPARE(domainOf(QStringLiteral("anna@example.org"), QStringLiteral("desk")), QStringLiteral("example.org"));
        QCOMPARE(domainOf(QStringLiteral("anna"), QStringLiteral("desk")), QStringLiteral("desk"));
        QCOMPARE(domainOf(QStringLiteral("anna@bad domain>"), QString()), QStringLiteral("localhost"));
        QVERIFY(SmtpSession::newMessageId(QString(), QString(), kWhen)
                != SmtpSession::newMessageId(QString(), QString(), kWhen));
    }

    void hostPort_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("port");

        QTest::newRow("name") << " mail.example.org " << "mail.example.org" << 25;
        QTest::newRow("name and port") << "mail.example.org:2525" << "mail.example.org" << 2525;
        QTest::newRow("bracketed IPv6 and port") << "[::1]:587" << "::1" << 587;
        QTest::newRow("bracketed IPv6") << "[2001:db8::1]" << "2001:db8::1" << 25;
        QTest::newRow("bare IPv6") << "2001:db8::1" << "2001:db8::1" << 25;
        QTest::newRow("highest port") << "h:65535" << "h" << 65535;
        QTest::newRow("port zero is no port") << "h:0" << "h:0" << 25;
        QTest::newRow("port too big") << "h:65536" << "h:65536" << 25;
        QTest::newRow("port not a number") << "h:smtp" << "h:smtp" << 25;
        QTest::newRow("empty port") << "h:" << "h:" << 25;
        QTest::newRow("unclosed bracket") << "[::1:25" << "[::1:25" << 25;
        QTest::newRow("junk after bracket") << "[::1]x" << "[::1]x" << 25;
    }

    void hostPort()
    {
        QFETCH(QString, box);
        QFETCH(QString, host);
        QFETCH(int, port);
        QCOMPARE(splitHostPort(box, kSmtpPort), (HostPort{host, quint16(port)}));
    }
};

QTEST_GUILESS_MAIN(TestSmtpSession)
#include "tst_mail_smtp.moc"
