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

QStringList feedAll(Pop3Session &s, const QByteArray &bytes, qsizetype pieceSize)
{
    QStringList got;
    for (qsizetype i = 0; i < bytes.size(); i += pieceSize)
        got += describe(s.feed(bytes.mid(i, pieceSize)));
    return got;
}

const QString kDoneOk = QStringLiteral("finished ok");
const QString kDoneFailed = QStringLiteral("finished failed");

}  // namespace

class TestPop3Session : public QObject
{
    Q_OBJECT

private slots:
    void twoMessages();
    void messageInManyPieces_data();
    void messageInManyPieces();
    void leadingPeriodsAreUnstuffed();
    void emptyMailbox();
    void refusedRetrListsWhatWasFetched();
    void statReply_data();
    void statReply();
    void refusalOutsideFetching();
    void repeatedCheckAddsOnlyNewMessages();
    void messageWithoutMessageIdCanBeFoundAgain();
    void sharedMessageIdKeepsBothMessages();
    void messageWithoutEmptyLineIsKept();
    void emptyMessage();
    void earlyClose_data();
    void earlyClose();
    void socketError();
    void endlessStatusLineIsCutOff();
    void textDecoding();
    void emptyBoxes_data();
    void emptyBoxes();
    void listRow();
};

void TestPop3Session::twoMessages()
{
    CMessages col;
    Pop3Session s(col);
    QVERIFY(login(s, "+OK 2 345\r\n"));
    QCOMPARE(s.messageCount(), 2);
    QCOMPARE(describe(s.feed(retr(kOne))), QStringList{"send RETR 2\r\n"});
    QCOMPARE(describe(s.feed(retr(kTwo))), QStringList{"send QUIT\r\n"});
    QCOMPARE(describe(s.feed("+OK Logging out.\r\n")),
             (QStringList{"close", "list <one@example.org> <two@example.org>", kDoneOk}));

    QCOMPARE(col.Count(), 2);
    const auto one = col.Item(QStringLiteral("<one@example.org>"));
    QCOMPARE(one->MessageText(), QString::fromLatin1(kOne));
    QCOMPARE(one->MessageBody(), QStringLiteral("Hello\r\n"));
    QCOMPARE(one->Subject(), QStringLiteral("first"));
    // Status line and terminating line do not count.
    QCOMPARE(one->Size(), int(kOne.size()));
    QCOMPARE(col.Item(2)->Subject(), QStringLiteral("second"));
    QCOMPARE(describe(s.closed()), QStringList());
}

void TestPop3Session::messageInManyPieces_data()
{
    QTest::addColumn<int>("pieceSize");
    QTest::newRow("one byte") << 1;
    QTest::newRow("two bytes") << 2;
    QTest::newRow("seven bytes") << 7;
}

void TestPop3Session::messageInManyPieces()
{
    QFETCH(int, pieceSize);
    CMessages col;
    Pop3Session s(col);
    QVERIFY(login(s, "+OK 1 99\r\n"));
    const QByteArray wire = retr(kOne);
    // Nothing happens until the final byte of the terminating line.
    QCOMPARE(feedAll(s, wire.chopped(1), pieceSize), QStringList());
    QCOMPARE(col.Count(), 0);
    QCOMPARE(describe(s.feed(wire.right(1))), QStringList{"send QUIT\r\n"});
    QCOMPARE(col.Count(), 1);
    QCOMPARE(col.Item(1)->MessageText(), QString::fromLatin1(kOne));
}

void TestPop3Session::leadingPeriodsAreUnstuffed()
{
    CMessages col;
    Pop3Session s(col);
    QVERIFY(login(s, "+OK 1 99\r\n"));
    const QByteArray wire = "+OK\r\nSubject: dots\r\n\r\n..\r\n...\r\n..x\r\n.y\r\na.\r\n\r\n.\r\n";
    // Cut right after each period so a doubled one is split across pieces.
    QStringList got;
    qsizetype from = 0;
    for (qsizetype i = 0; i < wire.size(); ++i) {
        if (wire[i] == '.') {
            got += describe(s.feed(wire.mid(from, i + 1 - from)));
            from = i + 1;
        }
    }
    got += describe(s.feed(wire.mid(from)));
    QCOMPARE(got, QStringList{"send QUIT\r\n"});
    QCOMPARE(col.Item(1)->MessageBody(), QStringLiteral(".\r\n..\r\n.x\r\ny\r\na.\r\n\r\n"));
}

