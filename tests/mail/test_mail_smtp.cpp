#include "MailTest.h"
#include "support/Files.h"

#include "mail/HostPort.h"
#include "mail/MimeMessage.h"
#include "mail/SmtpSession.h"
#include "mail/mdlMUUEncode.h"

#include <QRegularExpression>
#include <QTemporaryDir>
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
    m.date = kWhen;
    m.localHostName = QStringLiteral("desk.example.org");
    m.messageId = QStringLiteral("<20020305130309.1@example.org>");
    m.host = QStringLiteral("mail.example.net");
    m.userName = QStringLiteral("anna");
    m.password = QStringLiteral("pass word");
    return m;
}

const QByteArray kHead = "From: anna@example.org\r\nTo: bob@example.net, carl@example.com\r\n"
                         "Date: Tue, 5 Mar 2002 14:03:09 +0100\r\nMessage-ID: <20020305130309.1@example.org>\r\n";

// Conversation steps (converse() in MailTest.h).
const QString kGreet = "220 mail ESMTP\r\n => EHLO desk.example.org\r\n";
const QString kHello = "250-mail\r\n250 SIZE 100\r\n => MAIL FROM:<anna@example.org>\r\n";
const QStringList kToData = {"250 2.1.0 Ok\r\n => RCPT TO:<bob@example.net>\r\n",
                             "250 2.1.5 Ok\r\n => RCPT TO:<carl@example.com>\r\n", "250 2.1.5 Ok\r\n => DATA\r\n",
                             "354 go on\r\n => message"};
const QString kSent = QStringLiteral("Information|Tessaly 2002|Message sent successfuly.");
QString refused(const QString& reply)
{
    return "close | Information|SMTP Error|SMTP Error: " + reply + " | failed";
}

}  // namespace

