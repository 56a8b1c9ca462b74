// The protocol machines against real servers on loopback, over a real socket.
#include "MailActionText.h"
#include "MailServers.h"

#include "mail/Pop3Session.h"
#include "mail/SmtpSession.h"
#include "mail/mdlMUUEncode.h"

#include <QEventLoop>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>
#include <QTimer>

namespace {

// What a screen does with a machine: connect, feed every arrival, report the
// close and socket errors, carry out the actions. Returns every action.
template <class Session>
MailActions drive(Session &session, quint16 port, int timeoutMs = 60000)
{
    QTcpSocket socket;
    QEventLoop loop;
    MailActions all;
    bool finished = false;
    const auto carryOut = [&](const MailActions &actions) {
        for (const MailAction &a : actions) {
            all.push_back(a);
            switch (a.kind) {
            case MailAction::Kind::Send:
                socket.write(a.bytes);
                break;
            case MailAction::Kind::Close:
                socket.close();
                break;
            case MailAction::Kind::Finished:
                finished = true;
                loop.quit();
                break;
            default:
                break;
            }
        }
    };
    const auto readAll = [&] { return socket.isOpen() ? socket.readAll() : QByteArray(); };
    QObject::connect(&socket, &QTcpSocket::readyRead, [&] { carryOut(session.feed(readAll())); });
    QObject::connect(&socket, &QTcpSocket::disconnected, [&] {
        carryOut(session.feed(readAll()));
        carryOut(session.closed());
    });
    QObject::connect(&socket, &QTcpSocket::errorOccurred,
                     [&](QAbstractSocket::SocketError e) { carryOut(session.socketError(e, socket.errorString())); });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    socket.connectToHost(QStringLiteral("127.0.0.1"), port);
    if (!finished)
        loop.exec();
    socket.abort();
    return all;
}

QStringList notices(const MailActions &actions)
{
    QStringList out;
    for (const MailAction &a : actions) {
        if (a.kind == MailAction::Kind::Notify || a.kind == MailAction::Kind::Finished
            || a.kind == MailAction::Kind::List)
            out += describe({a});
    }
    return out;
}

QByteArray crlf(QByteArray text)
{
    return text.replace("\n", "\r\n");
}

QByteArray allByteValues(qsizetype size)
{
    QByteArray b(size, '\0');
    for (qsizetype i = 0; i < size; ++i)
        b[i] = char(i % 256);
    return b;
}

}  // namespace

class TestMailServers : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void messageWithAttachmentsReachesTheServer();
    void refusalIsShownWithTheServersReply();

    void fiveMessagesComeBackParsed();
    void repeatedCheckListsOnlyNewMessages();
    void wrongPassword();

private:
    std::unique_ptr<SmtpTestServer> m_smtp;
    std::unique_ptr<Pop3TestServer> m_pop3;
    QString m_smtpMissing;
    QString m_pop3Missing;
    CMessages m_fetched;
    QList<QByteArray> m_served;  // as the server stores them, LF line ends
};

void TestMailServers::initTestCase()
{
    m_smtpMissing = SmtpTestServer::missing();
    if (m_smtpMissing.isEmpty()) {
        m_smtp = std::make_unique<SmtpTestServer>();
        QString why;
        QVERIFY2(m_smtp->start(&why), qPrintable(why));
    }

    m_pop3Missing = Pop3TestServer::missing();
    if (m_pop3Missing.isEmpty()) {
        m_pop3 = std::make_unique<Pop3TestServer>(QStringLiteral("anna"), QStringLiteral("pass word"));
        QByteArray big = "Message-ID: <big@example.org>\nSubject: Big\nFrom: big@example.org\n\n";
        const QByteArray line = QByteArray("0123456789abcdefghijklmnopqrstuvwxyz").repeated(2) + "ABCDEFG\n";
        while (big.size() < 5 * 1024 * 1024)
            big += line;
        m_served = {
            "Return-Path: <anna@example.org>\nReceived: from one\nReceived: from two\n"
            "Message-ID: <m1@example.org>\nFrom: Anna <anna@example.org>\nTo: bob@example.net\n"
            "Subject: First\nDate: Mon, 1 Jan 2001 10:00:00 +0100\n\nHello Bob.\n",
            big,
            "Message-ID: <dots@example.org>\nSubject: Dots\n\n.\n..\n.x\n\n.\nend\n",
            "From: nobody@example.org\nSubject: No id\n\nanonymous\n",
            "Message-ID: <utf8@example.org>\nSubject: Gr\xc3\xbc\xc3\x9f" "e\n folded part\nCc: c@example.org\n\n"
            "K\xc3\xa4se\n",
        };
        QString why;
        for (const QByteArray &text : m_served)
            QVERIFY2(m_pop3->addMessage(text, &why), qPrintable(why));
        QVERIFY2(m_pop3->start(&why), qPrintable(why));
    }
}