void TestPop3Session::emptyMailbox()
{
    CMessages col;
    Pop3Session s(col);
    s.start(QStringLiteral("anna"), QStringLiteral("pw"));
    s.feed("+OK\r\n");
    s.feed("+OK\r\n");
    s.feed("+OK\r\n");
    QCOMPARE(describe(s.feed("+OK 0 0\r\n")),
             (QStringList{"send QUIT\r\n", "notify [Tessaly 2002|information] You have not mail."}));
    QCOMPARE(describe(s.feed("+OK Logging out.\r\n")), (QStringList{"close", "list ", kDoneOk}));
    QCOMPARE(col.Count(), 0);
}

void TestPop3Session::refusedRetrListsWhatWasFetched()
{
    CMessages col;
    Pop3Session s(col);
    QVERIFY(login(s, "+OK 3 999\r\n"));
    QCOMPARE(describe(s.feed(retr(kOne))), QStringList{"send RETR 2\r\n"});
    QCOMPARE(describe(s.feed("-ERR Message no longer exists\r\n")),
             (QStringList{"send QUIT\r\n",
                          "notify [POP3 Error|exclamation] POP3 Error: -ERR Message no longer exists\r\n"}));
    QCOMPARE(describe(s.feed("+OK Logging out.\r\n")), (QStringList{"close", "list <one@example.org>", kDoneFailed}));
}

void TestPop3Session::statReply_data()
{
    QTest::addColumn<QByteArray>("stat");
    QTest::addColumn<QStringList>("actions");

    const auto refused = [](const char *stat) {
        return QStringList{"send QUIT\r\n", QStringLiteral("notify [POP3 Error|exclamation] POP3 Error: ") + stat};
    };
    QTest::newRow("count and octets") << QByteArray("+OK 12 34567\r\n") << QStringList{"send RETR 1\r\n"};
    QTest::newRow("count alone") << QByteArray("+OK 2\r\n") << QStringList{"send RETR 1\r\n"};
    QTest::newRow("largest count") << QByteArray("+OK 32767 1\r\n") << QStringList{"send RETR 1\r\n"};
    QTest::newRow("count too large") << QByteArray("+OK 32768 1\r\n") << refused("+OK 32768 1\r\n");
    QTest::newRow("count not a number") << QByteArray("+OK two 1\r\n") << refused("+OK two 1\r\n");
    QTest::newRow("negative count") << QByteArray("+OK -1 0\r\n") << refused("+OK -1 0\r\n");
    QTest::newRow("no count") << QByteArray("+OK\r\n") << refused("+OK\r\n");
    QTest::newRow("two blanks") << QByteArray("+OK  2 3\r\n") << refused("+OK  2 3\r\n");
}

void TestPop3Session::statReply()
{
    QFETCH(QByteArray, stat);
    QFETCH(QStringList, actions);
    CMessages col;
    Pop3Session s(col);
    s.start(QStringLiteral("u"), QStringLiteral("p"));
    s.feed("+OK\r\n+OK\r\n+OK\r\n");
    QCOMPARE(s.step(), 3);
    QCOMPARE(describe(s.feed(stat)), actions);
}

void TestPop3Session::refusalOutsideFetching()
{
    CMessages col;
    Pop3Session s(col);
    s.start(QStringLiteral("anna"), QStringLiteral("wrong"));
    s.feed("+OK ready\r\n");
    s.feed("+OK\r\n");
    QCOMPARE(describe(s.feed("-ERR [AUTH] Authentication failed.\r\n")),
             (QStringList{"close", "notify [POP3 Error|exclamation] POP3 Error: -ERR [AUTH] Authentication failed.\r\n",
                          "list ", kDoneFailed}));
    QCOMPARE(describe(s.feed("+OK\r\n")), QStringList());
    QCOMPARE(s.step(), 2);
}

