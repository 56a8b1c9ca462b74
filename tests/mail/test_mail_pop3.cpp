#include "MailTest.h"

#include "mail/Pop3Session.h"

#include <QCryptographicHash>
#include <QTest>

namespace {

const QByteArray kOne = "Message-ID: <one@example.org>\r\nFrom: a@example.org\r\nSubject: first\r\n"
                        "Date: Mon, 1 Jan 2001 10:00:00 +0100\r\n\r\nHello\r\n";
const QByteArray kTwo = "Message-ID: <two@example.org>\r\nSubject: second\r\n\r\nBye\r\n";

// A RETR answer for a message that has no line starting with ".".
QString retr(const QByteArray& message)
{
    return QString::fromLatin1("+OK " + QByteArray::number(message.size()) + " octets\r\n" + message + ".\r\n");
}

// Conversation steps: what the server says => what the session does.
const QStringList kLogin = {"+OK ready\r\n => CAPA\r\n", "+OK\r\nUSER\r\n.\r\n => USER anna\r\n",
                            "+OK\r\n => PASS s3cret \r\n", "+OK\r\n => STAT\r\n"};
const QString kQuitOk = "+OK bye\r\n => close | ok";
QString error(const QString& text)
{
    return "Exclamation|POP3 Error|POP3 Error: " + text;
}

}  // namespace

