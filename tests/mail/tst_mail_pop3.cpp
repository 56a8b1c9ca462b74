#include "MailActionText.h"

#include "mail/Pop3Session.h"

#include <QTest>

namespace {

const QByteArray kOne = "Message-ID: <one@example.org>\r\nFrom: a@example.org\r\nSubject: first\r\n"
                        "Date: Mon, 1 Jan 2001 10:00:00 +0100\r\n\r\nHello\r\n";
const QByteArray kTwo = "Message-ID: <two@example.org>\r\nFrom: b@example.org\r\nSubject: second\r\n\r\nBye\r\n";
const QByteArray kThree = "Message-ID: <three@example.org>\r\nSubject: third\r\n\r\n3\r\n";

// A RETR answer for a message that has no line starting with ".".
QByteArray retr(const QByteArray &message)
{
    return "+OK " + QByteArray::number(message.size()) + " octets\r\n" + message + ".\r\n";
}

// Logs in and answers STAT; true when every step sent what it should.
bool login(Pop3Session &s, const QByteArray &stat)
{
    s.start(QStringLiteral("anna"), QStringLiteral("s3cret "));
    return describe(s.feed("+OK Dovecot ready.\r\n")) == QStringList{"send USER anna\r\n"}
           && describe(s.feed("+OK\r\n")) == QStringList{"send PASS s3cret \r\n"}
           && describe(s.feed("+OK Logged in.\r\n")) == QStringList{"send STAT\r\n"}
           && describe(s.feed(stat)) == QStringList{"send RETR 1\r\n"};
}

QString pop3Error(const QString &text)
{
    return "notify [POP3 Error|exclamation] POP3 Error: " + text;
}

const QString kDoneOk = QStringLiteral("finished ok");
const QString kDoneFailed = QStringLiteral("finished failed");

}  // namespace

class TestPop3Session : public QObject
{
    Q_OBJECT

private slots:
    void twoMessages()
    {
        CMessages col;
        Pop3Session s(col);
        QVERIFY(login(s, "+OK 2 345\r\n"));
        QCOMPARE(describe(s.feed(retr(kOne))), QStringList{"send RETR 2\r\n"});
        QCOMPARE(describe(s.feed(retr(kTwo))), QStringList{"send QUIT\r\n"});
        QCOMPARE(describe(s.feed("+OK Logging out.\r\n")),
                 (QStringList{"close", "list <one@example.org> <two@example.org>", kDoneOk}));
        QCOMPARE(describe(s.closed()), QStringList());

        QCOMPARE(col.Count(), 2);
        const auto one = col.Item(QStringLiteral("<one@example.org>"));
        QCOMPARE(one->MessageText(), QString::fromLatin1(kOne));
        QCOMPARE(one->MessageBody(), QStringLiteral("Hello\r\n"));
        QCOMPARE(one->Size(), int(kOne.size()));  // without status line and terminating line
        QCOMPARE(col.Item(2)->Subject(), QStringLiteral("second"));
    }

    void messageInManyPieces_data()
    {
        QTest::addColumn<int>("pieceSize");
        QTest::newRow("one byte") << 1;
        QTest::newRow("seven bytes") << 7;
    }
    void messageInManyPieces()
    {
        QFETCH(int, pieceSize);
        CMessages col;
        Pop3Session s(col);
        QVERIFY(login(s, "+OK 1 99\r\n"));
        const QByteArray wire = retr(kOne);
        // Nothing happens until the final byte of the terminating line.
        for (qsizetype i = 0; i < wire.size() - 1; i += pieceSize)
            QCOMPARE(describe(s.feed(wire.chopped(1).mid(i, pieceSize))), QStringList());
        QCOMPARE(col.Count(), 0);
        QCOMPARE(describe(s.feed(wire.right(1))), QStringList{"send QUIT\r\n"});
        QCOMPARE(col.Item(1)->MessageText(), QString::fromLatin1(kOne));
    }

    void leadingPeriodsAreUnstuffed()
    {
        CMessages col;
        Pop3Session s(col);
        QVERIFY(login(s, "+OK 1 99\r\n"));
        const QByteArray wire = "+OK\r\nSubject: dots\r\n\r\n..\r\n...\r\n..x\r\n.y\r\na.\r\n\r\n.\r\n";
        // Cut right after each period so a doubled one is split across pieces.
        QStringList got;
        qsizetype from = 0;
        for (qsizetype dot; (dot = wire.indexOf('.', from)) >= 0; from = dot + 1)
            got += describe(s.feed(wire.mid(from, dot + 1 - from)));
        got += describe(s.feed(wire.mid(from)));
        QCOMPARE(got, QStringList{"send QUIT\r\n"});
        QCOMPARE(col.Item(1)->MessageBody(), QStringLiteral(".\r\n..\r\n.x\r\ny\r\na.\r\n\r\n"));
    }