void TestPop3Session::repeatedCheckAddsOnlyNewMessages()
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
    QCOMPARE(col.Key(3), QStringLiteral("<three@example.org>"));
}

void TestPop3Session::messageWithoutMessageIdCanBeFoundAgain()
{
    const QByteArray noId = "From: c@example.org\r\nSubject: anonymous\r\n\r\nwho?\r\n";
    CMessages col;
    Pop3Session s(col);
    for (int check = 0; check < 2; ++check) {
        QVERIFY(login(s, "+OK 2 99\r\n"));
        s.feed(retr(noId));
        s.feed(retr(kOne));
        const QStringList done = describe(s.feed("+OK\r\n"));
        QCOMPARE(done.size(), 3);
        if (check == 0) {
            const QStringList keys = done[1].mid(5).split(QLatin1Char(' '));
            QCOMPARE(keys.size(), 2);
            QVERIFY2(keys[0].startsWith(QLatin1Char('<')) && keys[0].endsWith(QLatin1Char('>')), qPrintable(keys[0]));
            QCOMPARE(col.Item(keys[0])->Subject(), QStringLiteral("anonymous"));
            QCOMPARE(col.Item(keys[0])->MessageBody(), QStringLiteral("who?\r\n"));
        } else {
            QCOMPARE(done[1], QStringLiteral("list "));
        }
    }
    QCOMPARE(col.Count(), 2);
}

void TestPop3Session::sharedMessageIdKeepsBothMessages()
{
    const QByteArray a = "Message-ID: <same@x>\r\nSubject: a\r\n\r\n";
    const QByteArray b = "Message-ID: <SAME@x>\r\nSubject: b\r\n\r\n";
    CMessages col;
    Pop3Session s(col);
    QVERIFY(login(s, "+OK 2 9\r\n"));
    s.feed(retr(a) + retr(b));
    QCOMPARE(describe(s.feed("+OK\r\n")), (QStringList{"close", "list <same@x> <SAME@x>\n#2", kDoneOk}));
    QCOMPARE(col.Item(QStringLiteral("<SAME@x>\n#2"))->Subject(), QStringLiteral("b"));

    QVERIFY(login(s, "+OK 2 9\r\n"));
    s.feed(retr(a) + retr(b));
    QCOMPARE(describe(s.feed("+OK\r\n")), (QStringList{"close", "list ", kDoneOk}));
    QCOMPARE(col.Count(), 2);
}

void TestPop3Session::messageWithoutEmptyLineIsKept()
{
    CMessages col;
    Pop3Session s(col);
    QVERIFY(login(s, "+OK 1 9\r\n"));
    const QByteArray text = "Message-ID: <h@x>\r\nSubject: only headers\r\n";
    QCOMPARE(describe(s.feed(retr(text))), QStringList{"send QUIT\r\n"});
    const auto m = col.Item(QStringLiteral("<h@x>"));
    QCOMPARE(m->Headers(), QString::fromLatin1(text));
    QCOMPARE(m->MessageBody(), QString());
    QCOMPARE(m->Subject(), QStringLiteral("only headers"));
}

void TestPop3Session::emptyMessage()
{
    CMessages col;
    Pop3Session s(col);
    QVERIFY(login(s, "+OK 1 0\r\n"));
    // The status line's CR LF is the first half of the terminator.
    QCOMPARE(describe(s.feed("+OK 0 octets\r\n.\r\n")), QStringList{"send QUIT\r\n"});
    QCOMPARE(col.Count(), 1);
    QCOMPARE(col.Item(1)->MessageText(), QString());
}

void TestPop3Session::earlyClose_data()
{
    QTest::addColumn<QByteArray>("received");
    QTest::addColumn<QStringList>("actions");

    const QString early = QStringLiteral(
        "notify [POP3 Error|exclamation] POP3 Error: The server closed the connection before the check was complete.");
    QTest::newRow("before greeting") << QByteArray() << QStringList{early, "list ", kDoneFailed};
    QTest::newRow("cut-off refusal")
        << QByteArray("+OK\r\n-ERR too many") << QStringList{"notify [POP3 Error|exclamation] POP3 Error: -ERR too many",
                                                              "list ", kDoneFailed};
    QTest::newRow("inside the second message")
        << "+OK\r\n+OK\r\n+OK\r\n+OK 2 9\r\n" + retr(kOne) + "+OK\r\nSubject: half"
        << QStringList{early, "list <one@example.org>", kDoneFailed};
    QTest::newRow("after QUIT, no goodbye")
        << "+OK\r\n+OK\r\n+OK\r\n+OK 1 9\r\n" + retr(kOne) << QStringList{"list <one@example.org>", kDoneOk};
}