class TestSmtpSession : public QObject {
    Q_OBJECT

private slots:
    void conversation_data()
    {
        QTest::addColumn<int>("tls");
        QTest::addColumn<bool>("loopback");
        QTest::addColumn<QStringList>("steps");
        const int offered = int(TlsMode::Offered), required = int(TlsMode::Required), implicit = int(TlsMode::Implicit);
        const QStringList toQuit = QStringList{kGreet, kHello} + kToData + QStringList{"250 queued\r\n => QUIT\r\n"};
        const struct {
            const char* row;
            int tls;
            bool loopback;
            QStringList steps;
        } rows[] = {
            {"two recipients, goodbye", offered, false,
             toQuit + QStringList{"221 Bye\r\n => close | " + kSent + " | ok"}},
            {"go-on reply to QUIT", offered, false, toQuit + QStringList{"250 fine\r\n => close | ok"}},
            {"no goodbye after QUIT", offered, false, toQuit + QStringList{"<close> => " + kSent + " | ok"}},
            {"closed before the message was taken", offered, false,
             QStringList{kGreet, kHello} + kToData
                 + QStringList{"<close> => Information|SMTP Error|SMTP Error: The server closed the connection "
                               "before the message was accepted. | failed"}},
            {"silence after QUIT", offered, false, toQuit + QStringList{"<timeout> => close | " + kSent + " | ok"}},
            {"354 to the final dot", offered, false,
             QStringList{kGreet, kHello} + kToData + QStringList{"354 again?\r\n => " + refused("354 again?\r\n")}},
            {"EHLO unknown, HELO", offered, false,
             QStringList{kGreet, "502 5.5.2 what\r\n => HELO desk.example.org\r\n",
                         "220 hi\r\n => MAIL FROM:<anna@example.org>\r\n"}},
            {"EHLO refused otherwise", offered, false, QStringList{kGreet, "554 no\r\n => " + refused("554 no\r\n")}},
            {"8BITMIME, login offered in clear", offered, false,
             QStringList{kGreet, "250-mail\r\n250-AUTH PLAIN LOGIN\r\n250 8BITMIME\r\n => MAIL "
                                 "FROM:<anna@example.org> BODY=8BITMIME\r\n"}},
            {"STARTTLS, then PLAIN", offered, false,
             QStringList{kGreet, "250-mail\r\n250-STARTTLS\r\n250 AUTH LOGIN PLAIN\r\n => STARTTLS\r\n",
                         "220 go\r\n250 injected\r\n => starttls", "<tls> => EHLO desk.example.org\r\n",
                         "250-mail\r\n250 AUTH LOGIN PLAIN\r\n => AUTH PLAIN AGFubmEAcGFzcyB3b3Jk\r\n",
                         "235 ok\r\n => MAIL FROM:<anna@example.org>\r\n"}},
            {"STARTTLS refused", offered, false,
             QStringList{kGreet, "250-mail\r\n250 STARTTLS\r\n => STARTTLS\r\n",
                         "454 not now\r\n => " + refused("454 not now\r\n")}},
            {"a reply before TLS is up", offered, false,
             QStringList{kGreet, "250-m\r\n250 STARTTLS\r\n => STARTTLS\r\n", "220 go\r\n => starttls",
                         "250 x\r\n => " + refused("250 x\r\n")}},
            {"587 without STARTTLS", required, false,
             QStringList{kGreet, "250-mail\r\n250 AUTH PLAIN\r\n => "
                                     + refused("The server mail.example.net offers no secure connection (STARTTLS), "
                                               "which this port requires. Nothing was sent.")}},
            {"implicit TLS, LOGIN", implicit, false,
             QStringList{"<tls> => ", kGreet, "250-mail\r\n250-STARTTLS\r\n250 AUTH LOGIN\r\n => AUTH LOGIN\r\n",
                         "334 VXNlcm5hbWU6\r\n => YW5uYQ==\r\n", "334 UGFzc3dvcmQ6\r\n => cGFzcyB3b3Jk\r\n",
                         "235 ok\r\n => MAIL FROM:<anna@example.org>\r\n"}},
            {"login refused", implicit, false,
             QStringList{"<tls> => ", kGreet, "250-m\r\n250 AUTH PLAIN\r\n => AUTH PLAIN AGFubmEAcGFzcyB3b3Jk\r\n",
                         "535 5.7.8 bad\r\n => " + refused("535 5.7.8 bad\r\n")}},
            {"LOGIN user refused", implicit, false,
             QStringList{"<tls> => ", kGreet, "250-m\r\n250 AUTH LOGIN\r\n => AUTH LOGIN\r\n",
                         "501 no\r\n => " + refused("501 no\r\n")}},
            {"login in clear to loopback", offered, true,
             QStringList{kGreet, "250-m\r\n250 AUTH PLAIN\r\n => AUTH PLAIN AGFubmEAcGFzcyB3b3Jk\r\n"}},
            {"greeting refused", offered, false, QStringList{"554 go away\r\n => " + refused("554 go away\r\n")}},
            {"second RCPT refused", offered, false,
             QStringList{kGreet, kHello, kToData[0],
                         "550-no such user\r\n550 really\r\n => " + refused("550-no such user\r\n550 really\r\n")}},
            {"cut-off refusal, close", offered, false,
             QStringList{kGreet, kHello, "451 local => ", "<close> => " + refused("451 local")}},
            {"cut-off go-on, close", offered, false,
             QStringList{kGreet, "250 O => ",
                         "<close> => Information|SMTP Error|SMTP Error: The server closed the connection before the "
                         "message was accepted. | failed"}},
            {"silence", offered, false, QStringList{kGreet, kHello, "<timeout> => " + refused("T")}},
            {"hang-up, socket fault", offered, false,
             QStringList{kGreet, "<hang-up> => ",
                         "<fault> => Exclamation|Winsock Error|Winsock Error number 2\r\nno host | failed"}},
            {"framing: cut lines, two replies at once", offered, false,
             QStringList{"220-a\r\n22 => ", "0 rea => ", "dy\r => ",
                         "\n250 x\r\n => EHLO desk.example.org\r\n | MAIL FROM:<anna@example.org>\r\n"}},
            {"framing: bare code, LF alone", offered, false, QStringList{"220-a\n220\n => EHLO desk.example.org\r\n"}},
            {"endless reply", offered, false,
             QStringList{QString(70000, QLatin1Char('x')) + " => " + refused(QString(65536, QLatin1Char('x')))}},
        };
        for (const auto& r : rows)
            QTest::newRow(r.row) << r.tls << r.loopback << r.steps;
    }
    void conversation()
    {
        QFETCH(int, tls);
        QFETCH(bool, loopback);
        QFETCH(QStringList, steps);
        SmtpMessage m = example();
        m.tls = TlsMode(tls);
        SmtpSession s;
        s.start(m);
        s.connected(QHostAddress(QStringLiteral("192.0.2.7")), loopback);
        converse(s, steps);
        if (!s.isActive())  // over: a later reply or the hang-up changes nothing
            QCOMPARE(describe(s.feed("250 ok\r\n")) + describe(s.closed()), QString());
    }