class TestPop3Session : public QObject {
    Q_OBJECT

private slots:
    void conversation_data()
    {
        QTest::addColumn<QString>("password");
        QTest::addColumn<int>("tls");
        QTest::addColumn<QStringList>("steps");
        const int offered = int(TlsMode::Offered);
        const QString p = QStringLiteral("s3cret ");
        QTest::newRow("two messages") << p << offered
                                      << kLogin
                                             + QStringList{
                                                 "+OK 2 345\r\n => 1 of 2 | RETR 1\r\n",
                                                 retr(kOne) + " => list <one@example.org> | 2 of 2 | RETR 2\r\n",
                                                 retr(kTwo) + " => list <two@example.org> | QUIT\r\n", kQuitOk};
        QTest::newRow("no CAPA, STAT without octets")
            << p << offered
            << QStringList{"+OK\r\n => CAPA\r\n", "-ERR unknown\r\n => USER anna\r\n", "+OK\r\n => PASS s3cret \r\n",
                           "+OK\r\n => STAT\r\n", "+OK 1\r\n => 1 of 1 | RETR 1\r\n"};
        QTest::newRow("line breaks never reach the wire")
            << "pa\r\nss\n"
            << offered << QStringList{kLogin[0], kLogin[1], "+OK\r\n => PASS pass\r\n"};
        QTest::newRow("STLS offered") << p << offered
                                      << QStringList{kLogin[0], "+OK\r\nTOP\r\nSTLS\r\n.\r\n => STLS\r\n",
                                                     "+OK go\r\n+OK injected\r\n => starttls",
                                                     "<tls> => USER anna\r\n"};
        QTest::newRow("STLS refused") << p << offered
                                      << QStringList{kLogin[0], "+OK\r\nSTLS\r\n.\r\n => STLS\r\n",
                                                     "-ERR no\r\n => close | " + error("-ERR no\r\n") + " | failed"};
        QTest::newRow("required, none offered")
            << p << int(TlsMode::Required)
            << QStringList{
                   kLogin[0],
                   "+OK\r\n.\r\n => close | "
                       + error("The server pop.example.org offers no secure connection (STLS). Nothing was sent.")
                       + " | failed"};
        // The login goes in clear only to this computer (every other row) or where it was allowed.
        QTest::newRow("remote, no STLS: nothing sent")
            << p << offered << QStringList{"<remote> => ", kLogin[0], "+OK\r\n.\r\n => close | failed"};
        QTest::newRow("remote, no CAPA: nothing sent")
            << p << offered << QStringList{"<remote> => ", kLogin[0], "-ERR unknown\r\n => close | failed"};
        QTest::newRow("remote, allowed in clear")
            << p << offered << QStringList{"<remote, allowed> => ", kLogin[0], "+OK\r\n.\r\n => USER anna\r\n"};
        // Allowed while the server offered no STLS; it offered it since, and no longer does.
        QTest::newRow("remote, allowed, STLS before, none now: nothing sent")
            << p << offered
            << QStringList{"<remote, allowed, before> => ", kLogin[0], "+OK\r\n.\r\n => close | failed"};
        // What one message may hold (here 20 octets), an endless line included:
        // such a message is read to its end and dropped, and the check goes on.
        QTest::newRow("messages past the limit are left")
            << p << offered
            << kLogin
                   + QStringList{"<limit 20> => ",
                                 "+OK 3 9\r\n => 1 of 3 | RETR 1\r\n",
                                 "+OK\r\n0123456789\r\n0123456789\r\n..\r\n. => ",
                                 "\r\n => 2 of 3 | RETR 2\r\n",
                                 "+OK\r\n" + QString(70000, u'.') + "\r\n.\r\n => 3 of 3 | RETR 3\r\n",
                                 "+OK\r\nMessage-ID: <s@x>\r\n.\r\n => list <s@x> | QUIT\r\n | "
                                     + error("Messages 1 and 2 of 3 are larger than the 20 bytes one message may "
                                             "hold; they were left on the server. The other messages are kept.")};
        QTest::newRow("TLS from the first byte")
            << p << int(TlsMode::Implicit) << QStringList{"<tls> => ", "+OK\r\n => USER anna\r\n"};
        QTest::newRow("empty mailbox")
            << p << offered
            << kLogin + QStringList{"+OK 0 0\r\n => QUIT\r\n | Information|Tessaly 2002|You have not mail.", kQuitOk};
        QTest::newRow("wrong password") << p << offered
                                        << QStringList{kLogin[0], kLogin[1], kLogin[2],
                                                       "-ERR [AUTH] failed\r\n => close | "
                                                           + error("-ERR [AUTH] failed\r\n") + " | failed"};
        QTest::newRow("refused RETR") << p << offered
                                      << kLogin
                                             + QStringList{"+OK 3 9\r\n => 1 of 3 | RETR 1\r\n",
                                                           retr(kOne)
                                                               + " => list <one@example.org> | 2 of 3 | RETR 2\r\n",
                                                           "-ERR gone\r\n => QUIT\r\n | " + error("-ERR gone\r\n"),
                                                           "+OK\r\n => close | failed"};
        QTest::newRow("silence after QUIT, a refusal before")
            << p << offered
            << kLogin
                   + QStringList{"+OK two 1\r\n => QUIT\r\n | " + error("+OK two 1\r\n"),
                                 "<timeout> => close | failed"};
        QTest::newRow("hang-up, socket fault")
            << p << offered
            << QStringList{kLogin[0], "<hang-up> => ",
                           "<fault> => None|Tessaly 2002|Winsock Error: #2\r\nno host | failed", "<fault> => "};
        for (const char* stat : {"+OK 32768 1\r\n", "+OK two 1\r\n", "+OK -1 0\r\n", "+OK\r\n", "+OK  2 3\r\n"})
            QTest::addRow("STAT %s", QByteArray(stat).trimmed().constData())
                << p << offered
                << kLogin
                       + QStringList{QString::fromLatin1(stat) + " => QUIT\r\n | " + error(QString::fromLatin1(stat))};
        QTest::newRow("largest count") << p << offered
                                       << kLogin + QStringList{"+OK 32767 1\r\n => 1 of 32767 | RETR 1\r\n"};
        QTest::newRow("closed in the second message")
            << p << offered
            << kLogin
                   + QStringList{"+OK 2 9\r\n => 1 of 2 | RETR 1\r\n",
                                 retr(kOne) + "+OK\r\nSubj => list <one@example.org> | 2 of 2 | RETR 2\r\n",
                                 "<close> => "
                                     + error("The server closed the connection before the check was complete.")
                                     + " | failed"};
        QTest::newRow("cut-off refusal") << p << offered
                                         << QStringList{kLogin[0], kLogin[1], "-ERR too many => ",
                                                        "<close> => " + error("-ERR too many") + " | failed"};
        QTest::newRow("no goodbye after QUIT")
            << p << offered
            << kLogin
                   + QStringList{"+OK 1 9\r\n => 1 of 1 | RETR 1\r\n",
                                 retr(kOne) + " => list <one@example.org> | QUIT\r\n", "<close> => ok"};
        QTest::newRow("silent in a message")
            << p << offered
            << kLogin
                   + QStringList{"+OK 1 9\r\n => 1 of 1 | RETR 1\r\n", "+OK\r\nSubject: x\r\n => ",
                                 "<timeout> => close | " + error("T") + " | failed"};
        QTest::newRow("endless status line") << p << offered
                                             << QStringList{QString(70000, QLatin1Char('-')) + " => close | "
                                                            + error(QString(65536, QLatin1Char('-'))) + " | failed"};
    }
    void conversation()
    {
        QFETCH(QString, password);
        QFETCH(int, tls);
        QFETCH(QStringList, steps);
        CMessages col;
        Pop3Session s(col);
        s.start(QStringLiteral("anna"), password, QStringLiteral("pop.example.org"), TlsMode(tls));
        s.connected(QHostAddress::LocalHost, true);
        for (const QString& step : steps) {
            const QString in = step.section(QStringLiteral(" => "), 0, 0);
            if (in.startsWith("<limit "))
                s.setMessageLimit(in.mid(7).chopped(1).toLongLong());
            if (in.startsWith("<remote")) {
                s.connected(QHostAddress(QStringLiteral("192.0.2.7")), false);
                s.allowLoginInClear(in.contains("allowed"));
                s.setOfferedStlsBefore(in.contains("before"));
            }
            const MailActions got = in == "<tls>"                          ? s.tlsReady()
                                    : in == "<close>"                      ? s.closed()
                                    : in == "<timeout>"                    ? s.timedOut(QStringLiteral("T"))
                                    : in == "<hang-up>" || in == "<fault>" ? socketEvent(s, in)
                                    : in.startsWith("<remote") || in.startsWith("<limit") ? MailActions{}
                                                                                          : s.feed(in.toLatin1());
            QCOMPARE(describe(got), step.section(QStringLiteral(" => "), 1));
        }
        const QByteArray tag = QTest::currentDataTag();
        QCOMPARE(s.refusedInClear(), tag.endsWith("nothing sent"));
        QCOMPARE(s.lostStls(), tag.endsWith("none now: nothing sent"));
        QCOMPARE(s.offeredStls(), tls != int(TlsMode::Implicit) && steps.last().startsWith("<tls>"));
    }