void TestPop3Session::earlyClose()
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

void TestPop3Session::socketError()
{
    CMessages col;
    Pop3Session s(col);
    s.start(QStringLiteral("u"), QStringLiteral("p"));
    QCOMPARE(describe(s.socketError(QAbstractSocket::RemoteHostClosedError, QString())), QStringList());
    QCOMPARE(describe(s.socketError(QAbstractSocket::ConnectionRefusedError, QStringLiteral("Connection refused"))),
             (QStringList{"notify [Tessaly 2002|none] Winsock Error: #0\r\nConnection refused", "list ", kDoneFailed}));
    QCOMPARE(describe(s.feed("+OK\r\n")), QStringList());
}

void TestPop3Session::endlessStatusLineIsCutOff()
{
    CMessages col;
    Pop3Session s(col);
    s.start(QStringLiteral("u"), QStringLiteral("p"));
    const QStringList got = describe(s.feed(QByteArray(70000, '-')));
    QCOMPARE(got.size(), 4);
    QCOMPARE(got[1], "notify [POP3 Error|exclamation] POP3 Error: " + QString(65536, QLatin1Char('-')));
}

void TestPop3Session::textDecoding()
{
    CMessages col;
    Pop3Session s(col);
    QVERIFY(login(s, "+OK 2 9\r\n"));
    s.feed(retr("Message-ID: <u@x>\r\nSubject: Gr\xc3\xbc\xc3\x9f" "e\r\n\r\n\xe2\x82\xac\r\n"));
    s.feed(retr("Message-ID: <l@x>\r\nSubject: Gr\xfc\xdf" "e\r\n\r\n"));
    const auto utf8 = col.Item(QStringLiteral("<u@x>"));
    QCOMPARE(utf8->Subject(), QString::fromUtf8("Grüße"));
    QCOMPARE(utf8->MessageBody(), QString::fromUtf8("€\r\n"));
    // Not UTF-8: one character per byte, nothing replaced.
    const auto latin1 = col.Item(QStringLiteral("<l@x>"));
    QCOMPARE(latin1->Subject(), QString::fromUtf8("Grüße"));
    QCOMPARE(latin1->MessageText().toLatin1(), QByteArray("Message-ID: <l@x>\r\nSubject: Gr\xfc\xdf" "e\r\n\r\n"));
}

void TestPop3Session::emptyBoxes_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("text");

    QTest::newRow("all empty") << "" << "" << "" << "txtHost can't be empty";
    QTest::newRow("user and password empty") << "h" << "" << "" << "txtUserName can't be empty";
    QTest::newRow("password empty") << "h" << "u" << "" << "txtPassword can't be empty";
    QTest::newRow("blank is not empty") << " " << " " << " " << "";
}

void TestPop3Session::emptyBoxes()
{
    QFETCH(QString, host);
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(QString, text);
    const std::optional<MailNotice> notice = Pop3Session::emptyBoxNotice(host, user, password);
    if (text.isEmpty()) {
        QVERIFY(!notice);
        return;
    }
    QVERIFY(notice);
    QCOMPARE(*notice, (MailNotice{text, QStringLiteral("Tessaly 2002"), MailIcon::Critical}));
}

void TestPop3Session::listRow()
{
    CMessage m;
    m.CreateFromText(QString::fromLatin1(kOne));
    QCOMPARE(Pop3Session::listRow(m),
             (QStringList{"a@example.org", "first", "Mon, 1 Jan 2001 10:00:00 +0100", QString::number(kOne.size())}));
}

QTEST_GUILESS_MAIN(TestPop3Session)
#include "tst_mail_pop3.moc"