void TestMailServers::cleanupTestCase()
{
    m_smtp.reset();
    m_pop3.reset();
}

void TestMailServers::messageWithAttachmentsReachesTheServer()
{
    if (!m_smtp)
        QSKIP(qPrintable(m_smtpMissing));

    QTemporaryDir dir;
    struct File {
        QString name;
        QByteArray bytes;
    };
    QByteArray varied(45, '\0');
    for (int i = 0; i < 45; ++i)
        varied[i] = char(i * 37 + 11);
    const QList<File> files = {
        {QStringLiteral("empty.bin"), QByteArray()},
        {QStringLiteral("forty-five.bin"), varied},
        {QStringLiteral("all-bytes.bin"), allByteValues(100 * 1024)},
        {QStringLiteral("fourteen.txt"), QByteArray("fourteen bytes")},  // its data line starts with "."
    };
    QStringList paths;
    for (const File &f : files) {
        QFile out(dir.filePath(f.name));
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(f.bytes);
        paths << out.fileName();
    }

    SmtpMessage m;
    m.sender = QStringLiteral("anna@example.org");
    m.recipients = QStringLiteral("bob@example.net; Carl <carl@example.com>");
    m.subject = QStringLiteral("Files for you");
    m.text = QString::fromUtf8(".hidden first line\nSecond line äö\n\nLast");
    m.attachments = UUEncodeAttachments(paths).value();
    m.date = QDateTime(QDate(2002, 3, 5), QTime(14, 3, 9), QTimeZone(3600));
    m.localHostName = QStringLiteral("desk");
    m.messageId = QStringLiteral("<integration.1@example.org>");

    const int before = int(m_smtp->messages().size());
    SmtpSession session;
    session.start(m);
    QCOMPARE(notices(drive(session, m_smtp->port())),
             (QStringList{"notify [Tessaly 2002|information] Message sent successfuly.", "finished ok"}));

    const QList<SmtpTestServer::Received> got = m_smtp->waitForMessages(before + 1);
    QCOMPARE(got.size(), before + 1);
    const SmtpTestServer::Received &r = got.last();
    QCOMPARE(r.helo, QByteArray("anna"));
    QCOMPARE(r.mailFrom, QByteArray("anna@example.org"));
    QCOMPARE(r.rcptTos, (QByteArrayList{"bob@example.net", "carl@example.com"}));

    const QByteArray head = "Subject:Files for you\r\n"
                            "From: anna@example.org\r\n"
                            "To: bob@example.net, carl@example.com\r\n"
                            "Date: Tue, 5 Mar 2002 14:03:09 +0100\r\n"
                            "Message-ID: <integration.1@example.org>\r\n"
                            "MIME-Version: 1.0\r\n"
                            "Content-Type: text/plain; charset=UTF-8\r\n"
                            "Content-Transfer-Encoding: 8bit\r\n"
                            "\r\n"
                            ".hidden first line\r\n"
                            "Second line \xc3\xa4\xc3\xb6\r\n"
                            "\r\n"
                            "Last\r\n"
                            "\r\n"
                            "begin 664 empty.bin\r\n";
    QVERIFY2(r.content.startsWith(head), r.content.left(600).constData());
    QVERIFY(r.content.endsWith("`\r\nend\r\n\r\n\r\n"));
    QVERIFY(!r.content.contains("\r\n.\r\n"));

    // Every block, cut out of the stored message, goes through GNU uudecode.
    qsizetype from = 0;
    for (const File &f : files) {
        const QByteArray begin = "begin 664 " + f.name.toLatin1() + "\r\n";
        const qsizetype start = r.content.indexOf(begin, from);
        QVERIFY2(start >= 0, qPrintable(f.name));
        const qsizetype end = r.content.indexOf("\r\nend\r\n", start) + 7;
        from = end;
        QFile block(dir.filePath(f.name + QStringLiteral(".uu")));
        QVERIFY(block.open(QIODevice::WriteOnly));
        block.write(r.content.mid(start, end - start));
        block.close();

        const QString decoded = dir.filePath(f.name + QStringLiteral(".out"));
        QProcess uudecode;
        uudecode.start(QStringLiteral("uudecode"), {QStringLiteral("-o"), decoded, block.fileName()});
        QVERIFY2(uudecode.waitForFinished(20000), "uudecode (sharutils) did not run");
        QFile out(decoded);
        QVERIFY(out.open(QIODevice::ReadOnly));
        QCOMPARE(out.readAll(), f.bytes);
        if (f.bytes.size() % 45 == 0) {
            QEXPECT_FAIL("", "the block's empty last data line before the closing \"`\" makes GNU uudecode "
                             "report \"No `end' line\" after writing every byte",
                         Continue);
        }
        QCOMPARE(uudecode.exitCode(), 0);
    }
}