    void emptyRecipientBoxAsksWithoutAddress()
    {
        SmtpMessage m = example();
        m.recipients = QStringLiteral(" ;, ");
        SmtpSession s;
        s.start(m);
        QCOMPARE(describe(s.feed("220 a\r\n250 b\r\n250 c\r\n250 d\r\n")),
                 "EHLO desk.example.org\r\n | MAIL FROM:<anna@example.org>\r\n | RCPT TO:\r\n | DATA\r\n");
    }

    void ehloArgument()
    {
        const struct {
            const char *host, *local, *argument;
        } rows[] = {{"desk.example.org", "192.0.2.7", "desk.example.org"},
                    {"desk", "192.0.2.7", "[192.0.2.7]"},  // a bare name
                    {"", "::ffff:192.0.2.7", "[192.0.2.7]"},
                    {"a b.c", "2001:db8::7", "[IPv6:2001:db8::7]"}};
        for (const auto& r : rows)
            QCOMPARE(SmtpSession::ehloArgument(QLatin1String(r.host), QHostAddress(QLatin1String(r.local))),
                     QLatin1String(r.argument));
    }

    void messageData_data()
    {
        QTest::addColumn<QString>("subject");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArrayList>("files");  // attached as f.txt
        QTest::addColumn<QByteArray>("expected");
        const QByteArray mime =
            "MIME-Version: 1.0\r\nContent-Type: text/plain; charset=UTF-8\r\nContent-Transfer-Encoding: 8bit\r\n";
        QTest::newRow("worked example")
            << "Hi"
            << "Line1\r\nLine2" << QByteArrayList{"abc"}
            << "Subject:Hi\r\n" + kHead
                   + "\r\nLine1\r\nLine2\r\n\r\nbegin 664 f.txt\r\n#86)C\r\n`\r\nend\r\n\r\n\r\n.\r\n";
        QTest::newRow("empty message") << ""
                                       << "" << QByteArrayList() << "Subject:\r\n" + kHead + "\r\n\r\n\r\n\r\n.\r\n";
        QTest::newRow("subject as typed, no header injection")
            << "  a\r\nBcc: e@x"
            << "x" << QByteArrayList() << "Subject:  a  Bcc: e@x\r\n" + kHead + "\r\nx\r\n\r\n\r\n.\r\n";
        QTest::newRow("LF and lone CR become CR LF")
            << "s"
            << "one\ntwo\rthree\r\n"
            << QByteArrayList() << "Subject:s\r\n" + kHead + "\r\none\r\ntwo\r\nthree\r\n\r\n\r\n\r\n.\r\n";
        QTest::newRow("leading periods are doubled")
            << "s"
            << ".\r\n..x\r\na.b" << QByteArrayList{"ABCDEFGHIJKLMN"}
            << "Subject:s\r\n" + kHead
                   + "\r\n..\r\n...x\r\na.b\r\n\r\nbegin 664 "
                     "f.txt\r\n..04)#1$5&1TA)2DM,34X@\r\n`\r\nend\r\n\r\n\r\n.\r\n";
        QTest::newRow("non-ASCII: encoded subject, UTF-8 body")
            << " Grüße"
            << "ä" << QByteArrayList()
            << "Subject: =?UTF-8?B?IEdyw7zDn2U=?=\r\n" + kHead + mime + "\r\n\xc3\xa4\r\n\r\n\r\n.\r\n";
        QTest::newRow("long subject: words of 75 at most, characters whole")
            << QString(30, QChar(0x00e4)) + QStringLiteral("\U0001F600") << "" << QByteArrayList()
            << "Subject: =?UTF-8?B?" + QString(22, QChar(0x00e4)).toUtf8().toBase64() + "?=\r\n =?UTF-8?B?"
                   + (QString(8, QChar(0x00e4)) + QStringLiteral("\U0001F600")).toUtf8().toBase64() + "?=\r\n" + kHead
                   + "\r\n\r\n\r\n\r\n.\r\n";
    }
    void messageData()
    {
        QFETCH(QString, subject);
        QFETCH(QString, text);
        QFETCH(QByteArrayList, files);
        QFETCH(QByteArray, expected);
        SmtpMessage m = example();
        m.subject = subject;
        m.text = text;
        QTemporaryDir dir;
        for (const QByteArray& content : files) {
            m.attachments << dir.filePath(QStringLiteral("f.txt"));
            QVERIFY(writeFile(m.attachments.last(), content));
        }
        const std::shared_ptr<MailData> data = SmtpSession::messageData(m);
        QCOMPARE(data->size(), expected.size());
        QCOMPARE(drain(*data), expected);
    }

