// The check screen against a real POP3 server, and against scripted peers
// for an empty mailbox, a check that falls silent and one that is abandoned.
#include "MailScreenUtil.h"
#include "MailServers.h"
#include "ScriptedPeer.h"

#include "controls/Buttons.h"
#include "controls/ListView.h"
#include "mail/frmCheckEmail.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTcpSocket>
#include <QTest>

namespace {

const QString kUser = QStringLiteral("anna");
const QString kPassword = QStringLiteral("pass word");

QByteArray crlf(QByteArray text)
{
    return text.replace("\n", "\r\n");
}

QList<QStringList> listed(const ListView *lv)
{
    QList<QStringList> rows;
    for (int r = 0; r < lv->itemCount(); ++r)
        rows << QStringList{lv->itemText(r, 0), lv->itemText(r, 1), lv->itemText(r, 2), lv->itemText(r, 3)};
    return rows;
}

void clickRow(ListView *lv, int row)
{
    QTreeWidgetItem *item = lv->topLevelItem(row);
    lv->scrollToItem(item);
    QTest::mouseClick(lv->viewport(), Qt::LeftButton, {}, lv->visualItemRect(item).center());
}

// A POP3 mailbox of `messages` that answers every command, except what
// `silentAt` names on the connection numbered `silentOn`.
void servePop3(ScriptedPeer &peer, const QByteArrayList &messages, const QByteArray &silentAt = {}, int silentOn = 0)
{
    peer.answer = [&peer, messages, silentAt, silentOn](const QByteArray &line) -> QByteArray {
        if (!silentAt.isEmpty() && line.startsWith(silentAt) && peer.connections() == silentOn)
            return {};
        if (line.startsWith("STAT"))
            return "+OK " + QByteArray::number(messages.size()) + " 0\r\n";
        if (line.startsWith("RETR ")) {
            const int n = line.mid(5).trimmed().toInt();
            return "+OK\r\n" + crlf(messages.value(n - 1)) + ".\r\n";
        }
        if (line.startsWith("QUIT"))
            return "+OK bye\r\n";
        return "+OK\r\n";
    };
}

}  // namespace

class TestCheckScreen : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<AppFixture> fx;
    std::unique_ptr<Pop3TestServer> pop3;
    QString pop3Missing;
    QByteArrayList served;  // as the server stores them, LF line ends

    frmCheckEmail *openCheckScreen(const QString &host, const QString &user = kUser,
                                   const QString &password = kPassword)
    {
        fx->makeDataFolder();
        storeMailSettings(fx->dbPath(), QString(), QString(), host, user, password);
        return Screens::show<frmCheckEmail>();
    }
    // Starts a check and waits until its conversation is over.
    bool check(frmCheckEmail *screen, int timeoutMs = 60000)
    {
        QTest::mouseClick(screen->cmdCheckMail, Qt::LeftButton);
        return waitFor([screen] { return screen->Winsock1->state() == QAbstractSocket::UnconnectedState; },
                       timeoutMs);
    }
    QString pop3Host() const { return QStringLiteral("127.0.0.1:%1").arg(pop3->port()); }

    // The Size column: characters of the text as fetched.
    static QString sizeOf(const QByteArray &stored) { return QString::number(QString::fromUtf8(crlf(stored)).size()); }