void TestMailServers::refusalIsShownWithTheServersReply()
{
    if (!m_smtp)
        QSKIP(qPrintable(m_smtpMissing));
    SmtpMessage m;
    m.sender = QStringLiteral("anna@example.org");
    m.recipients = QStringLiteral(" ; ");
    SmtpSession session;
    session.start(m);
    QCOMPARE(notices(drive(session, m_smtp->port())),
             (QStringList{"notify [SMTP Error|information] SMTP Error: 501 Syntax: RCPT TO: <address>\r\n",
                          "finished failed"}));
}

void TestMailServers::fiveMessagesComeBackParsed()
{
    if (!m_pop3)
        QSKIP(qPrintable(m_pop3Missing));
    Pop3Session session(m_fetched);
    session.start(QStringLiteral("anna"), QStringLiteral("pass word"));
    const QStringList seen = notices(drive(session, m_pop3->port()));
    QCOMPARE(seen.size(), 2);
    QCOMPARE(seen[1], QStringLiteral("finished ok"));
    QCOMPARE(m_fetched.Count(), 5);
    const QString noIdKey = m_fetched.Key(4);
    QCOMPARE(seen[0], "list <m1@example.org> <big@example.org> <dots@example.org> " + noIdKey + " <utf8@example.org>");

    for (int i = 0; i < 5; ++i) {
        const auto m = m_fetched.Item(i + 1);
        const QString text = QString::fromUtf8(crlf(m_served[i]));
        QCOMPARE(m->MessageText(), text);
        QCOMPARE(m->Headers() + QStringLiteral("\r\n\r\n") + m->MessageBody(), text);
        QCOMPARE(m->Size(), int(text.size()));
    }
    const auto first = m_fetched.Item(QStringLiteral("<M1@example.org>"));
    QCOMPARE(first->From(), QStringLiteral("Anna <anna@example.org>"));
    QCOMPARE(first->Received(), QStringLiteral("from two"));
    QCOMPARE(first->ReturnPath(), QStringLiteral("<anna@example.org>"));
    QCOMPARE(first->SendDate(), QStringLiteral("Mon, 1 Jan 2001 10:00:00 +0100"));
    QCOMPARE(first->MessageBody(), QStringLiteral("Hello Bob.\r\n"));
    QCOMPARE(m_fetched.Item(QStringLiteral("<big@example.org>"))->MessageText().size(),
             qsizetype(crlf(m_served[1]).size()));
    QCOMPARE(m_fetched.Item(QStringLiteral("<dots@example.org>"))->MessageBody(),
             QStringLiteral(".\r\n..\r\n.x\r\n\r\n.\r\nend\r\n"));
    QCOMPARE(m_fetched.Item(noIdKey)->Subject(), QStringLiteral("No id"));
    const auto utf8 = m_fetched.Item(QStringLiteral("<utf8@example.org>"));
    QCOMPARE(utf8->Subject(), QString::fromUtf8("Grüße"));
    QCOMPARE(utf8->CC(), QStringLiteral("c@example.org"));
    QCOMPARE(utf8->MessageBody(), QString::fromUtf8("Käse\r\n"));
}

void TestMailServers::repeatedCheckListsOnlyNewMessages()
{
    if (!m_pop3)
        QSKIP(qPrintable(m_pop3Missing));
    Pop3Session session(m_fetched);
    if (m_fetched.Count() == 0) {
        session.start(QStringLiteral("anna"), QStringLiteral("pass word"));
        drive(session, m_pop3->port());
    }
    const int held = m_fetched.Count();

    session.start(QStringLiteral("anna"), QStringLiteral("pass word"));
    QCOMPARE(notices(drive(session, m_pop3->port())), (QStringList{"list ", "finished ok"}));
    QCOMPARE(m_fetched.Count(), held);

    QString why;
    QVERIFY2(m_pop3->addMessage("Message-ID: <late@example.org>\nSubject: Late\n\nnew\n", &why), qPrintable(why));
    session.start(QStringLiteral("anna"), QStringLiteral("pass word"));
    QCOMPARE(notices(drive(session, m_pop3->port())), (QStringList{"list <late@example.org>", "finished ok"}));
    QCOMPARE(m_fetched.Count(), held + 1);
}

void TestMailServers::wrongPassword()
{
    if (!m_pop3)
        QSKIP(qPrintable(m_pop3Missing));
    CMessages none;
    Pop3Session session(none);
    session.start(QStringLiteral("anna"), QStringLiteral("guess"));
    QCOMPARE(notices(drive(session, m_pop3->port())),
             (QStringList{"notify [POP3 Error|exclamation] POP3 Error: -ERR [AUTH] Authentication failed.\r\n",
                          "list ", "finished failed"}));
    QCOMPARE(none.Count(), 0);
}

QTEST_GUILESS_MAIN(TestMailServers)
#include "tst_mail_servers.moc"
