// The send screen and the recipient picker, with a real SMTP server where a
// message must really arrive, and with scripted peers for the server's
// refusals, silences and hang-ups.
#include "MailScreenUtil.h"
#include "MailServers.h"
#include "ScriptedPeer.h"

#include "../address/Contacts.h"
#include "shell/frmMain.h"
#include "controls/Buttons.h"
#include "controls/MSFlexGrid.h"
#include "controls/Twips.h"
#include "mail/frmCheckEmail.h"
#include "mail/frmSendEmail.h"
#include "mail/frmTo.h"
#include "mail/SmtpSession.h"

#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString kSent = QStringLiteral("Message sent successfuly.");

QStringList attachmentList(const frmSendEmail *send)
{
    QStringList paths;
    for (int i = 0; i < send->lstAttachments->count(); ++i)
        paths << send->lstAttachments->item(i)->text();
    return paths;
}

QString writeFile(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes)
{
    QFile f(dir.filePath(name));
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(f.fileName()));
    return f.fileName();
}

// GNU uudecode's reading of one block cut out of a stored message.
QByteArray uudecode(const QTemporaryDir &dir, const QByteArray &block, const QString &name)
{
    const QString in = writeFile(dir, name + QStringLiteral(".uu"), block);
    const QString out = dir.filePath(name + QStringLiteral(".out"));
    QProcess p;
    p.start(QStringLiteral("uudecode"), {QStringLiteral("-o"), out, in});
    if (!p.waitForFinished(20000))
        return "uudecode (sharutils) did not run";
    QFile decoded(out);
    return decoded.open(QIODevice::ReadOnly) ? decoded.readAll() : "uudecode wrote nothing";
}

}  // namespace

class TestSendScreen : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<AppFixture> fx;
    std::unique_ptr<SmtpTestServer> smtp;
    QString smtpMissing;

    frmSendEmail *openSendScreen(const QString &host, const QString &sender = QStringLiteral("anna@example.org"))
    {
        fx->makeDataFolder();
        storeMailSettings(fx->dbPath(), host, sender);
        return Screens::show<frmSendEmail>();
    }
    void click(QAbstractButton *button) { QTest::mouseClick(button, Qt::LeftButton); }
    // Opens the picker from the send screen and clicks a row's e-mail cell.
    void pick(frmSendEmail *send, int row)
    {
        click(send->cmdTo);
        frmTo *picker = Screens::load<frmTo>();
        QVERIFY(picker && picker->isVisible());
        clickCell(picker->gridTo, row, 2);
        pump();
    }