private slots:
    void initTestCase()
    {
        pop3Missing = Pop3TestServer::missing();
        if (!pop3Missing.isEmpty())
            return;
        pop3 = std::make_unique<Pop3TestServer>(kUser, kPassword);
        QByteArray big = "Message-ID: <big@example.org>\nFrom: Big Sender <big@example.org>\nSubject: Big\n"
                         "Date: Tue, 2 Jan 2001 08:00:00 +0000\n\n";
        const QByteArray line = QByteArray("0123456789abcdefghijklmnopqrstuvwxyz").repeated(2) + "ABCDEFG\n";
        while (big.size() < 5 * 1024 * 1024)
            big += line;
        served = {
            "Return-Path: <anna@example.org>\nMessage-ID: <m1@example.org>\nFrom: Anna <anna@example.org>\n"
            "To: bob@example.net\nSubject: First\nDate: Mon, 1 Jan 2001 10:00:00 +0100\n\nHello Bob.\n",
            big,
            "Message-ID: <dots@example.org>\nFrom: dots@example.org\nSubject: Dots\n"
            "Date: Wed, 3 Jan 2001 09:15:00 -0500\n\n.\n..\n.x\n\n.\nend\n",
            "From: nobody@example.org\nSubject: No id\nDate: Thu, 4 Jan 2001 12:00:00 +0000\n\nanonymous\n",
            "Message-ID: <utf8@example.org>\nFrom: =?UTF-8?Q?J=C3=B6rg?= <j@example.org>\n"
            "Subject: Gr\xc3\xbc\xc3\x9f" "e\n\nK\xc3\xa4se\n\n",
        };
        QString why;
        for (const QByteArray &text : served)
            QVERIFY2(pop3->addMessage(text, &why), qPrintable(why));
        QVERIFY2(pop3->start(&why), qPrintable(why));
    }
    void cleanupTestCase() { pop3.reset(); }
    void init() { fx = std::make_unique<AppFixture>(); }
    void cleanup() { fx.reset(); }

    void settingsComeFromTheLastRow()
    {
        fx->makeDataFolder();
        storeMailSettings(fx->dbPath(), QString(), QString(), QStringLiteral("old"), QStringLiteral("o"), QStringLiteral("p"));
        storeMailSettings(fx->dbPath(), QString(), QString(), QStringLiteral("pop.example.org"), kUser, kPassword);
        frmCheckEmail *screen = Screens::show<frmCheckEmail>();
        QCOMPARE(screen->windowTitle(), QStringLiteral("Check Email"));
        QCOMPARE(screen->txtHost->text(), QStringLiteral("pop.example.org"));
        QCOMPARE(screen->txtUserName->text(), kUser);
        QCOMPARE(screen->txtPassword->text(), kPassword);
        QCOMPARE(screen->txtPassword->echoMode(), QLineEdit::Password);
        QCOMPARE(screen->lvMessages->headerItem()->text(3), QStringLiteral("Size"));
        QCOMPARE(screen->lvMessages->itemCount(), 0);
    }

    void emptyBoxesAreNamed_data()
    {
        QTest::addColumn<bool>("host");
        QTest::addColumn<bool>("user");
        QTest::addColumn<bool>("password");
        QTest::addColumn<QString>("text");
        QTest::newRow("host") << false << true << true << "txtHost can't be empty";
        QTest::newRow("user") << true << false << true << "txtUserName can't be empty";
        QTest::newRow("password") << true << true << false << "txtPassword can't be empty";
    }
    void emptyBoxesAreNamed()
    {
        QFETCH(bool, host);
        QFETCH(bool, user);
        QFETCH(bool, password);
        QFETCH(QString, text);
        ScriptedPeer peer("+OK\r\n");
        frmCheckEmail *screen = openCheckScreen(host ? peer.hostBox() : QString(), user ? kUser : QString(),
                                                password ? kPassword : QString());
        QTest::mouseClick(screen->cmdCheckMail, Qt::LeftButton);
        pump(200);
        QCOMPARE(fx->messageTexts(), QStringList({text}));
        QCOMPARE(fx->messages[0].icon, MsgIcon::Critical);
        QCOMPARE(fx->messages[0].title, QStringLiteral("Tessaly 2002"));
        QCOMPARE(peer.connections(), 0);
    }

    // Five messages, one of 5 MB, one with lines of periods, one without
    // Message-ID: each listed once with its columns, each body shown exactly.
    void everyMessageIsListedAndShown()
    {
        if (!pop3)
            QSKIP(qPrintable(pop3Missing));
        frmCheckEmail *screen = openCheckScreen(pop3Host());
        QVERIFY(check(screen));
        QCOMPARE(fx->messageTexts(), QStringList());
        const QList<QStringList> rows = {
            {"Anna <anna@example.org>", "First", "Mon, 1 Jan 2001 10:00:00 +0100", sizeOf(served[0])},
            {"Big Sender <big@example.org>", "Big", "Tue, 2 Jan 2001 08:00:00 +0000", sizeOf(served[1])},
            {"dots@example.org", "Dots", "Wed, 3 Jan 2001 09:15:00 -0500", sizeOf(served[2])},
            {"nobody@example.org", "No id", "Thu, 4 Jan 2001 12:00:00 +0000", sizeOf(served[3])},
            {"=?UTF-8?Q?J=C3=B6rg?= <j@example.org>", "Grüße", "", sizeOf(served[4])},
        };
        QCOMPARE(listed(screen->lvMessages), rows);

        for (int i = served.size() - 1; i >= 0; --i) {
            clickRow(screen->lvMessages, i);
            const QByteArray text = crlf(served[i]);
            const QString body = QString::fromUtf8(text.mid(text.indexOf("\r\n\r\n") + 4));
            QCOMPARE(screen->txtBody->toPlainText(), QString(body).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
        }
        QCOMPARE(screen->txtBody->toPlainText(), QStringLiteral("Hello Bob.\n"));
    }

    // Another check lists only what is new; the rows and the body stay.
    void repeatedCheckListsOnlyNewMessages()
    {
        if (!pop3)
            QSKIP(qPrintable(pop3Missing));
        frmCheckEmail *screen = openCheckScreen(pop3Host());
        QVERIFY(check(screen));
        const QList<QStringList> first = listed(screen->lvMessages);
        QCOMPARE(first.size(), served.size());
        clickRow(screen->lvMessages, 3);

        QVERIFY(check(screen));
        QCOMPARE(listed(screen->lvMessages), first);

        const QByteArray late = "Message-ID: <late@example.org>\nFrom: late@example.org\nSubject: Late\n\nnew\n";
        QString why;
        QVERIFY2(pop3->addMessage(late, &why), qPrintable(why));
        served << late;
        QVERIFY(check(screen));
        const QStringList lateRow = {"late@example.org", "Late", "", sizeOf(late)};
        QCOMPARE(listed(screen->lvMessages), first + QList<QStringList>{lateRow});
        QCOMPARE(screen->txtBody->toPlainText(), QStringLiteral("anonymous\n"));
        QCOMPARE(fx->messageTexts(), QStringList());
    }

    void wrongPasswordShowsTheServersReply()
    {
        if (!pop3)
            QSKIP(qPrintable(pop3Missing));
        frmCheckEmail *screen = openCheckScreen(pop3Host(), kUser, QStringLiteral("guess"));
        QVERIFY(check(screen));
        QCOMPARE(fx->messageTexts(), QStringList({"POP3 Error: -ERR [AUTH] Authentication failed.\r\n"}));
        QCOMPARE(fx->messages[0].title, QStringLiteral("POP3 Error"));
        QCOMPARE(fx->messages[0].icon, MsgIcon::Exclamation);
        QCOMPARE(screen->lvMessages->itemCount(), 0);

        // Put right, the next check goes through on the same screen.
        screen->txtPassword->setText(kPassword);
        QVERIFY(check(screen));
        QCOMPARE(screen->lvMessages->itemCount(), served.size());
        QCOMPARE(fx->messages.size(), 1);
    }

    void unreachableServer()
    {
        frmCheckEmail *screen = openCheckScreen(QStringLiteral("127.0.0.1:%1").arg(freeLoopbackPort()));
        QVERIFY(check(screen, 5000));
        pump(100);
        QCOMPARE(fx->messageTexts(), QStringList({"Winsock Error: #0\r\nConnection refused"}));
        QCOMPARE(fx->messages[0].title, QStringLiteral("Tessaly 2002"));
        QCOMPARE(fx->messages[0].icon, MsgIcon::None);
    }

    // A check that falls silent is given up by the next one, which lists
    // what both fetched, each once; closing the screen ends one quietly.
    void silentCheckIsGivenUp()
    {
        const QByteArrayList box = {"Message-ID: <a@x>\nSubject: A\n\none\n", "Message-ID: <b@x>\nSubject: B\n\ntwo\n"};
        ScriptedPeer peer("+OK ready\r\n");
        servePop3(peer, box, "RETR 2", 1);
        frmCheckEmail *screen = openCheckScreen(peer.hostBox());
        QTest::mouseClick(screen->cmdCheckMail, Qt::LeftButton);
        QVERIFY(waitFor([&] { return peer.lines().contains("RETR 2\r\n"); }));
        pump(100);
        QCOMPARE(screen->lvMessages->itemCount(), 0);

        QVERIFY(check(screen, 5000));
        QCOMPARE(peer.connections(), 2);
        QCOMPARE(peer.hangUps(), 2);  // the silent one, then the finished one after its QUIT
        QCOMPARE(listed(screen->lvMessages), QList<QStringList>({{"", "A", "", "38"}, {"", "B", "", "38"}}));
        QVERIFY(fx->messages.isEmpty());

        servePop3(peer, box, "PASS", 3);
        QTest::mouseClick(screen->cmdCheckMail, Qt::LeftButton);
        QVERIFY(waitFor([&] { return peer.lines().last() == "PASS pass word\r\n"; }));
        QTest::mouseClick(screen->cmdExit, Qt::LeftButton);
        QVERIFY(!Screens::isLoaded<frmCheckEmail>());
        QVERIFY(waitFor([&] { return peer.hangUps() == 3; }));
        pump(100);
        QVERIFY(fx->messages.isEmpty());
    }
};

QTEST_MAIN(TestCheckScreen)
#include "test_mail_check.moc"