    // Logs in and answers STAT; true when each step did what it should.
    static bool login(Pop3Session& s, const QByteArray& stat)
    {
        s.start(QStringLiteral("anna"), QStringLiteral("s3cret "));
        s.connected(QHostAddress::LocalHost, true);
        return describe(s.feed("+OK\r\n-ERR\r\n+OK\r\n+OK\r\n" + stat)).endsWith("RETR 1\r\n");
    }

    // Cut anywhere, even inside a doubled period, a message is stored once
    // when its terminating line is whole, unstuffed, as one character per
    // byte when it is not UTF-8; a repeated check adds only what is new, and
    // Message-IDs differing in case name two messages.
    void messagesAsStored()
    {
        const QByteArray wire = "+OK\r\nMessage-ID: <d@x>\r\nSubject: Gr\xfc\xdf"
                                "e\r\n\r\n..\r\n...\r\n..x\r\n.y\r\na.\r\n\r\n.\r\n";
        CMessages col;
        Pop3Session s(col);
        QVERIFY(login(s, "+OK 3 99\r\n"));
        for (qsizetype i = 0; i < wire.size() - 1; ++i)
            QCOMPARE(describe(s.feed(wire.mid(i, 1))), QString());
        QCOMPARE(describe(s.feed(wire.right(1))), "list <d@x> | 2 of 3 | RETR 2\r\n");
        QCOMPARE(col.Item(1)->Subject(), QStringLiteral("Grüße"));
        QCOMPARE(col.Item(1)->MessageBody(), QStringLiteral(".\r\n..\r\n.x\r\ny\r\na.\r\n\r\n"));
        QCOMPARE(col.Item(1)->Size(), 57);  // characters of the text kept
        s.feed(retr("Message-ID: <SAME@x>\r\n\r\n").toLatin1());
        QCOMPARE(describe(s.feed(retr("Message-ID: <same@x>\r\nSubject: b\r\n").toLatin1())),
                 "list <same@x>\n#2 | QUIT\r\n");
        QCOMPARE(col.Item(QStringLiteral("<same@x>\n#2"))->Subject(), QStringLiteral("b"));

        QVERIFY(login(s, "+OK 2 99\r\n"));
        QCOMPARE(describe(s.feed(wire + retr(kTwo).toLatin1())),
                 "2 of 2 | RETR 2\r\n | list <two@example.org> | QUIT\r\n");
        QCOMPARE(col.Count(), 4);
    }

