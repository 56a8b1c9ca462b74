// The check screen: what its controls do, a mailbox fetched from a real
// dovecot that requires TLS (STLS, and TLS from the first byte), and
// scripted peers for a check that falls silent or is abandoned.
#include "MailServers.h"
#include "MailTest.h"
#include "ScriptedPeer.h"
#include "support/Files.h"
#include "support/Golden.h"
#include "support/Require.h"

#include "controls/Buttons.h"
#include "controls/ListView.h"
#include "controls/MSFlexGrid.h"
#include "kit/ConnectionSettings.h"
#include "kit/Invitation.h"
#include "kit/MailSettings.h"
#include "mail/ConversationView.h"
#include "mail/InvitationBar.h"
#include "mail/InvitationMail.h"
#include "mail/MailConnection.h"
#include "mail/MailHtmlView.h"
#include "mail/frmCheckEmail.h"
#include "mail/frmSendEmail.h"
#include "planner/frmOrganizer.h"
#include "store/Connection.h"
#include "store/RecordsChanged.h"
#include "store/SearchIndex.h"
#include "support/Run.h"
#include "sync/InvitationPlanner.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCryptographicHash>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSslCertificate>
#include <QSslSocket>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

using namespace std::chrono_literals;

namespace {

const QString kUser = QStringLiteral("anna");
const QString kPassword = QStringLiteral("pass word");

QList<QStringList> listed(const ListView* lv)
{
    QList<QStringList> rows;
    for (int r = 0; r < lv->itemCount(); ++r)
        rows << QStringList{lv->itemText(r, 0), lv->itemText(r, 1), lv->itemText(r, 2), lv->itemText(r, 3)};
    return rows;
}

// A mailbox of `messages` that answers every command until `silentAt`.
void servePop3(ScriptedPeer& peer, const QByteArrayList& messages, const QByteArray& silentAt = {})
{
    peer.answer = [messages, silentAt](const QByteArray& line) -> QByteArray {
        if (!silentAt.isEmpty() && line.startsWith(silentAt))
            return {};
        if (line.startsWith("CAPA"))
            return "+OK\r\nUSER\r\n.\r\n";
        if (line.startsWith("STAT"))
            return "+OK " + QByteArray::number(messages.size()) + " 0\r\n";
        if (line.startsWith("UIDL"))
            return "-ERR no UIDL\r\n";
        if (line.startsWith("RETR "))
            return "+OK\r\n" + messages.value(line.mid(5).trimmed().toInt() - 1) + ".\r\n";
        return "+OK\r\n";
    };
}

// "subject:status" of each row of an IMAP folder's list.
QStringList imapRows(const ListView* lv)
{
    QStringList rows;
    for (int r = 0; r < lv->itemCount(); ++r)
        rows << lv->itemText(r, 1) + QLatin1Char(':') + lv->itemText(r, 4);
    return rows;
}

}  // namespace

class TestCheckScreen : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<AppFixture> fx;
    TestCertificates certs;
    std::unique_ptr<Pop3TestServer> pop3;
    QString pop3Missing;

    frmCheckEmail* openCheckScreen(const QString& host, const QString& password = kPassword)
    {
        fx->makeDataFolder();
        storeMailSettings(fx->dbPath(), {"", "", "old", "old", "old"});
        storeMailSettings(fx->dbPath(), {"", "", host, kUser, password});
        return Screens::show<frmCheckEmail>();
    }
    // Starts a check and waits until it has ended.
    bool check(frmCheckEmail* screen)
    {
        QTest::mouseClick(screen->cmdCheckMail, Qt::LeftButton);
        return QTest::qWaitFor([screen] { return screen->Winsock1->isIdle(); }, 20000);
    }