    // The From line: as typed when ASCII; a name in other letters as
    // encoded words, its quotes and escapes undone, the address as it stands.
    void senderText()
    {
        QCOMPARE(SmtpSession::senderText(QStringLiteral(" \"Ann, B.\" <a@x.org> ")), "\"Ann, B.\" <a@x.org>");
        SmtpMessage m = example();
        m.sender = QStringLiteral("\"J\\\"\u00fcrgen\" <j@x.org>");
        QVERIFY(drain(*SmtpSession::messageData(m))
                    .contains("\r\nFrom: =?UTF-8?B?" + QStringLiteral("J\"\u00fcrgen").toUtf8().toBase64()
                              + "?= <j@x.org>\r\n"));
        QCOMPARE(SmtpSession::senderText(QStringLiteral("j\u00fcrgen@x.org")),
                 QStringLiteral("j\u00fcrgen@x.org").toUtf8());
    }

    // Files as MIME parts are streamed in base64 lines of 76: each comes back
    // whole (every length of a last line, padding of one and of two, none),
    // and the size given beforehand is what goes out.
    void mimePartsStreamed()
    {
        SmtpMessage m = example();
        m.text = QStringLiteral(".dot\nLine");
        m.mimeParts = true;
        QTemporaryDir dir;
        QByteArrayList contents;
        for (const int length : {0, 1, 2, 56, 57, 58, 3001, 57 * 4096 + 1}) {
            QByteArray content(length, Qt::Uninitialized);
            for (int i = 0; i < length; ++i)
                content[i] = char(i * 131 >> 2);
            contents << content;
            m.attachments << dir.filePath(QStringLiteral("f%1.bin").arg(length));
            QVERIFY(writeFile(m.attachments.last(), content));
        }
        const std::shared_ptr<MailData> data = SmtpSession::messageData(m);
        const QByteArray wire = drain(*data);
        QCOMPARE(wire.size(), data->size());
        QVERIFY(wire.endsWith("--\r\n.\r\n") && wire.contains("\r\n..dot\r\n"));
        const MimeMessage read = decodeMime(QByteArray(wire).replace("\r\n..", "\r\n.").chopped(3));
        QCOMPARE(read.text, QStringLiteral(".dot\nLine"));
        QCOMPARE(read.attachments.size(), contents.size());
        for (qsizetype i = 0; i < contents.size(); ++i)
            QCOMPARE(read.attachments[i].data, contents[i]);
    }

    // The Sent copy hears the data as the server reads it: each doubled "."
    // undone wherever it falls (two close together, anywhere in a stretch
    // of sixteen bytes, near a slice's end, the file's last line of 14 bytes
    // a slice of its own), and the final "." line left out.
    void sentCopyUndoesTheDotStuffing()
    {
        SmtpMessage m = example();
        QTemporaryDir dir;
        m.attachments = {dir.filePath(QStringLiteral("f"))};
        QVERIFY(writeFile(m.attachments[0], QByteArray(UUEncodeStream::kSliceBytes + 14, 'A')));
        QByteArray copy;
        m.copy = [&copy](const QByteArray& slice) { copy += slice; };
        for (int i = 0; i < 40; ++i) {
            m.text = ".\n.\n..x\n" + QString(i, QLatin1Char('x')) + "\n.d\nend\n." + QString(i % 16, QLatin1Char('y'));
            copy.clear();
            SmtpSession s;
            s.start(m);
            const QByteArray wire =
                drain(*s.feed("220 a\r\n250 b\r\n250 c\r\n250 d\r\n250 e\r\n354 f\r\n").back().data);
            QCOMPARE(copy, QByteArray(wire).replace("\r\n..", "\r\n.").chopped(3));
        }
    }