    // With a keeper nothing is held whole: a long line goes on in pieces,
    // cut anywhere on the wire, unstuffed only at its start; a message past
    // the limit is dropped and the next one kept; the key of a message
    // without UIDL is its Message-ID, else the hash of all it holds.
    void messagesStreamToTheKeeper()
    {
        struct : Pop3Keeper {
            void begin() override { n = 0; }
            void write(const QByteArray& piece) override { most = std::max(most, (n += piece.size(), piece.size())); }
            bool end(const QString& key) override { return !(events << key + ' ' + QString::number(n)).isEmpty(); }
            void drop() override { events << QStringLiteral("drop"); }
            QStringList events;
            qsizetype n = 0, most = 0;  // octets of the message, of the largest piece
        } keeper;
        const QByteArray kept = "Subject: long\r\n\r\n." + QByteArray(300000, 'a') + "\r\n.\r\n";
        // As sent: both lines that begin with a period have it doubled.
        const QByteArray wire = "+OK\r\n" + kept.first(17) + '.' + kept.sliced(17).chopped(3) + "..\r\n.\r\n+OK\r\n"
                                + QByteArray(1 << 20, '.') + "\r\n.\r\n+OK\r\nMessage-ID: <m@x>\r\n\r\n.\r\n";
        CMessages col;
        Pop3Session s(col);
        s.keepIn(&keeper, {});
        s.setMessageLimit(1 << 20);
        QVERIFY(login(s, "+OK 3 99\r\n-ERR\r\n"));
        QString last;
        for (qsizetype at = 0, cut = 1; at < wire.size(); at += cut, cut = (cut * 7919 + 13) % 20011 + 1)
            last = describe(s.feed(wire.mid(at, cut)));
        const QString hashed = QCryptographicHash::hash(kept, QCryptographicHash::Sha1).toHex();
        QCOMPARE(keeper.events,
                 QStringList({"<" + hashed + "@no-message-id> " + QString::number(kept.size()), "drop", "<m@x> 21"}));
        QVERIFY(keeper.most <= 2 * 64 * 1024);
        QCOMPARE(last, "3 of 3 | RETR 3\r\n | list <m@x> | QUIT\r\n | "
                           + error("Message 2 of 3 is larger than the 1 MB one message may hold; it was left on the "
                                   "server. The other messages are kept."));
    }

    void inputIsChecked()
    {
        const auto text = [](const QString& h, const QString& u, const QString& p) {
            const std::optional<MailNotice> n = Pop3Session::inputNotice(h, u, p);
            return n ? n->text : QString();
        };
        QCOMPARE(text("", "", ""), "txtHost can't be empty");
        QCOMPARE(text("h", "", "p"), "txtUserName can't be empty");
        QCOMPARE(text("h", "u", ""), "txtPassword can't be empty");
        QCOMPARE(text(" ", " ", " "), QString());
        QVERIFY(text("h", "u", "p\nSTAT").startsWith("The user name or the password contains a line break"));
        QVERIFY(text("h", "u\r", "p").startsWith("The user name or the password contains a line break"));
    }
};

QTEST_GUILESS_MAIN(TestPop3Session)
#include "test_mail_pop3.moc"