private slots:
    void initTestCase()
    {
        QString why;
        QVERIFY2(certs.make(&why), qPrintable(why));
        setConnectionSettings({.extraCaCertificates = QSslCertificate::fromPath(certs.pem(QStringLiteral("ca")))});
        pop3Missing = Pop3TestServer::missing();
        if (!pop3Missing.isEmpty())
            return;
        pop3 = std::make_unique<Pop3TestServer>(kUser, kPassword);
        for (const QByteArray& text : {QByteArray("Message-ID: <m1@x>\nFrom: Anna <anna@x>\nSubject: First\n"
                                                  "Date: Mon, 1 Jan 2001 10:00:00 +0100\n\nHello Bob.\n"),
                                       QByteArray("From: b@x\nSubject: Gr\xc3\xbc\xc3\x9f"
                                                  "e\n\n.\n..x\n")})
            QVERIFY2(pop3->addMessage(text, &why), qPrintable(why));
        QVERIFY2(pop3->start(&why, &certs), qPrintable(why));
    }
    void cleanupTestCase() { pop3.reset(); }
    void init() { fx = std::make_unique<AppFixture>(); }
    void cleanup()
    {
        fx.reset();
        setConnectionSettings({.extraCaCertificates = connectionSettings().extraCaCertificates});
    }

    void boxesAreChecked()
    {
        ScriptedPeer peer("+OK\r\n");
        frmCheckEmail* screen = openCheckScreen(peer.hostBox());
        QCOMPARE(screen->txtUserName->text() + screen->txtPassword->text(), kUser + kPassword);
        screen->txtUserName->clear();
        QTest::mouseClick(screen->cmdCheckMail, Qt::LeftButton);
        screen->txtUserName->setText(QStringLiteral("anna\nSTAT"));
        QTest::mouseClick(screen->cmdCheckMail, Qt::LeftButton);
        QCOMPARE(fx->messageBoxes(), QStringList({"Critical|Tessaly 2002|txtUserName can't be empty",
                                                  "Critical|Tessaly 2002|The user name or the password contains a line "
                                                  "break, which cannot be sent to the server. "
                                                  "Please correct it in the e-mail settings."}));
        QTest::qWait(100);
        QCOMPARE(peer.connections(), 0);
    }

    // On its own address dovecot takes a login only inside TLS (STLS); on
    // 995 TLS starts at once. Each message is listed with its columns and a
    // click shows its body; another check adds nothing already held.
    void mailboxIsFetched_data()
    {
        QTest::addColumn<QString>("host");
        QTest::newRow("STLS") << "%1";
        QTest::newRow("TLS on 995") << "995";
    }
    void mailboxIsFetched()
    {
        QFETCH(QString, host);
        if (!pop3)
            SKIP_OR_FAIL(pop3Missing);
        frmCheckEmail* screen = openCheckScreen(
            pop3->host() + ':' + QString(host).replace(QStringLiteral("%1"), QString::number(pop3->port())));
        QVERIFY(check(screen));
        QCOMPARE(fx->messageBoxes().join(""), QString());
        // Noted as a server that gave TLS on request (TLS from the first byte is no offer).
        QCOMPARE(Db::joined(fx->dbPath(), QStringLiteral("tblMailStartTls"), {QStringLiteral("Host")}),
                 host == "995" ? QStringList() : QStringList(pop3->host()));
        const QList<QStringList> rows = {{"Anna <anna@x>", "First", "Mon, 1 Jan 2001 10:00:00 +0100", "109"},
                                         {"b@x", "Grüße", "", "39"}};  // octets: ü and ß are two each
        QCOMPARE(listed(screen->lvMessages), rows);
        QTest::mouseClick(screen->lvMessages->viewport(), Qt::LeftButton, {},
                          screen->lvMessages->visualItemRect(screen->lvMessages->topLevelItem(1)).center());
        QCOMPARE(screen->txtBody->toPlainText(), QStringLiteral(".\n..x\n"));
        // Found by the decoded body and sender, as the search box shows it.
        Connection con;
        con.Open(fx->dbPath());
        const auto hits = SearchIndex::search(con.handle(), QStringLiteral("bob anna"));
        QCOMPARE(hits.size(), size_t(1));
        QCOMPARE(hits[0].title + hits[0].snippet,
                 QString("First[Anna] <[anna]@x>\nHello [Bob].\n").replace('[', QChar(2)).replace(']', QChar(3)));
        QVERIFY(check(screen));
        QCOMPARE(listed(screen->lvMessages), rows);
        QCOMPARE(screen->lblProgress->text(), QString());

        screen->txtPassword->setText(QStringLiteral("guess"));
        QVERIFY(check(screen));
        QCOMPARE(fx->messageBoxes(),
                 QStringList({"Exclamation|POP3 Error|POP3 Error: -ERR [AUTH] Authentication failed.\r\n"}));
    }

    // Past the limit (a setting) a message is left on the server with
    // nothing of it kept, and the check goes on with the next; within it, a
    // message of 100 MB in one line is kept byte for byte while the peak
    // memory grows by a few MB at most.
    void largeMessagesCostABoundedBuffer()
    {
        if (!pop3)
            SKIP_OR_FAIL(pop3Missing);
        Pop3TestServer server(kUser, kPassword);
        QByteArray big = "Subject: big\r\n\r\n." + QByteArray(100 << 20, 'x') + "\r\n";
        const QString digest = QCryptographicHash::hash(big, QCryptographicHash::Sha256).toHex();
        QVERIFY(server.addMessage(std::exchange(big, {})));
        QVERIFY(server.addMessage("Subject: over\r\n\r\n" + QByteArray(2 << 20, '.') + "\r\n"));
        QVERIFY(server.addMessage("Subject: small\r\n\r\nhi\r\n"));
        QString why;
        QVERIFY2(server.start(&why), qPrintable(why));
        frmCheckEmail* screen = openCheckScreen(QStringLiteral("127.0.0.1:%1").arg(server.port()));
        Connection con;
        con.Open(fx->dbPath());
        saveMessageLimit(con, 1);
        QVERIFY(check(screen));
        QVERIFY(fx->messageBoxes().value(0).contains("Messages 1 and 2 of 3 are larger than the 1 MB one message"));
        QCOMPARE(listed(screen->lvMessages), QList<QStringList>({{"", "small", "", "22"}}));
        const QString mail = fx->dataDir() + "/Mail/";
        saveMessageLimit(con, 101);
        const qint64 grown = peakGrowth([&] { QVERIFY(check(screen)); });
        QCOMPARE(screen->lvMessages->itemCount(), 3);
        QVERIFY2(grown < kBoundedGrowthKb, qPrintable(QStringLiteral("%1 kB").arg(grown)));
        QCOMPARE(QDir(mail + "tmp").entryList(QDir::Files), QStringList());
        QVERIFY(std::ranges::any_of(QDir(mail + "new").entryList(QDir::Files), [&](const QString& name) {
            return QCryptographicHash::hash(readFile(mail + "new/" + name), QCryptographicHash::Sha256).toHex()
                   == digest;
        }));
    }

    // A store from before the Sent folder keeps its rows, as received mail.
    // What a killed check left in tmp/ goes at the next opening, but not a
    // copy this program is writing (a send running in the other window).
    void anOlderStoreKeepsItsRows()
    {
        fx->makeDataFolder();
        Db::exec(fx->dbPath(), "CREATE TABLE tblMailbox (MailKey TEXT PRIMARY KEY, FileName TEXT NOT NULL, Sender "
                               "TEXT, Subject TEXT, SendDate TEXT, Size INTEGER); INSERT INTO tblMailbox VALUES "
                               "('k1', 'new/a', 'Ann', 'Hi', 'Mon', 3), ('k2', '', '', '', '', 0)");
        const QString mail = fx->dataDir() + "/Mail/";
        const QString ours = mail + QStringLiteral(".Sent/tmp/1.P%1Q1.h").arg(QCoreApplication::applicationPid());
        QVERIFY(QDir().mkpath(mail + ".Sent/tmp") && QDir().mkpath(mail + "tmp") && QDir().mkpath(mail + "new")
                && writeFile(mail + "tmp/1.P1Q1.h", "half") && writeFile(ours, "on its way")
                && writeFile(mail + "new/a", "Message-ID: <a@x>\nIn-Reply-To: <p@x>\nReferences: <o@x> <p@x>\n\nHi"));
        Connection con;
        con.Open(fx->dbPath());
        MailStore store;
        store.open(con, fx->dataDir() + "/Mail");
        QCOMPARE(store.keys(), QSet<QString>({"k1", "k2"}));
        const QList<KeptMessage> inbox = store.messages(MailFolder::Inbox);
        QCOMPARE(inbox.size() + store.messages(MailFolder::Sent).size(), 1);
        QCOMPARE(inbox[0].key + inbox[0].from + inbox[0].subject, "k1AnnHi");
        // What threads it is read from its file once, the columns it had left as they were.
        QCOMPARE(QStringList({inbox[0].messageId, inbox[0].inReplyTo}) + inbox[0].references,
                 QStringList({"a@x", "p@x", "o@x", "p@x"}));
        QCOMPARE(filesIn(mail + "tmp") + filesIn(mail + ".Sent/tmp"), QStringList(QFileInfo(ours).fileName()));
        // A sent message is found by a word of its body, and opens in the Sent folder.
        const std::unique_ptr<SentCopy> copy = store.beginSent();
        copy->append("From: me@x\r\nSubject: Plan\r\n\r\nOnly in the sent body\r\n");
        const QString sentKey = store.keepSent(*copy, QStringLiteral("Only in the sent body")).key;
        const auto sent = SearchIndex::search(con.handle(), QStringLiteral("sent body"));
        QVERIFY(sent.size() == 1 && sent[0].folder == "Sent" && sent[0].mailKey == sentKey);

        // A clear login allowed after the server stopped offering TLS forgets that it did.
        store.noteStartTls(QStringLiteral("Mail.Example.org"));
        QVERIFY(store.offeredStartTls(QStringLiteral("mail.example.org")) && !store.offeredStartTls("example.org"));
        store.allowLoginInClear(QStringLiteral("MAIL.example.org"));
        QVERIFY(!store.offeredStartTls(QStringLiteral("mail.example.org"))
                && store.mayLogInClear(QStringLiteral("mail.Example.org")));
    }

    // Mail of other programs, kept between checks: the list and a body
    // decoded, an attachment saved byte for byte, a damaged message that
    // stops nothing, a second check fetching only what is new, the kept mail
    // listed at the next opening, and the Delete key removing one for good.
    void mailIsKept()
    {
        if (!pop3)
            SKIP_OR_FAIL(pop3Missing);
        const auto read = [&](const char* name) { return readFile(Golden::folder("mime") + '/' + name + ".eml"); };
        Pop3TestServer server(kUser, kPassword);
        for (const char* name : {"1-alternative", "2-html", "3-cp1252", "4-rfc822", "5-damaged"})
            QVERIFY(server.addMessage(read(name)));
        QString why;
        QVERIFY2(server.start(&why), qPrintable(why));
        frmCheckEmail* screen = openCheckScreen(QStringLiteral("127.0.0.1:%1").arg(server.port()));
        QList<int> fetches;
        connect(screen->Winsock1, &MailConnection::fetching, this, [&](int, int total) { fetches << total; });
        QVERIFY(check(screen));
        QCOMPARE(screen->lvMessages->itemCount(), 5);
        // Newest first: the one message with a date, then the others as they came.
        QCOMPARE(screen->lvMessages->itemText(0, 1) + '|' + screen->lvMessages->itemText(2, 0)
                     + screen->lvMessages->itemText(2, 1),
                 QStringLiteral("Fwd|Année <a@example.org>🔓 html"));
        screen->lvMessages_ItemClick(1);
        QCOMPARE(screen->txtBody->toPlainText(), QStringLiteral("Eine schöne Woche!\n"));
        QCOMPARE(screen->lstAttachments->item(0)->text(), QStringLiteral("Bericht €.bin (768 bytes)"));
        fx->fileAnswers << fx->appDir() + "/saved.bin";
        screen->lstAttachments->setCurrentRow(0);
        QTest::keyClick(screen->lstAttachments, Qt::Key_Return);
        QCOMPARE(fx->fileRequests.value(0).folder, QDir::home().filePath(QStringLiteral("Bericht €.bin")));
        QByteArray blob;  // what make-test-inputs.py attached
        for (int i = 0; i < 768; ++i)
            blob += char(i % 256);
        QCOMPARE(readFile(fx->appDir() + "/saved.bin"), blob);

        QVERIFY(server.addMessage(read("6-uuencoded")));
        QVERIFY(check(screen));
        QCOMPARE(fetches, QList<int>({5, 5, 5, 5, 5, 1}));
        Screens::unload<frmCheckEmail>();
        screen = Screens::show<frmCheckEmail>();
        QCOMPARE(screen->lvMessages->itemCount(), 6);
        QCOMPARE(screen->lvMessages->itemText(5, 1), QStringLiteral("uu"));

        const QString second = screen->lvMessages->itemText(1, 1);
        for (int row : {0, 5})
            screen->lvMessages->selectionModel()->select(screen->lvMessages->topLevelItem(row),
                                                         QItemSelectionModel::Select | QItemSelectionModel::Rows);
        fx->answers << MsgResult::No << MsgResult::Yes;
        QTest::keyClick(screen->lvMessages, Qt::Key_Delete);
        QCOMPARE(screen->lvMessages->itemCount(), 6);
        QTest::keyClick(screen->lvMessages, Qt::Key_Delete);
        QCOMPARE(fx->messageBoxes().value(1),
                 "Question|Tessaly 2002|Delete the 2 selected messages from this computer?");
        QCOMPARE(screen->lvMessages->itemCount(), 4);
        QCOMPARE(screen->lvMessages->itemText(0, 1), second);
        QCOMPARE(QDir(fx->dataDir() + "/Mail/new").entryList(QDir::Files).size(), 4);
        QVERIFY(check(screen));
        QCOMPARE(screen->lvMessages->itemCount(), 4);
        QCOMPARE(fx->messageBoxes().size(), 2);
        // A removed message's row goes once the server has dropped it too.
        const auto rows = [&] { return Db::rows(fx->dbPath(), QStringLiteral("tblMailbox")).size(); };
        QCOMPARE(rows(), 6);
        QVERIFY(server.dropMessage(4));  // the newest, removed here above
        QVERIFY(check(screen));
        QCOMPARE(rows(), 5);
        Screens::unload<frmCheckEmail>();
        screen = Screens::show<frmCheckEmail>();
        QCOMPARE(screen->lvMessages->itemCount(), 4);  // no empty rows of removed mail
        // Mail another process removes leaves the open list at the watch's notice.
        Db::exec(fx->dbPath(), "DELETE FROM tblMailbox WHERE Subject = 'cut'");
        RecordsChanged::instance().raise(RecordsChange::Mail);
        QTRY_COMPARE(screen->lvMessages->itemCount(), 3);
    }

    // A reply all and a forward of an HTML message with a file, as the
    // receiver's parser reads them; the HTML shows formatted, fetching nothing.
    void answersAndForwards()
    {
        if (!pop3 || !SmtpTestServer::missing().isEmpty())
            SKIP_OR_FAIL(QStringLiteral("dovecot or aiosmtpd missing"));
        SmtpTestServer smtp;
        Pop3TestServer server(kUser, kPassword);
        QTcpServer web;  // where the message's remote image is
        const QString secret = fx->appDir() + "/secret.png";
        QVERIFY(web.listen(QHostAddress::LocalHost) && QImage(8, 8, QImage::Format_RGB32).save(secret));
        const QByteArray blob = QCryptographicHash::hash("file", QCryptographicHash::Sha512).repeated(9);
        QVERIFY(server.addMessage(
            "From: Anna <anna@x.org>\nTo: me@y.net, bob@z.com\nCc: carl@z.com\nSubject: Plans\nDate: Tue, 5 Mar 2002 "
            "14:03:09 +0100\nMessage-ID: <m1@x.org>\nReferences: <r0@x.org>\nContent-Type: multipart/mixed; boundary=B"
            "\n\n--B\nContent-Type: multipart/alternative; boundary=A\n\n--A\n\nHi\n--A\nContent-Type: text/html\n\n"
            "<b>Bold</b><img src=\"http://127.0.0.1:"
            + QByteArray::number(web.serverPort()) + "/x.png\"><img src=\"" + QUrl::fromLocalFile(secret).toEncoded()
            + "\">\n--A--\n--B\nContent-Type: application/octet-stream; "
              "name=r.bin\nContent-Transfer-Encoding: base64\n\n"
            + blob.toBase64() + "\n--B--\n"));
        QString why;
        QVERIFY2(server.start(&why) && smtp.start(&why), qPrintable(why));
        fx->makeDataFolder();
        storeMailSettings(fx->dbPath(), {QStringLiteral("%1:%2").arg(smtp.host()).arg(smtp.port()), "Me <me@y.net>",
                                         QStringLiteral("127.0.0.1:%1").arg(server.port()), kUser, kPassword});
        frmCheckEmail* screen = Screens::show<frmCheckEmail>();
        QVERIFY(!screen->cmdReply->isEnabled() && check(screen));
        screen->lvMessages_ItemClick(0);
        QVERIFY(screen->htmlBody->isVisible() && !screen->txtBody->isVisible());
        QCOMPARE(screen->htmlBody->toPlainText().left(4), QStringLiteral("Bold"));
        const QVariant image =
            screen->htmlBody->document()->resource(QTextDocument::ImageResource, QUrl::fromLocalFile(secret));
        QTest::qWait(200);
        QVERIFY(image.value<QImage>().isNull() && !web.hasPendingConnections());
        screen->chkAsText->setChecked(true);
        QVERIFY(screen->txtBody->isVisible() && !screen->htmlBody->isVisible());

        // What the receiver's parser reads: subject, To, threading, the
        // text's first lines and the file of its uuencoded block.
        const QString read = QStringLiteral(
            "import sys, email, codecs\nfrom email import policy\n"
            "m = email.message_from_binary_file(open(sys.argv[1], 'rb'), policy=policy.default)\nb = m.get_content()\n"
            "f = codecs.decode(b[b.index('begin 664 r.bin'):].encode(), 'uu').hex() if 'begin ' in b else ''\n"
            "print(m['Subject'], m['To'], m['In-Reply-To'], m['References'], b.split('\\n')[1:3], f, sep='|')");
        const auto sent = [&](FlatBttn* button, int count) {
            QTest::mouseClick(button, Qt::LeftButton);
            frmSendEmail* send = Screens::load<frmSendEmail>();
            if (send->txtRecipient->text().isEmpty())
                send->txtRecipient->setText(QStringLiteral("dan@z.com"));
            QTest::mouseClick(send->cmdSend, Qt::LeftButton);
            if (!QTest::qWaitFor([&] { return fx->messages.size() == count && send->cmdSend->isEnabled(); }, 20000))
                return QStringLiteral("not sent");
            QString out;
            const QString path = fileIn(fx->appDir(), "got.eml", smtp.waitForMessages(count).value(count - 1).content);
            return run(QStringLiteral("python3"), {"-c", read, path}, &out) == 0 ? out.trimmed() : out;
        };
        QCOMPARE(sent(screen->cmdReplyAll, 1),
                 "Re: Plans|anna@x.org, bob@z.com, carl@z.com|<m1@x.org>|<r0@x.org> <m1@x.org>|"
                 "['On Tue, 5 Mar 2002 14:03:09 +0100, Anna <anna@x.org> wrote:', '> Hi']|");
        QCOMPARE(sent(screen->cmdForward, 2),
                 "Fwd: Plans|dan@z.com|None|None|['---------- Forwarded message ----------', "
                 "'From: Anna <anna@x.org>']|"
                     + QString::fromLatin1(blob.toHex()));

        // As conversations (kept for the next opening): the reply sent stands under the message it
        // answers, the forward (no answer, the Sent folder's alone) is not listed; the keys move
        // through it, and Delete takes the message chosen.
        screen->chkConversations->setChecked(true);
        Screens::unload<frmCheckEmail>();
        screen = Screens::show<frmCheckEmail>();
        ConversationView* tree = screen->tvConversations;
        QVERIFY(screen->chkConversations->isChecked() && tree->isVisible() && !screen->lvMessages->isVisible());
        const QAbstractItemModel* rows = tree->model();
        const QModelIndex top = rows->index(0, 0);
        QCOMPARE(rows->rowCount(), 1);
        QCOMPARE(rows->index(0, 1).data().toString(), QStringLiteral("Re: Plans (2)"));
        QCOMPARE(rows->index(1, 1, top).data().toString(), QStringLiteral("   Re: Plans"));
        tree->setCurrentIndex(top);
        QTest::keyClick(tree, Qt::Key_Return);
        QVERIFY(tree->isExpanded(top) && screen->txtBody->toPlainText().isEmpty());
        QTest::keyClick(tree, Qt::Key_Down);
        QCOMPARE(screen->htmlBody->toPlainText().left(4), QStringLiteral("Bold"));
        QTest::keyClick(tree, Qt::Key_Down);
        QVERIFY(screen->txtBody->toPlainText().contains("Anna <anna@x.org> wrote:\n> Hi"));
        QVERIFY(screen->cmdReply->isEnabled());
        QTest::keyClick(tree, Qt::Key_Left);
        QVERIFY(!tree->isExpanded(top) && tree->currentIndex().row() == 0 && !tree->currentIndex().parent().isValid());
        for (Qt::Key key : {Qt::Key_Right, Qt::Key_Down, Qt::Key_Down})
            QTest::keyClick(tree, key);
        fx->answers << MsgResult::Yes;
        QTest::keyClick(tree, Qt::Key_Delete);
        QCOMPARE(fx->messageBoxes().last(), "Question|Tessaly 2002|Delete the selected message from this computer?");
        QCOMPARE(rows->rowCount(), 1);
        QCOMPARE(rows->index(0, 1).data().toString(), QStringLiteral("Plans"));
        screen->htmlBody->clear();
        screen->showMessage("Inbox", Db::rows(fx->dbPath(), "tblMailbox").value(0).value("MailKey").toString(), false);
        QCOMPARE(screen->htmlBody->toPlainText().left(4), QStringLiteral("Bold"));  // as a search hit opens it
    }

    // Bob accepts an invitation that arrived as a form of multipart/alternative
    // with a comment: it goes into his planner and the answer to Anna's
    // server; Anna's check shows it as his acceptance. One addressed to
    // someone else says so, offers no answer and changes nothing.
    void invitationRoundTrip()
    {
        if (!pop3 || !SmtpTestServer::missing().isEmpty())
            SKIP_OR_FAIL(QStringLiteral("dovecot or aiosmtpd missing"));
        Invitation::setPlanner(InvitationPlanner::planner());
        const QString itip = Golden::folder(QStringLiteral("itip")) + u'/';
        SmtpTestServer smtp;
        Pop3TestServer bob(kUser, kPassword), anna(kUser, kPassword);
        QString why;
        QVERIFY2(bob.addMessage(readFile(itip + "alternative-request.eml"), &why)
                     && bob.addMessage("Subject: Other\nDate: Mon, 1 Jan 2001 10:00:00 +0100\nContent-Type: "
                                       "text/calendar\n\n"
                                           + readFile(itip + "bad-someone-else.ics"),
                                       &why)
                     && bob.addMessage(readFile(itip + "alternative-request.eml")
                                           .replace("Bob@Example.org", "dora@example.net")
                                           .replace("Invitation:", "Fwd:"),
                                       &why)
                     && bob.addMessage(readFile(itip + "inline-cancel.eml"), &why) && bob.start(&why)
                     && anna.start(&why) && smtp.start(&why),
                 qPrintable(why));
        // Anna's planner invites Bob: the REQUEST goes through the SMTP server into his mailbox.
        QWidget host;
        Invitation::setMailer(invitationMailer(&host));
        const auto settings = [&](const QString& me, const Pop3TestServer& box) {
            storeMailSettings(fx->dbPath(), {QStringLiteral("%1:%2").arg(smtp.host()).arg(smtp.port()), me,
                                             QStringLiteral("127.0.0.1:%1").arg(box.port()), kUser, kPassword});
        };
        fx->makeDataFolder();
        settings(QStringLiteral("Anna Berg <anna@example.com>"), anna);
        Db::exec(fx->dbPath(), "INSERT INTO tblAddress (FirstName, LastName, Email) VALUES ('Carl', 'Ek', "
                               "'carl@example.com'), ('Cora', 'Ek', '')");
        const auto planner = [&] {
            frmOrganizer* org = Screens::show<frmOrganizer>();
            org->MSgridTime[0]->setRow(3);
            return org;
        };
        frmOrganizer* org = planner();
        org->txtMessage[0]->setPlainText(QStringLiteral("Lunch with Bob"));
        org->cboTimeFinshed[0]->setCurrentText(QStringLiteral("1:00 PM"));
        org->MSgridTime_Click(0);
        // The second attendee is picked from the address book as it is typed.
        org->txtAttendees[0]->setText(QStringLiteral("Bob@Example.org,"));
        QTest::keyClicks(org->txtAttendees[0], QStringLiteral(" c"));
        auto* offered = qobject_cast<QAbstractItemView*>(QApplication::activePopupWidget());
        QVERIFY(offered && offered->model()->rowCount() == 1);
        QTest::keyClick(offered, Qt::Key_Down), QTest::keyClick(offered, Qt::Key_Return);
        QCOMPARE(org->txtAttendees[0]->text(), QStringLiteral("Bob@Example.org, carl@example.com, "));
        org->cmdSave_Click(0);
        QCOMPARE(fx->messageTexts(), QStringList(QStringLiteral("Send the invitation to 2 people?")));
        QCOMPARE(org->txtAttendees[0]->text(), QStringLiteral("bob@example.org (not yet), carl@example.com (not yet)"));
        // One message to each attendee.
        QTRY_COMPARE_WITH_TIMEOUT(smtp.waitForMessages(2, 0).size(), 2, 20000);
        const QList<SmtpTestServer::Received> requests = smtp.waitForMessages(2);
        QCOMPARE(requests.value(0).rcptTos, QByteArrayList{"bob@example.org"});
        QCOMPARE(requests.value(1).rcptTos, QByteArrayList{"carl@example.com"});
        const QByteArray request = requests.value(0).content;
        for (const char* said : {"Subject:Invitation: Lunch with Bob", "method=REQUEST",
                                 "ORGANIZER:mailto:anna@example.com", "PARTSTAT=NEEDS-ACTION;RSVP=TRUE"})
            QVERIFY2(request.contains(said), said);
        QVERIFY(bob.addMessage(request));
        Screens::unload<frmOrganizer>();
        QTemporaryDir annas;
        for (const QString& file : {fx->dbPath(), fx->dbPath() + QStringLiteral("-wal")})
            QFile::copy(file, annas.filePath(QFileInfo(file).fileName()));
        fx.reset();
        fx = std::make_unique<AppFixture>();

        const auto open = [&](const Pop3TestServer& box, const QString& me) {
            fx->makeDataFolder();
            for (const QString& file : QDir(annas.path()).entryList(QDir::Files))
                if (&box == &anna)
                    QFile::remove(fx->dataDir() + u'/' + file),
                        QFile::copy(annas.filePath(file), fx->dataDir() + u'/' + file);
            settings(me, box);
            frmCheckEmail* screen = Screens::show<frmCheckEmail>();
            return check(screen) ? screen : nullptr;
        };
        const auto shown = [](frmCheckEmail* screen, const QString& subject) {
            for (int row = 0; row < screen->lvMessages->itemCount(); ++row)
                if (screen->lvMessages->itemText(row, 1) == subject)
                    screen->showMessage("Inbox", screen->lvMessages->itemKey(row), false);
            return screen->frmInvitation->isVisibleTo(screen) ? screen->frmInvitation->txtInvitation->toPlainText()
                                                              : QString();
        };
        frmCheckEmail* screen = open(bob, QStringLiteral("Bob Stone <bob@example.org>"));
        QVERIFY(screen);
        QCOMPARE(shown(screen, QStringLiteral("Other")),
                 QStringLiteral("The calendar part of this message is not taken as an invitation. The invitation is "
                                "addressed to someone else."));
        QVERIFY(!screen->frmInvitation->cmdAccept->isVisibleTo(screen));
        QVERIFY(shown(screen, QStringLiteral("Fwd: Budget review")).endsWith(QStringLiteral("someone else.")));
        QCOMPARE(screen->lstAttachments->item(0)->text(), QStringLiteral("invite.ics (975 bytes)"));
        QVERIFY(shown(screen, QStringLiteral("Invitation: Budget review"))
                    .endsWith("It does not clash with your planner."));
        screen->frmInvitation->txtComment->setText(QStringLiteral("Fine by me."));
        QTest::mouseClick(screen->frmInvitation->cmdAccept, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(screen->frmInvitation->txtInvitation->toPlainText().endsWith(
                                     QStringLiteral("Your answer was sent to anna@example.com.")),
                                 20000);
        const QByteArray answer = smtp.waitForMessages(3).value(2).content;
        for (const char* said :
             {"Subject:Accepted: Budget review",
              "Content-Type: text/calendar; charset=utf-8; method=REPLY\r\nContent-Transfer-Encoding: 7bit",
              "PARTSTAT=ACCEPTED", "COMMENT:Fine by me."})
            QVERIFY2(answer.contains(said), said);
        QCOMPARE(Db::joined(fx->dbPath(), QStringLiteral("tblOrginize"), {QStringLiteral("Note")}),
                 QStringList(QStringLiteral("Budget review\nLocation: Room 4.12")));

        // Called off: removed only once the question is answered Yes.
        QVERIFY(shown(screen, QStringLiteral("Cancelled: Budget review"))
                    .startsWith(QStringLiteral("The organizer has called this meeting off.")));
        fx->answers = {MsgResult::No, MsgResult::Yes};
        for (int click = 0; click < 2; ++click)
            QTest::mouseClick(screen->frmInvitation->cmdRemove, Qt::LeftButton);
        QCOMPARE(Db::rows(fx->dbPath(), QStringLiteral("tblOrginize")).size(), 0);
        QCOMPARE(fx->messageTexts(), QStringList({QStringLiteral("Remove \"Budget review\" from your planner?"),
                                                  QStringLiteral("Remove \"Budget review\" from your planner?")}));

        QVERIFY(shown(screen, QStringLiteral("Invitation: Lunch with Bob"))
                    .contains(QStringLiteral("Organizer: anna@example.com")));
        QTest::mouseClick(screen->frmInvitation->cmdAccept, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(smtp.waitForMessages(4, 0).size(), 4, 20000);
        const QByteArray lunch = smtp.waitForMessages(4).value(3).content;

        // Anna's check reads Bob's answers; the one to her planner's meeting is kept with it.
        Screens::unload<frmCheckEmail>();
        fx.reset();
        fx = std::make_unique<AppFixture>();
        QVERIFY(anna.addMessage(answer) && anna.addMessage(lunch));
        screen = open(anna, QStringLiteral("anna@example.com"));
        QVERIFY(screen);
        QCOMPARE(shown(screen, QStringLiteral("Accepted: Budget review")).section(u'\n', 0, 0),
                 QStringLiteral("Bob Stone has accepted your invitation."));
        QVERIFY(shown(screen, QStringLiteral("Accepted: Lunch with Bob"))
                    .contains(QStringLiteral(
                        "Your planner shows the answer: bob@example.org (accepted), carl@example.com (not yet).")));
        org = planner();
        QCOMPARE(org->txtAttendees[0]->text(),
                 QStringLiteral("bob@example.org (accepted), carl@example.com (not yet)"));
        QCOMPARE(fx->messageBoxes(), QStringList());
        // Deleted, it is called off for each.
        org->MSgridTime[0]->setFocus();
        QTest::keyClick(org->MSgridTime[0], Qt::Key_Delete);
        QCOMPARE(fx->messageTexts(),
                 QStringList({QStringLiteral("Delete Lunch with Bob at 8:30AM?"),
                              QStringLiteral("Tell 2 people that \"Lunch with Bob\" is called off?")}));
        QTRY_COMPARE_WITH_TIMEOUT(smtp.waitForMessages(6, 0).size(), 6, 20000);
        const QList<SmtpTestServer::Received> cancels = smtp.waitForMessages(6).mid(4);
        QCOMPARE(cancels.value(0).rcptTos + cancels.value(1).rcptTos,
                 QByteArrayList({"bob@example.org", "carl@example.com"}));
        for (const char* said : {"method=CANCEL", "STATUS:CANCELLED", "SEQUENCE:1", "mailto:bob@example.org"})
            QVERIFY2(cancels.value(0).content.contains(said), said);
        Invitation::setMailer({});
    }

    // Rows appear as messages arrive (within half a second, long before the
    // time limit); a server silent inside message 2 of 3 is given up at the
    // limit, with the row of message 1 in place.
    void silentCheckEndsAtTheLimit()
    {
        setConnectionSettings({3s, 3s, connectionSettings().extraCaCertificates});
        ScriptedPeer peer("+OK ready\r\n");
        servePop3(peer, {"Subject: A\r\n\r\none\r\n", "Subject: B\r\n\r\n", ""}, "RETR 2");
        frmCheckEmail* screen = openCheckScreen(peer.hostBox());
        QTest::mouseClick(screen->cmdCheckMail, Qt::LeftButton);
        QTRY_COMPARE(screen->lblProgress->text(), QStringLiteral("Message 2 of 3"));
        QTRY_COMPARE(listed(screen->lvMessages), QList<QStringList>({{"", "A", "", "19"}}));
        QVERIFY(fx->messages.isEmpty());
        QVERIFY(fx->messageBoxes().isEmpty());
        QTRY_COMPARE(fx->messageBoxes(), QStringList({"Exclamation|POP3 Error|POP3 Error: No answer from 127.0.0.1 "
                                                      "within 3 seconds while waiting for message 2 of 3."}));
        QTRY_COMPARE(peer.hangUps(), 1);
        QCOMPARE(screen->lvMessages->itemCount(), 1);
    }

    // A box holds the conversation, whether the machine's notice or one of
    // the screen's own while a message is kept: the server's last answer and
    // its hang-up, both there while the box is up, are heard only once it is
    // closed, and the check ends after it.
    void aBoxHoldsTheConversation_data()
    {
        QTest::addColumn<QByteArrayList>("messages");
        QTest::addColumn<QByteArray>("hangUpAfter");
        QTest::addColumn<QString>("box");  // a pattern
        QTest::newRow("notice") << QByteArrayList{} << QByteArray("QUIT")
                                << R"(Information\|Tessaly 2002\|You have not mail\.)";
        QTest::newRow("keeping fails")
            << QByteArrayList{"Subject: A\r\n\r\none\r\n"} << QByteArray("RETR 1")
            << R"(Critical\|Tessaly 2002\|The message file .*/Data/Mail/tmp/\S+ could not be written: )"
               "No such file or directory";
    }
    void aBoxHoldsTheConversation()
    {
        QFETCH(QByteArrayList, messages);
        QFETCH(QByteArray, hangUpAfter);
        QFETCH(QString, box);
        ScriptedPeer peer("+OK ready\r\n");
        servePop3(peer, messages);
        peer.hangUpAfter = hangUpAfter;
        frmCheckEmail* screen = openCheckScreen(peer.hostBox());
        QVERIFY(QDir(fx->dataDir() + "/Mail/tmp").removeRecursively());  // nothing can be kept
        QSignalSpy finished(screen->Winsock1, &MailConnection::finished);
        QList<int> finishedWhileUp;
        setMsgBoxHandler([&](const MsgBoxCall& call) {
            waitFor([&] { return peer.hangUps() == 1; });
            pump(200);
            finishedWhileUp << int(finished.size());
            fx->messages << call;
            return MsgResult::OK;
        });
        QVERIFY(check(screen));
        QCOMPARE(fx->messageBoxes().size(), 1);
        const QRegularExpression pattern(QRegularExpression::anchoredPattern(box));
        QVERIFY2(pattern.match(fx->messageBoxes()[0]).hasMatch(), qPrintable(fx->messageBoxes()[0]));
        QCOMPARE(finishedWhileUp, QList<int>{0});
        QCOMPARE(finished.size(), 1);
    }

    // Closing the screen as an answer comes in ends the check without a
    // word: one still waiting for the next answer, or one whose box is on
    // its way.
    void closingEndsTheCheck_data()
    {
        QTest::addColumn<QByteArray>("silentAt");
        QTest::addColumn<int>("closeAt");  // lines the peer has read when the answer comes in
        QTest::newRow("waiting") << QByteArray("PASS") << 2;
        QTest::newRow("a box on its way") << QByteArray() << 4;  // the answer to STAT: "You have not mail."
    }
    void closingEndsTheCheck()
    {
        QFETCH(QByteArray, silentAt);
        QFETCH(int, closeAt);
        ScriptedPeer peer("+OK ready\r\n");
        servePop3(peer, {}, silentAt);
        frmCheckEmail* screen = openCheckScreen(peer.hostBox());
        // Runs after the connection's own handler of the same arrival.
        connect(screen->Winsock1->findChild<QSslSocket*>(), &QSslSocket::readyRead, screen, [&] {
            if (peer.lines().size() == closeAt)
                QTest::mouseClick(screen->cmdExit, Qt::LeftButton);
        });
        QTest::mouseClick(screen->cmdCheckMail, Qt::LeftButton);
        QTRY_VERIFY(!Screens::isLoaded<frmCheckEmail>());
        QTRY_COMPARE(peer.hangUps(), 1);
        QTest::qWait(1200);
        QVERIFY(fx->messages.isEmpty());
    }

    // An IMAP server that gives STARTTLS is noted as one, so that its losing it is seen.
    void imapStartTlsIsNoted()
    {
        if (!pop3 || !pop3->imapPort())
            SKIP_OR_FAIL(QStringLiteral("dovecot-imapd is not installed"));
        fx->makeDataFolder();
        storeMailSettings(fx->dbPath(),
                          {"", "", QStringLiteral("%1:%2").arg(pop3->host()).arg(pop3->imapPort()), kUser, kPassword});
        Db::exec(fx->dbPath(), "CREATE TABLE tblEmailIncoming (EmailInfo INTEGER PRIMARY KEY, Kind TEXT NOT NULL);"
                               "INSERT INTO tblEmailIncoming VALUES (1, 'IMAP')");
        frmCheckEmail* screen = Screens::show<frmCheckEmail>();
        QTRY_COMPARE_WITH_TIMEOUT(imapRows(screen->lvMessages).size(), 2, 20000);
        QCOMPARE(Db::joined(fx->dbPath(), QStringLiteral("tblMailStartTls"), {QStringLiteral("Host")}),
                 QStringList(pop3->host()));
    }

    // An IMAP account: the held list at once, then what the server and
    // another reader changed; read, delete, another folder, a folder made anew.
    void imapAccountFollowsTheServer()
    {
        if (!pop3Missing.isEmpty())
            SKIP_OR_FAIL(pop3Missing);
        Pop3TestServer server(kUser, kPassword);
        QString why;
        for (int n = 1; n <= 3; ++n)
            QVERIFY(server.addMessage(QStringLiteral("Subject: m%1\n\nBody %1\n").arg(n).toLatin1()));
        QVERIFY2(server.start(&why), qPrintable(why));
        if (!server.imapPort())
            SKIP_OR_FAIL(QStringLiteral("dovecot-imapd is not installed"));
        const quint16 port = server.imapPort();
        fx->makeDataFolder();
        storeMailSettings(fx->dbPath(), {"", "", QStringLiteral("127.0.0.1:%1").arg(port), kUser, kPassword});
        Db::exec(fx->dbPath(), "CREATE TABLE tblEmailIncoming (EmailInfo INTEGER PRIMARY KEY, Kind TEXT NOT NULL);"
                               "INSERT INTO tblEmailIncoming VALUES (1, 'IMAP')");
        frmCheckEmail* screen = Screens::show<frmCheckEmail>();
        const auto synced = [&] { return QTest::qWaitFor([&] { return screen->imapLink->isIdle(); }, 20000); };
        QTRY_COMPARE(imapRows(screen->lvMessages), QStringList({"m1:Unread", "m2:Unread", "m3:Unread"}));

        // Opened: fetched, kept, and seen on the server.
        screen->lvMessages_ItemClick(0);
        QVERIFY(synced());
        QCOMPARE(screen->txtBody->toPlainText(), "Body 1\n");
        QCOMPARE(imapRows(screen->lvMessages).first(), "m1:");
        QVERIFY(otherImapReader(port, "m.select('INBOX')\nassert b'\\\\Seen' in m.uid('FETCH', '1', 'FLAGS')[1][0]"));

        // Another reader flags one and removes one between our syncs.
        QVERIFY(otherImapReader(port, "m.select('INBOX')\nm.uid('STORE', '3', '+FLAGS', '(\\\\Flagged)')\n"
                                      "m.uid('STORE', '2', '+FLAGS', '(\\\\Deleted)')\nm.expunge()"));
        screen->refresh();
        QVERIFY(synced());
        QCOMPARE(imapRows(screen->lvMessages), QStringList({"m1:", "m3:Unread, Flagged"}));

        // Deleted here: gone on the server too.
        screen->lvMessages->setCurrentIndex(screen->lvMessages->model()->index(1, 0));
        fx->answers << MsgResult::Yes;
        screen->lvMessages_Delete();
        QCOMPARE(fx->messageBoxes(), QStringList("Question|Tessaly 2002|Delete the selected message from the server?"));
        QCOMPARE(imapRows(screen->lvMessages), QStringList{"m1:"});
        QVERIFY(synced());
        QVERIFY(otherImapReader(port, "assert m.select('INBOX')[1] == [b'1']"));

        // Opened again: the held list and body before any network.
        Screens::unload<frmCheckEmail>();
        screen = Screens::show<frmCheckEmail>();
        QCOMPARE(imapRows(screen->lvMessages), QStringList{"m1:"});
        screen->lvMessages_ItemClick(0);
        QCOMPARE(screen->txtBody->toPlainText(), "Body 1\n");
        QVERIFY(synced());

        // Another folder, chosen from the server's list; then made anew there.
        const QString append = QStringLiteral("m.append('Archive', None, None, b'Subject: %1\\r\\n\\r\\nw\\r\\n')");
        QVERIFY(otherImapReader(port, "m.create('Archive')\n" + append.arg("w1")));
        screen->refresh();
        QVERIFY(synced());
        QCOMPARE(screen->cboFolder->count(), 3);
        QCOMPARE(screen->cboFolder->itemText(1) + screen->cboFolder->itemText(2), "ArchiveSent (this computer)");
        screen->cboFolder->setCurrentIndex(1);
        screen->cboFolder_Click();
        QVERIFY(synced());
        QCOMPARE(imapRows(screen->lvMessages), QStringList{"w1:Unread"});
        QVERIFY(otherImapReader(port, "m.delete('Archive')\nm.create('Archive')\n" + append.arg("w2") + "\n"
                                          + append.arg("w3")));
        screen->refresh();
        QVERIFY(synced());
        QCOMPARE(imapRows(screen->lvMessages), QStringList({"w2:Unread", "w3:Unread"}));
        // Both chosen stay chosen when the first opened turns read.
        screen->lvMessages->setCurrentIndex(screen->lvMessages->model()->index(0, 0));
        screen->lvMessages_ItemClick(0);
        screen->lvMessages->selectionModel()->select(screen->lvMessages->model()->index(1, 0),
                                                     QItemSelectionModel::Select | QItemSelectionModel::Rows);
        QVERIFY(synced());
        QCOMPARE(imapRows(screen->lvMessages), QStringList({"w2:", "w3:Unread"}));
        QCOMPARE(screen->lvMessages->selectedRowsFromLast(), QList<int>({1, 0}));

        // Mail another reader puts in the open folder shows by itself, told by the server.
        QVERIFY(otherImapReader(port, append.arg("w4")));
        QTRY_COMPARE_WITH_TIMEOUT(imapRows(screen->lvMessages), QStringList({"w2:", "w3:Unread", "w4:Unread"}), 15000);

        // Moved to INBOX (the one other folder offered): gone here at once, there after its sync
        // (which may follow one the watch started).
        const auto offered = [&](const QString& folder) {
            const QList<QAction*> all = screen->mnuMove->actions();
            const auto a = std::find_if(all.begin(), all.end(), [&](QAction* a) { return a->text() == folder; });
            return a == all.end() ? nullptr : *a;
        };
        QCOMPARE(screen->mnuMove->actions().size(), 1);
        screen->lvMessages->setCurrentIndex(screen->lvMessages->model()->index(2, 0));
        offered("INBOX")->trigger();
        screen->cboFolder_Click();  // the list read again while the move waits
        QCOMPARE(imapRows(screen->lvMessages), QStringList({"w2:", "w3:Unread"}));
        QTRY_VERIFY_WITH_TIMEOUT(
            otherImapReader(port, "m.select('Archive')\nassert m.search(None, 'SUBJECT', 'w4')[1] == "
                                  "[b'']\nm.select('INBOX')\nassert m.search(None, 'SUBJECT', 'w4')[1] == [b'2']"),
            15000);
        screen->cboFolder->setCurrentIndex(0);
        screen->cboFolder_Click();
        QTRY_COMPARE_WITH_TIMEOUT(imapRows(screen->lvMessages), QStringList({"m1:", "w4:Unread"}), 15000);
    }

    // An IMAP folder as conversations (dovecot): the server's answer, threaded
    // by its ids alone, and the answer sent from here stand under the
    // original; the keys open each, Delete takes the one chosen on the server.
    void imapConversations()
    {
        if (!pop3Missing.isEmpty())
            SKIP_OR_FAIL(pop3Missing);
        Pop3TestServer server(kUser, kPassword);
        QString why;
        QVERIFY(server.addMessage("Subject: Plans\nMessage-ID: <m1@x.org>\nDate: Tue, 5 Mar 2002 10:00 +0000\n\nHi\n"));
        QVERIFY(server.addMessage("Subject: Sure\nMessage-ID: <r1@x.org>\nIn-Reply-To: <m1@x.org>\n\nYes\n"));
        QVERIFY2(server.start(&why), qPrintable(why));
        if (!server.imapPort())
            SKIP_OR_FAIL(QStringLiteral("dovecot-imapd is not installed"));
        fx->makeDataFolder();
        storeMailSettings(fx->dbPath(),
                          {"", "", QStringLiteral("127.0.0.1:%1").arg(server.imapPort()), kUser, kPassword});
        Db::exec(fx->dbPath(), "CREATE TABLE tblEmailIncoming (EmailInfo INTEGER PRIMARY KEY, Kind TEXT NOT NULL);"
                               "INSERT INTO tblEmailIncoming VALUES (1, 'IMAP')");
        Connection con;
        con.Open(fx->dbPath());
        MailStore kept;
        kept.open(con, QFileInfo(fx->dbPath()).path() + QStringLiteral("/Mail"));
        const std::unique_ptr<SentCopy> copy = kept.beginSent();
        copy->append(
            "Subject: Re: Plans\r\nIn-Reply-To: <r1@x.org>\r\nDate: Wed, 6 Mar 2002 10:00 +0000\r\n\r\nMine\r\n");
        kept.keepSent(*copy, QStringLiteral("Mine"));
        frmCheckEmail* screen = Screens::show<frmCheckEmail>();
        const auto synced = [&] { return QTest::qWaitFor([&] { return screen->imapLink->isIdle(); }, 20000); };
        QTRY_COMPARE_WITH_TIMEOUT(screen->lvMessages->itemCount(), 2, 20000);
        screen->chkConversations->setChecked(true);
        ConversationView* tree = screen->tvConversations;
        QVERIFY(tree->isVisible() && tree->model()->rowCount() == 1
                && tree->model()->rowCount(tree->model()->index(0, 0)) == 3);
        tree->setCurrentIndex(tree->model()->index(0, 0));
        QTest::keyClick(tree, Qt::Key_Return);
        for (const QString body : {"Hi\n", "Yes\n", "Mine\n"}) {
            QTest::keyClick(tree, Qt::Key_Down);
            QTRY_COMPARE_WITH_TIMEOUT(screen->txtBody->toPlainText(), body, 20000);
            QVERIFY(synced());
        }
        QTest::keyClick(tree, Qt::Key_Up);
        fx->answers << MsgResult::Yes;
        QTest::keyClick(tree, Qt::Key_Delete);
        QCOMPARE(fx->messageBoxes().last(), "Question|Tessaly 2002|Delete the selected message from the server?");
        QVERIFY(synced());
        QTRY_VERIFY_WITH_TIMEOUT(otherImapReader(server.imapPort(), "assert m.select('INBOX')[1] == [b'1']"), 15000);
    }
};

QTEST_MAIN(TestCheckScreen)
#include "test_mail_check.moc"