    // A file that went away between Send and the server's go-ahead: the
    // message is not sent, and the user is told which file.
    void attachmentGoneBeforeData()
    {
        SmtpMessage m = example();
        m.attachments = {QStringLiteral("/gone/f.txt")};
        SmtpSession s;
        s.start(m);
        QCOMPARE(
            describe(s.feed("220 a\r\n250 b\r\n250 c\r\n250 d\r\n250 e\r\n354 f\r\n")).section(" | ", 5),
            "close | Exclamation|Tessaly 2002|The file /gone/f.txt cannot be attached: No such file or directory | "
            "failed");
    }

    void recipients()
    {
        QCOMPARE(SmtpSession::splitRecipients(QStringLiteral(" a@x.org ,, ;Anna <b@y.org>;  ;")),
                 QStringList({"a@x.org", "b@y.org"}));
        QCOMPARE(SmtpSession::splitRecipients(QStringLiteral("  ")), QStringList());
    }

    void dates()
    {
        QCOMPARE(SmtpSession::rfc5322Date(kWhen), "Tue, 5 Mar 2002 14:03:09 +0100");
        QCOMPARE(SmtpSession::rfc5322Date(QDateTime(QDate(1999, 12, 31), QTime(23, 59), QTimeZone(-19800))),
                 "Fri, 31 Dec 1999 23:59:00 -0530");
    }

    // The domain comes from the sender, else the host name, else "localhost".
    void madeUpMessageId()
    {
        const QRegularExpression form(QStringLiteral("^<20020305130309\\.[0-9a-f]{16}@(.+)>$"));
        const auto domainOf = [&](const QString& sender, const QString& host) {
            return form.match(SmtpSession::newMessageId(sender, host, kWhen)).captured(1);
        };
        QCOMPARE(domainOf(QStringLiteral("anna@example.org"), QStringLiteral("desk")), QStringLiteral("example.org"));
        QCOMPARE(domainOf(QStringLiteral("anna"), QStringLiteral("desk")), QStringLiteral("desk"));
        QCOMPARE(domainOf(QStringLiteral("anna@bad domain>"), QString()), QStringLiteral("localhost"));
    }

    // A port out of range or junk after the brackets leave the box whole as the host.
    void hostPortAndTls()
    {
        const struct {
            const char *box, *host;
            quint16 port;
        } rows[] = {{" mail.example.org ", "mail.example.org", 25},
                    {"[::1]:587", "::1", 587},
                    {"2001:db8::1", "2001:db8::1", 25},
                    {"h:65535", "h", 65535},
                    {"h:0", "h:0", 25},
                    {"h:65536", "h:65536", 25},
                    {"[::1]x", "[::1]x", 25}};
        for (const auto& r : rows)
            QCOMPARE(splitHostPort(QLatin1String(r.box), kSmtpPort), (HostPort{QLatin1String(r.host), r.port}));
    }

    void tlsByPort()
    {
        QCOMPARE(QList<TlsMode>({smtpTlsMode(25), smtpTlsMode(465), smtpTlsMode(587), pop3TlsMode(110),
                                 pop3TlsMode(995), pop3TlsMode(465), imapTlsMode(993), imapTlsMode(143)}),
                 QList<TlsMode>({TlsMode::Offered, TlsMode::Implicit, TlsMode::Required, TlsMode::Offered,
                                 TlsMode::Implicit, TlsMode::Offered, TlsMode::Implicit, TlsMode::Offered}));
    }
};

QTEST_GUILESS_MAIN(TestSmtpSession)
#include "test_mail_smtp.moc"