    void emptyMailbox()
    {
        CMessages col;
        Pop3Session s(col);
        s.start(QStringLiteral("anna"), QStringLiteral("pw"));
        s.feed("+OK\r\n+OK\r\n+OK\r\n");
        QCOMPARE(describe(s.feed("+OK 0 0\r\n")),
                 (QStringList{"send QUIT\r\n", "notify [Tessaly 2002|information] You have not mail."}));
        QCOMPARE(describe(s.feed("+OK Logging out.\r\n")), (QStringList{"close", "list ", kDoneOk}));
        QCOMPARE(col.Count(), 0);
    }

    void refusedRetrListsWhatWasFetched()
    {
        CMessages col;
        Pop3Session s(col);
        QVERIFY(login(s, "+OK 3 999\r\n"));
        QCOMPARE(describe(s.feed(retr(kOne))), QStringList{"send RETR 2\r\n"});
        QCOMPARE(describe(s.feed("-ERR Message no longer exists\r\n")),
                 (QStringList{"send QUIT\r\n", pop3Error("-ERR Message no longer exists\r\n")}));
        QCOMPARE(describe(s.feed("+OK Logging out.\r\n")),
                 (QStringList{"close", "list <one@example.org>", kDoneFailed}));
    }

    void statReply_data()
    {
        QTest::addColumn<QByteArray>("stat");
        QTest::addColumn<bool>("fetches");
        QTest::newRow("count alone") << QByteArray("+OK 2\r\n") << true;
        QTest::newRow("largest count") << QByteArray("+OK 32767 1\r\n") << true;
        QTest::newRow("count too large") << QByteArray("+OK 32768 1\r\n") << false;
        QTest::newRow("count not a number") << QByteArray("+OK two 1\r\n") << false;
        QTest::newRow("negative count") << QByteArray("+OK -1 0\r\n") << false;
        QTest::newRow("no count") << QByteArray("+OK\r\n") << false;
        QTest::newRow("two blanks") << QByteArray("+OK  2 3\r\n") << false;
    }
    void statReply()
    {
        QFETCH(QByteArray, stat);
        QFETCH(bool, fetches);
        CMessages col;
        Pop3Session s(col);
        s.start(QStringLiteral("u"), QStringLiteral("p"));
        s.feed("+OK\r\n+OK\r\n+OK\r\n");
        const QStringList refused = {"send QUIT\r\n", pop3Error(QString::fromLatin1(stat))};
        QCOMPARE(describe(s.feed(stat)), fetches ? QStringList{"send RETR 1\r\n"} : refused);
    }

    void repeatedCheckAddsOnlyNewMessages()
    {
        CMessages col;
        Pop3Session s(col);
        QVERIFY(login(s, "+OK 2 345\r\n"));
        s.feed(retr(kOne) + retr(kTwo).left(20));
        s.feed(retr(kTwo).mid(20));
        s.feed("+OK\r\n");
        const auto firstOne = col.Item(1);

        // The server still holds both, and a third has arrived.
        QVERIFY(login(s, "+OK 3 500\r\n"));
        QCOMPARE(describe(s.feed(retr(kOne))), QStringList{"send RETR 2\r\n"});
        QCOMPARE(describe(s.feed(retr(kTwo))), QStringList{"send RETR 3\r\n"});
        QCOMPARE(describe(s.feed(retr(kThree))), QStringList{"send QUIT\r\n"});
        QCOMPARE(describe(s.feed("+OK\r\n")), (QStringList{"close", "list <three@example.org>", kDoneOk}));
        QCOMPARE(col.Count(), 3);
        QCOMPARE(col.Item(1), firstOne);
    }