private slots:
    void initTestCase()
    {
        smtpMissing = SmtpTestServer::missing();
        if (smtpMissing.isEmpty()) {
            smtp = std::make_unique<SmtpTestServer>();
            QString why;
            QVERIFY2(smtp->start(&why), qPrintable(why));
        }
    }
    void cleanupTestCase() { smtp.reset(); }
    void init() { fx = std::make_unique<AppFixture>(); }
    void cleanup() { fx.reset(); }

    void settingsComeFromTheLastRow()
    {
        fx->makeDataFolder();
        storeMailSettings(fx->dbPath(), QStringLiteral("old.example.org"), QStringLiteral("old@example.org"));
        storeMailSettings(fx->dbPath(), QStringLiteral("smtp.example.org"), QStringLiteral("anna@example.org"));
        frmSendEmail *send = Screens::show<frmSendEmail>();
        QCOMPARE(send->windowTitle(), QStringLiteral("Send Email"));
        QCOMPARE(send->txtHost->text(), QStringLiteral("smtp.example.org"));
        QCOMPARE(send->txtSender->text(), QStringLiteral("anna@example.org"));
        QCOMPARE(send->txtRecipient->text() + send->txtSubject->text() + send->txtMessage->toPlainText(), QString());
        QVERIFY(fx->messages.isEmpty());
    }

    void attachmentListAndNewMessage()
    {
        frmSendEmail *send = openSendScreen(QStringLiteral("smtp.example.org"));
        fx->fileAnswers = {QStringLiteral("/tmp/a.txt"), QStringLiteral("/tmp/b c.bin"), std::nullopt};
        click(send->cmdAddFile);
        click(send->cmdAddFile);
        click(send->cmdAddFile);  // cancelled
        QCOMPARE(fx->fileRequests.size(), 3);
        QCOMPARE(fx->fileRequests[0].kind, FileDialogRequest::Open);
        QCOMPARE(fx->fileRequests[0].filter, QString());
        QCOMPARE(attachmentList(send), QStringList({"/tmp/a.txt", "/tmp/b c.bin"}));

        click(send->cmdRemove);  // nothing selected
        QCOMPARE(attachmentList(send), QStringList({"/tmp/a.txt", "/tmp/b c.bin"}));
        send->lstAttachments->setCurrentRow(0);
        click(send->cmdRemove);
        QCOMPARE(attachmentList(send), QStringList({"/tmp/b c.bin"}));

        QTest::keyClicks(send->txtRecipient, QStringLiteral("bob@example.net"));
        QTest::keyClicks(send->txtSubject, QStringLiteral("Hi"));
        send->txtMessage->setPlainText(QStringLiteral("Text"));
        click(send->cmdNew);
        QCOMPARE(send->txtRecipient->text() + send->txtSubject->text() + send->txtMessage->toPlainText(), QString());
        QCOMPARE(attachmentList(send), QStringList({"/tmp/b c.bin"}));
        QCOMPARE(send->txtHost->text(), QStringLiteral("smtp.example.org"));
        QVERIFY(fx->messages.isEmpty());
    }

    // Recipients picked from the address book, four files, and the server
    // stores exactly what was written, with lines starting with "." stuffed
    // on the way; Send again sends the same files again.
    void messageWithAttachmentsArrives()
    {
        if (!smtp)
            QSKIP(qPrintable(smtpMissing));
        fx->makeDataFolder();
        insertContact(fx->dbPath(), {"Bob", "", "", "", "", "bob@example.net"});
        insertContact(fx->dbPath(), {"Carl", "", "", "", "", "carl@example.com"});
        frmSendEmail *send =
            openSendScreen(QStringLiteral(" 127.0.0.1:%1 ").arg(smtp->port()), QStringLiteral("anna@example.org"));

        pick(send, 1);
        pick(send, 2);
        QCOMPARE(send->txtRecipient->text(), QStringLiteral("bob@example.net; carl@example.com"));

        QTemporaryDir dir;
        // Every byte value, and more than one read slice of the encoder.
        QByteArray allBytes(2 * 1024 * 1024 + 17, Qt::Uninitialized);
        for (qsizetype i = 0; i < allBytes.size(); ++i)
            allBytes[i] = char(i * 7919 >> 3);
        const QList<QPair<QString, QByteArray>> files = {
            {QStringLiteral("empty.bin"), QByteArray()},
            {QStringLiteral("forty-five.bin"), allBytes.right(45)},
            {QStringLiteral("all-bytes.bin"), allBytes},
            {QStringLiteral("fourteen.txt"), QByteArray("fourteen bytes")},  // its data line starts with "."
        };
        for (const auto &[name, bytes] : files) {
            fx->fileAnswers << writeFile(dir, name, bytes);
            click(send->cmdAddFile);
        }
        QTest::keyClicks(send->txtSubject, QStringLiteral(" Files for you"));
        send->txtMessage->setPlainText(QStringLiteral("Hello Bob,\n.the files\n\nAnna"));

        const int before = int(smtp->waitForMessages(0).size());
        click(send->cmdSend);
        QVERIFY2(waitFor([&] { return !fx->messages.isEmpty(); }, 20000), "no message box");
        QCOMPARE(fx->messageTexts(), QStringList({kSent}));
        QCOMPARE(fx->messages[0].icon, MsgIcon::Information);
        QCOMPARE(fx->messages[0].title, QStringLiteral("Tessaly 2002"));

        const QList<SmtpTestServer::Received> got = smtp->waitForMessages(before + 1);
        QCOMPARE(got.size(), before + 1);
        const SmtpTestServer::Received &r = got.last();
        QCOMPARE(r.helo, QByteArray("anna"));
        QCOMPARE(r.mailFrom, QByteArray("anna@example.org"));
        QCOMPARE(r.rcptTos, QByteArrayList({"bob@example.net", "carl@example.com"}));

        // The date is the clock's, as the session tests spell it.
        const QString date = QString::fromLatin1(SmtpSession::rfc5322Date(AppFixture::defaultNow()));
        const QRegularExpression head(
            "^Subject: Files for you\r\n"
            "From: anna@example.org\r\n"
            "To: bob@example.net, carl@example.com\r\n"
            "Date: " + QRegularExpression::escape(date) + "\r\n"
            "Message-ID: <\\d{14}\\.[0-9a-f]{16}@example\\.org>\r\n"
            "\r\n"
            "Hello Bob,\r\n"
            "\\.the files\r\n"
            "\r\n"
            "Anna\r\n"
            "\r\n"
            "begin 664 empty.bin\r\n`\r\n`\r\nend\r\n\r\n"
            "begin 664 forty-five.bin\r\nM");
        QVERIFY2(head.match(QString::fromLatin1(r.content)).hasMatch(), r.content.left(500).constData());
        QVERIFY(r.content.endsWith("`\r\nend\r\n\r\n\r\n"));

        qsizetype from = 0;
        for (const auto &[name, bytes] : files) {
            const qsizetype start = r.content.indexOf("begin 664 " + name.toLatin1() + "\r\n", from);
            QVERIFY2(start >= 0, qPrintable(name));
            from = r.content.indexOf("\r\nend\r\n", start) + 7;
            QCOMPARE(uudecode(dir, r.content.mid(start, from - start), name), bytes);
        }

        // The screen keeps everything for another Send, which encodes the files afresh.
        QCOMPARE(attachmentList(send).size(), 4);
        QCOMPARE(send->lstAttachments->currentRow(), 3);
        click(send->cmdSend);
        QVERIFY(waitFor([&] { return fx->messages.size() == 2; }, 20000));
        QCOMPARE(fx->messageTexts(), QStringList({kSent, kSent}));
        const QList<SmtpTestServer::Received> again = smtp->waitForMessages(before + 2);
        QCOMPARE(again.size(), before + 2);
        const auto bodyOf = [](const QByteArray &m) { return m.mid(m.indexOf("\r\n\r\n")); };
        QCOMPARE(bodyOf(again.last().content), bodyOf(r.content));
    }

    void unreadableAttachmentStopsTheSend()
    {
        ScriptedPeer peer("220 ready\r\n");
        frmSendEmail *send = openSendScreen(peer.hostBox());
        QTemporaryDir dir;
        const QString good = writeFile(dir, QStringLiteral("good.txt"), "abc");
        const QString missing = dir.filePath(QStringLiteral("gone.txt"));
        for (const QString &path : {good, missing, good}) {
            fx->fileAnswers << path;
            click(send->cmdAddFile);
        }
        click(send->cmdSend);
        pump(300);
        QCOMPARE(fx->messageTexts(),
                 QStringList({"The file " + missing + " cannot be attached: No such file or directory"}));
        QCOMPARE(fx->messages[0].icon, MsgIcon::Exclamation);
        QCOMPARE(fx->messages[0].title, QStringLiteral("Tessaly 2002"));
        QCOMPARE(send->lstAttachments->currentRow(), 1);
        QCOMPARE(peer.connections(), 0);
    }

    // A refusal, a hang-up and a server that is not there each reach the
    // user once, with the socket closed, and the next Send starts afresh.
    void serverTroubleIsReported_data()
    {
        QTest::addColumn<QByteArray>("greeting");  // empty: nobody listens
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("title");
        QTest::addColumn<MsgIcon>("icon");
        QTest::newRow("greeting refused") << QByteArray("554 go away\r\n") << "SMTP Error: 554 go away\r\n"
                                          << "SMTP Error" << MsgIcon::Information;
        QTest::newRow("hang-up after the data")
            << QByteArray("220 hi\r\n") << "SMTP Error: The server closed the connection before the message was accepted."
            << "SMTP Error" << MsgIcon::Information;
        QTest::newRow("nobody listening") << QByteArray() << "Winsock Error number 0\r\nConnection refused"
                                          << "Winsock Error" << MsgIcon::Exclamation;
    }
    void serverTroubleIsReported()
    {
        QFETCH(QByteArray, greeting);
        QFETCH(QString, text);
        QFETCH(QString, title);
        QFETCH(MsgIcon, icon);
        ScriptedPeer peer(greeting);
        bool inData = false;
        peer.answer = [&](const QByteArray &line) -> QByteArray {
            if (inData)
                return line == ".\r\n" ? ScriptedPeer::kHangUp : QByteArray();
            inData = line.startsWith("DATA");
            return inData ? "354 go on\r\n" : "250 ok\r\n";
        };
        frmSendEmail *send = openSendScreen(greeting.isEmpty() ? QStringLiteral("127.0.0.1:%1").arg(freeLoopbackPort())
                                                               : peer.hostBox());
        QTest::keyClicks(send->txtRecipient, QStringLiteral("bob@example.net"));
        click(send->cmdSend);
        QVERIFY(waitFor([&] { return !fx->messages.isEmpty(); }));
        pump(200);
        QCOMPARE(fx->messageTexts(), QStringList({text}));
        QCOMPARE(fx->messages[0].title, title);
        QCOMPARE(fx->messages[0].icon, icon);
        QCOMPARE(send->Winsock1->state(), QAbstractSocket::UnconnectedState);

        inData = false;
        click(send->cmdSend);
        QVERIFY(waitFor([&] { return fx->messages.size() == 2; }));
        QCOMPARE(fx->messages[1].text, text);
    }

    // A second Send, or closing the screen, ends a session that still runs;
    // the abandoned session says nothing.
    void runningSessionIsEndedQuietly()
    {
        ScriptedPeer peer("220 slow\r\n");  // and then never another word
        frmSendEmail *send = openSendScreen(peer.hostBox());
        click(send->cmdSend);
        QVERIFY(waitFor([&] { return peer.lines().size() == 1; }));
        QCOMPARE(peer.lines(), QByteArrayList({"HELO anna\r\n"}));

        click(send->cmdSend);
        QVERIFY(waitFor([&] { return peer.hangUps() == 1 && peer.lines().size() == 2; }));
        QCOMPARE(peer.connections(), 2);

        click(send->cmdClose);
        QVERIFY(waitFor([&] { return peer.hangUps() == 2; }));
        QVERIFY(!Screens::isLoaded<frmSendEmail>());
        pump(200);
        QVERIFY(fx->messages.isEmpty());
    }

    void pickerListsEveryContact()
    {
        fx->makeDataFolder();
        insertContact(fx->dbPath(), {"Sam", "", "", "", "", "sam@x.org"});
        insertContact(fx->dbPath(), {"", "NoName"});
        insertContact(fx->dbPath(), {"Ann", "", "", "", "", "ann@x.org"});
        frmTo *picker = Screens::show<frmTo>();
        QCOMPARE(picker->windowTitle(), QStringLiteral("To"));
        QVERIFY(!picker->isChildWindow());
        MSFlexGrid *grid = picker->gridTo;
        QList<QStringList> rows;
        for (int r = 0; r < grid->Rows(); ++r)
            rows << QStringList{grid->TextMatrix(r, 0), grid->TextMatrix(r, 1), grid->TextMatrix(r, 2)};
        QCOMPARE(rows, QList<QStringList>({{"No.", "First Name", "Email"},
                                           {"1", "Sam", "sam@x.org"},
                                           {"2", "", ""},
                                           {"3", "Ann", "ann@x.org"}}));
        QCOMPARE(grid->item(2, 0)->textAlignment(), int(Qt::AlignLeft | Qt::AlignTop));
        QCOMPARE(grid->geometry(), QRect(twips(50), twips(50), picker->width() - twips(200),
                                         picker->height() - twips(200)));
    }

    // Each pick appends with "; ", nothing is checked, the picker closes;
    // a click on the heading or into an empty grid picks nothing.
    void picksAppendToTheRecipients()
    {
        frmSendEmail *send = openSendScreen(QStringLiteral("smtp.example.org"));
        insertContact(fx->dbPath(), {"Sam", "", "", "", "", "sam@x.org"});
        insertContact(fx->dbPath(), {"Nobody"});
        for (int row : {1, 1, 2}) {
            pick(send, row);
            QVERIFY(!Screens::isLoaded<frmTo>());
        }
        QCOMPARE(send->txtRecipient->text(), QStringLiteral("sam@x.org; sam@x.org; "));

        click(send->cmdTo);
        clickCell(Screens::load<frmTo>()->gridTo, 0, 2);
        pump();
        QVERIFY(Screens::isLoaded<frmTo>());
        QCOMPARE(send->txtRecipient->text(), QStringLiteral("sam@x.org; sam@x.org; "));
        Screens::unload<frmTo>();

        Db::exec(fx->dbPath(), QStringLiteral("DELETE FROM tblAddress"));
        click(send->cmdTo);
        frmTo *empty = Screens::load<frmTo>();
        QCOMPARE(empty->gridTo->Rows(), 1);
        clickCell(empty->gridTo, 0, 1);
        QTest::mouseClick(empty->gridTo->viewport(), Qt::LeftButton, {}, QPoint(20, empty->gridTo->viewport()->height() - 5));
        pump();
        QVERIFY(Screens::isLoaded<frmTo>());
        QCOMPARE(send->txtRecipient->text(), QStringLiteral("sam@x.org; sam@x.org; "));
        QVERIFY(fx->messages.isEmpty());
    }

    void pickerClosesItsConnection()
    {
        fx->makeDataFolder();
        const int before = openHandles(fx->dbPath());
        Screens::show<frmTo>();
        QCOMPARE(openHandles(fx->dbPath()), before + 1);
        // Closed by the unload itself, not later when the window object goes.
        Screens::unload<frmTo>();
        QCOMPARE(openHandles(fx->dbPath()), before);
    }

    // The tool buttons open the mail screens inside the work area and close
    // them as the table of the main window says.
    void toolButtonsOpenAndCloseTheMailScreens_data()
    {
        QTest::addColumn<QString>("tool");
        QTest::addColumn<bool>("sendStays");
        QTest::addColumn<bool>("checkStays");
        QTest::newRow("email") << "cmdEmail" << true << true;
        QTest::newRow("check email") << "cmdCheckEmail" << false << true;
        QTest::newRow("address book") << "cmdAddressBook" << false << false;
        QTest::newRow("note") << "cmdNote" << false << false;
        QTest::newRow("organizer") << "cmdOrganizer" << true << true;
        QTest::newRow("calculator") << "cmdCalculator" << true << true;
    }
    void toolButtonsOpenAndCloseTheMailScreens()
    {
        QFETCH(QString, tool);
        QFETCH(bool, sendStays);
        QFETCH(bool, checkStays);
        frmMain *main = fx->openMainWindow();
        click(main->cmdEmail);
        frmSendEmail *send = Screens::load<frmSendEmail>();
        auto *sub = qobject_cast<QMdiSubWindow *>(send->parentWidget());
        QVERIFY(sub && sub->mdiArea() == main->mdiArea());
        // At its designed size, in the dialog colour rather than the blue around it.
        QCOMPARE(send->size(), QSize(twips(9210), twips(6105)));
        QCOMPARE(send->palette().color(QPalette::Window), QApplication::palette().color(QPalette::Window));
        click(main->cmdCheckEmail);
        QVERIFY(!Screens::isLoaded<frmSendEmail>());
        frmCheckEmail *check = Screens::load<frmCheckEmail>();
        sub = qobject_cast<QMdiSubWindow *>(check->parentWidget());
        QVERIFY(sub && sub->mdiArea() == main->mdiArea());
        QCOMPARE(check->size(), QSize(twips(7365), twips(5490)));
        QCOMPARE(main->mdiArea()->activeSubWindow(), sub);
        QTest::keyClicks(Screens::show<frmSendEmail>()->txtSubject, QStringLiteral("kept"));

        click(main->findChild<asxToolButton *>(tool));
        pump();
        QCOMPARE(Screens::isLoaded<frmSendEmail>(), sendStays);
        QCOMPARE(Screens::isLoaded<frmCheckEmail>(), checkStays);
        if (sendStays)
            QCOMPARE(Screens::load<frmSendEmail>()->txtSubject->text(), QStringLiteral("kept"));
    }
};

QTEST_MAIN(TestSendScreen)
#include "tst_mail_sendscreen.moc"