    // Message-IDs that differ only in case name two messages, each listed
    // once and recognised again by the next check.
    void sharedMessageIdKeepsBothMessages()
    {
        const QByteArray both = retr("Message-ID: <same@x>\r\nSubject: a\r\n\r\n")
                                + retr("Message-ID: <SAME@x>\r\nSubject: b\r\n\r\n") + "+OK\r\n";
        CMessages col;
        Pop3Session s(col);
        QVERIFY(login(s, "+OK 2 9\r\n"));
        QCOMPARE(describe(s.feed(both)), (QStringList{"send RETR 2\r\n", "send QUIT\r\n", "close",
                                                      "list <same@x> <SAME@x>\n#2", kDoneOk}));
        QCOMPARE(col.Item(QStringLiteral("<SAME@x>\n#2"))->Subject(), QStringLiteral("b"));
        QVERIFY(login(s, "+OK 2 9\r\n"));
        QCOMPARE(describe(s.feed(both)).mid(3), (QStringList{"list ", kDoneOk}));
        QCOMPARE(col.Count(), 2);
    }

    // How a fetched text is kept: one without an empty line as headers, one
    // that is not UTF-8 as one character per byte (the check screen's test
    // shows UTF-8 text from the server).
    void fetchedText_data()
    {
        QTest::addColumn<QByteArray>("wire");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("subject");
        QTest::addColumn<QString>("body");
        QTest::newRow("headers only") << QByteArray("Subject: only headers\r\n")
                                      << "Subject: only headers\r\n" << "only headers" << "";
        QTest::newRow("empty message") << QByteArray() << "" << "" << "";
        QTest::newRow("not UTF-8") << QByteArray("Subject: Gr\xfc\xdf" "e\r\n\r\n")
                                   << QString::fromUtf8("Subject: Grüße\r\n\r\n") << QString::fromUtf8("Grüße")
                                   << "";
    }
    void fetchedText()
    {
        QFETCH(QByteArray, wire);
        QFETCH(QString, text);
        QFETCH(QString, subject);
        QFETCH(QString, body);
        CMessages col;
        Pop3Session s(col);
        QVERIFY(login(s, "+OK 1 9\r\n"));
        // For the empty message the status line's CR LF is the first half of the terminator.
        QCOMPARE(describe(s.feed(retr(wire))), QStringList{"send QUIT\r\n"});
        QCOMPARE(col.Item(1)->MessageText(), text);
        QCOMPARE(col.Item(1)->Subject(), subject);
        QCOMPARE(col.Item(1)->MessageBody(), body);
    }

    void earlyClose_data()
    {
        QTest::addColumn<QByteArray>("received");
        QTest::addColumn<QStringList>("actions");

        const QString early = pop3Error("The server closed the connection before the check was complete.");
        QTest::newRow("before greeting") << QByteArray() << QStringList{early, "list ", kDoneFailed};
        QTest::newRow("cut-off refusal")
            << QByteArray("+OK\r\n-ERR too many") << QStringList{pop3Error("-ERR too many"), "list ", kDoneFailed};
        QTest::newRow("inside the second message") << "+OK\r\n+OK\r\n+OK\r\n+OK 2 9\r\n" + retr(kOne) + "+OK\r\nSubj"
                                                   << QStringList{early, "list <one@example.org>", kDoneFailed};
        QTest::newRow("after QUIT, no goodbye")
            << "+OK\r\n+OK\r\n+OK\r\n+OK 1 9\r\n" + retr(kOne) << QStringList{"list <one@example.org>", kDoneOk};
    }
    void earlyClose()
    {
        QFETCH(QByteArray, received);
        QFETCH(QStringList, actions);
        CMessages col;
        Pop3Session s(col);
        s.start(QStringLiteral("u"), QStringLiteral("p"));
        s.feed(received);
        QCOMPARE(describe(s.closed()), actions);
        QVERIFY(!s.isActive());
    }

    void endlessStatusLineIsCutOff()
    {
        CMessages col;
        Pop3Session s(col);
        s.start(QStringLiteral("u"), QStringLiteral("p"));
        QCOMPARE(describe(s.feed(QByteArray(70000, '-'))),
                 (QStringList{"close", pop3Error(QString(65536, QLatin1Char('-'))), "list ", kDoneFailed}));
    }

    // The check screen's test shows each notice; here the order and blanks.
    void emptyBoxes()
    {
        QCOMPARE(Pop3Session::emptyBoxNotice(QString(), QString(), QString())->text, "txtHost can't be empty");
        QCOMPARE(Pop3Session::emptyBoxNotice(QStringLiteral("h"), QString(), QString())->text,
                 "txtUserName can't be empty");
        QVERIFY(!Pop3Session::emptyBoxNotice(QStringLiteral(" "), QStringLiteral(" "), QStringLiteral(" ")));
    }
};

QTEST_GUILESS_MAIN(TestPop3Session)
#include "tst_mail_pop3.moc"
