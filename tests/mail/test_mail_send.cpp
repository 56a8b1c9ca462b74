// The send screen and the recipient picker: what their controls do, one
// message through a real SMTP server in clear, with STARTTLS and login, and
// with TLS from the first byte; refused certificates; servers falling silent.
#include "MailServers.h"
#include "MailTest.h"
#include "ScriptedPeer.h"
#include "support/Files.h"
#include "support/Require.h"
#include "support/Run.h"

#include "controls/Buttons.h"
#include "controls/ListView.h"
#include "controls/MSFlexGrid.h"
#include "controls/PasswordPrompt.h"
#include "kit/ConnectionSettings.h"
#include "kit/MailSettings.h"
#include "mail/AddressCompletion.h"
#include "mail/MailConnection.h"
#include "mail/SmtpSession.h"
#include "mail/frmCheckEmail.h"
#include "mail/frmSendEmail.h"
#include "mail/frmTo.h"
#include "store/Connection.h"
#include "store/SearchIndex.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSslCertificate>
#include <QTemporaryDir>
#include <QTest>

using namespace std::chrono_literals;

#ifdef __SANITIZE_ADDRESS__
// Freed blocks wait in the sanitizer's quarantine (256 MB of them by
// default) before they are used again, so a Send that streams 40 MB through
// would look as if it kept them all. A few MB of quarantine still catch a
// use after free.
extern "C" const char* __asan_default_options()
{
    return "quarantine_size_mb=4";
}
#endif

namespace {

const QString kSent = QStringLiteral("Information|Tessaly 2002|Message sent successfuly.");

// What Python's own mail parser reads in a message: its type, the text, and
// for each attachment its name, type, encoding, bytes (hex) and longest line.
const char kReadMessage[] = R"PY(import email, email.policy, sys
sys.stdout.reconfigure(encoding='utf-8')
m = email.message_from_bytes(open(sys.argv[1], 'rb').read(), policy=email.policy.default)
print(m.get_content_type(), repr(m.get_body(('plain',)).get_content()))
for a in m.iter_attachments():
    print(a.get_filename(), a.get_content_type(), a['Content-Transfer-Encoding'], a.get_payload(decode=True).hex(),
          max(map(len, a.get_payload().splitlines()), default=0))
)PY";

}  // namespace

class TestSendScreen : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<AppFixture> fx;
    TestCertificates certs;
    QString missing;

    frmSendEmail* openSendScreen(const QString& host, bool mimeAttachments = false)
    {
        fx->makeDataFolder();
        storeMailSettings(fx->dbPath(), {"old", "old@x", "", "", ""});
        storeMailSettings(fx->dbPath(), {host, "anna@example.org", "", "anna", "pass word"});
        Connection con;
        con.Open(fx->dbPath());
        saveAttachmentForm(con, 2, mimeAttachments);
        return Screens::show<frmSendEmail>();
    }
    // Sends what the boxes hold and waits for the one message box.
    QStringList send(frmSendEmail* screen, const QString& to = QStringLiteral("bob@example.net"))
    {
        screen->txtRecipient->setText(to);
        QTest::mouseClick(screen->cmdSend, Qt::LeftButton);
        if (!QTest::qWaitFor([&] { return !fx->messages.isEmpty(); }, 20000))
            return {"no message box"};
        return fx->messageBoxes();
    }

private slots:
    void initTestCase()
    {
        missing = SmtpTestServer::missing();
        QString why;
        QVERIFY2(certs.make(&why), qPrintable(why));
        setConnectionSettings({.extraCaCertificates = QSslCertificate::fromPath(certs.pem(QStringLiteral("ca")))});
    }
    void init() { fx = std::make_unique<AppFixture>(); }
    void cleanup()
    {
        fx.reset();
        setConnectionSettings({.extraCaCertificates = connectionSettings().extraCaCertificates});
    }

    // Files are listed as chosen, Remove takes the selected one, New empties
    // the three boxes; picks from the address book join the recipients.
    // The address book's recipients for what is typed: by first, last or
    // whole name or address, letter case aside, % and _ as letters, only
    // contacts with an address.
    void completion()
    {
        fx->makeDataFolder();
        Db::exec(fx->dbPath(),
                 "INSERT INTO tblAddress (FirstName, LastName, Email) VALUES ('Ann', 'Lee', 'ann@x.org'), "
                 "('Bo', 'Annson', 'bo@y.org'), ('Cy', '', ''), ('50%', 'Off', 'sale@z.org'), "
                 "('Ann', 'Bell', 'a.bell@x.org')");
        Connection con;
        con.Open(fx->dbPath());
        const std::pair<const char*, const char*> rows[] = {
            {"an", "Ann Bell <a.bell@x.org>|Ann Lee <ann@x.org>|Bo Annson <bo@y.org>"},
            {"ann l", "Ann Lee <ann@x.org>"},
            {"BO@", "Bo Annson <bo@y.org>"},
            {"cy", ""},
            {"50%", "50% Off <sale@z.org>"},
            {"5%", ""},
            {" ", ""}};
        for (const auto& [typed, shown] : rows) {
            QStringList got;
            for (const AddressCompletion::Match& m : AddressCompletion::matching(con, QString::fromUtf8(typed)))
                got << m.shown;
            QCOMPARE(got.join(u'|'), QString::fromUtf8(shown));
        }
        QCOMPARE(AddressCompletion::matching(con, "a", 2).size(), 2);
        QCOMPARE(AddressCompletion::typedPart("x@y; Ann L"), "Ann L");
        QCOMPARE(AddressCompletion::withCompleted("x@y, ann", "ann@x.org"), "x@y; ann@x.org");
        QCOMPARE(AddressCompletion::withCompleted("ann", "ann@x.org"), "ann@x.org");
    }

    void controls()
    {
        frmSendEmail* screen = openSendScreen(QStringLiteral("smtp.example.org"));
        fx->fileAnswers = {QStringLiteral("/tmp/a.txt"), QStringLiteral("/tmp/b.bin"), std::nullopt};
        for (int i = 0; i < 3; ++i)
            QTest::mouseClick(screen->cmdAddFile, Qt::LeftButton);
        screen->lstAttachments->setCurrentRow(0);
        QTest::mouseClick(screen->cmdRemove, Qt::LeftButton);
        QCOMPARE(screen->lstAttachments->count(), 1);
        QCOMPARE(screen->lstAttachments->item(0)->text(), QStringLiteral("/tmp/b.bin"));
        screen->txtSubject->setText(QStringLiteral("s"));
        screen->txtMessage->setPlainText(QStringLiteral("m"));

        Db::exec(fx->dbPath(),
                 QStringLiteral(
                     "INSERT INTO tblAddress (FirstName, Email) VALUES ('Sam', 'sam@x.org'), ('Ann', 'ann@x.org')"));
        for (int row : {2, 1}) {
            QTest::mouseClick(screen->cmdTo, Qt::LeftButton);
            MSFlexGrid* grid = Screens::load<frmTo>()->gridTo;
            if (row == 2)
                QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                                  grid->visualRect(grid->model()->index(row, 2)).center());
            else  // by keyboard: the picker opens on the first contact
                QTest::keyClick(grid, Qt::Key_Return);
            QVERIFY(!Screens::isLoaded<frmTo>());
        }
        QCOMPARE(screen->txtRecipient->text(), QStringLiteral("ann@x.org; sam@x.org"));
        // Typed, the contacts that start so are offered; one is taken by keyboard.
        screen->txtRecipient->setText(QStringLiteral("ann@x.org,"));
        QTest::keyClicks(screen->txtRecipient, QStringLiteral(" s"));
        QAbstractItemView* offered = screen->findChild<QCompleter*>()->popup();
        QTRY_VERIFY(offered->isVisible());
        QCOMPARE(offered->model()->rowCount(), 1);
        QCOMPARE(offered->model()->index(0, 0).data().toString(), QStringLiteral("Sam <sam@x.org>"));
        QTest::keyClick(offered, Qt::Key_Down);
        QTest::keyClick(offered, Qt::Key_Return);
        QCOMPARE(screen->txtRecipient->text(), QStringLiteral("ann@x.org; sam@x.org"));
        QTest::mouseClick(screen->cmdNew, Qt::LeftButton);
        QCOMPARE(screen->txtRecipient->text() + screen->txtSubject->text() + screen->txtMessage->toPlainText(),
                 QString());
        QCOMPARE(screen->lstAttachments->count(), 1);
    }

    void unreadableAttachmentStopsTheSend()
    {
        ScriptedPeer peer("220 ready\r\n");
        frmSendEmail* screen = openSendScreen(peer.hostBox());
        QTemporaryDir dir;
        fx->fileAnswers = {fileIn(dir.path(), QStringLiteral("good"), "abc"), dir.filePath(QStringLiteral("gone")),
                           fileIn(dir.path(), QStringLiteral("good2"), "abc")};
        for (int i = 0; i < 3; ++i)
            QTest::mouseClick(screen->cmdAddFile, Qt::LeftButton);
        QCOMPARE(send(screen), QStringList("Exclamation|Tessaly 2002|The file " + dir.filePath(QStringLiteral("gone"))
                                           + " cannot be attached: No such file or directory"));
        QCOMPARE(screen->lstAttachments->currentRow(), 1);
        QCOMPARE(peer.connections(), 0);
    }

    // A password not at hand: without a keyring (another computer) the first
    // send asks for it and keeps it in its column; under
    // with-slow-keyring.sh the keyring answers after 8 s, the wait shows with
    // Cancel, the window works on meanwhile, and the keyring's password goes
    // out, never one in clear. An empty one is never sent.
    void aPasswordNotAtHandIsWaitedForOrAsked()
    {
        if (!missing.isEmpty())
            SKIP_OR_FAIL(missing);
        const bool slow = qEnvironmentVariableIsSet("TESSALY_TEST_SLOW_KEYRING");
        SmtpTestServer smtp;
        QString why;
        QVERIFY2(smtp.start(&why, QStringLiteral("starttls"), &certs, QStringLiteral("good"), 587), qPrintable(why));
        fx->makeDataFolder();
        storeMailSettings(fx->dbPath(), {smtp.host() + ":587", "anna@example.org", "", "anna", ""});
        frmSendEmail* screen = Screens::show<frmSendEmail>();
        screen->txtRecipient->setText(QStringLiteral("bob@example.net"));
        for (const bool cancel : {true, false}) {
            QTest::mouseClick(screen->cmdSend, Qt::LeftButton);
            PasswordPrompt* prompt = visibleWindow<PasswordPrompt>();
            QVERIFY(prompt && prompt->lblPrompt->text().startsWith("Waiting for the keyring")
                    && !prompt->cmdOK->isVisible());
            if (cancel)
                QTest::mouseClick(prompt->cmdCancel, Qt::LeftButton);
        }
        if (slow) {
            QTest::qWait(2000);
            QTest::keyClicks(screen->txtSubject, QStringLiteral("typed meanwhile"));
            QVERIFY(screen->txtSubject->text() == "typed meanwhile" && fx->messages.isEmpty());
        } else {
            PasswordPrompt* prompt = nullptr;
            QVERIFY(QTest::qWaitFor(
                [&] { return (prompt = visibleWindow<PasswordPrompt>()) && prompt->cmdOK->isVisible(); }));
            QVERIFY(!prompt->cmdOK->isEnabled() && smtp.logins().isEmpty());
            QTest::keyClicks(prompt->txtPassword, QStringLiteral("pass word"));
            QTest::mouseClick(prompt->cmdOK, Qt::LeftButton);
        }
        QVERIFY(QTest::qWaitFor([&] { return !fx->messages.isEmpty(); }, 20000));
        QCOMPARE(fx->messageBoxes(), QStringList{kSent});
        QCOMPARE(smtp.logins(), QByteArrayList{"PLAIN anna"});
        QCOMPARE(Db::rows(fx->dbPath(), QStringLiteral("tblEmail"))[0]["Password"].toString(),
                 slow ? QString() : QStringLiteral("pass word"));
    }

    // In clear, over STARTTLS with a login on the submission port, and with
    // TLS from the first byte: the server stores what was written, byte for
    // byte as GNU uudecode reads the attachment (in clear, one that goes out
    // in several slices as the socket takes them).
    void messageArrives_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<int>("port");
        QTest::addColumn<QByteArrayList>("logins");
        QTest::addColumn<int>("kilobytes");
        QTest::newRow("clear") << "plain" << 0 << QByteArrayList() << 3000;
        // Big enough that a send which encrypts faster than the server
        // reads, with nothing held back, would show in the peak.
        QTest::newRow("STARTTLS on 587") << "starttls" << 587 << QByteArrayList{"PLAIN anna"} << 40 * 1024;
        QTest::newRow("TLS on 465") << "implicit" << 465 << QByteArrayList{"PLAIN anna"} << 300;
    }
    void messageArrives()
    {
        QFETCH(QString, mode);
        QFETCH(int, port);
        QFETCH(QByteArrayList, logins);
        QFETCH(int, kilobytes);
        if (!missing.isEmpty())
            SKIP_OR_FAIL(missing);
        SmtpTestServer smtp;
        QString why;
        QVERIFY2(smtp.start(&why, mode, &certs, QStringLiteral("good"), port), qPrintable(why));
        frmSendEmail* screen = openSendScreen(QStringLiteral("%1:%2").arg(smtp.host()).arg(smtp.port()));
        QTemporaryDir dir;
        QByteArray bytes(kilobytes * 1024, Qt::Uninitialized);
        for (qsizetype i = 0; i < bytes.size(); ++i)
            bytes[i] = char(i * 7919 >> 3);
        fx->fileAnswers << fileIn(dir.path(), QStringLiteral("all.bin"), bytes);
        QTest::mouseClick(screen->cmdAddFile, Qt::LeftButton);
        screen->txtSubject->setText(QStringLiteral("Grüße"));
        screen->txtMessage->setPlainText(QStringLiteral("Hello,\n.the file"));
        screen->txtRecipient->setText(QStringLiteral("bob@example.net; carl@example.com"));
        const qint64 grown = peakGrowth([&] {
            QTest::mouseClick(screen->cmdSend, Qt::LeftButton);
            QVERIFY(!screen->cmdSend->isEnabled() && screen->prgSend->isVisible());
            QVERIFY(QTest::qWaitFor([&] { return !fx->messages.isEmpty(); }, 60000));
        });
        QCOMPARE(fx->messageBoxes(), QStringList{kSent});
        // The file and the message are streamed, whatever their size.
        QVERIFY2(grown < kBoundedGrowthKb, qPrintable(QString::number(grown)));
        // A POP3 account's send has no copy on the server to speak of.
        QVERIFY(screen->cmdSend->isEnabled() && !screen->prgSend->isVisible() && screen->lblStatus->isHidden());
        QCOMPARE(screen->prgSend->value(), screen->prgSend->maximum());
        QCOMPARE(smtp.logins(), logins);

        const QList<SmtpTestServer::Received> got = smtp.waitForMessages(1);
        QCOMPARE(got.size(), 1);
        QVERIFY2(got[0].helo == "[127.0.0.1]" || (got[0].helo.contains('.') && !got[0].helo.contains('@')),
                 got[0].helo);
        QCOMPARE(got[0].mailFrom, QByteArray("anna@example.org"));
        QCOMPARE(got[0].rcptTos, QByteArrayList({"bob@example.net", "carl@example.com"}));
        const QByteArray& c = got[0].content;
        QVERIFY2(c.startsWith("Subject: =?UTF-8?B?R3LDvMOfZQ==?=\r\nFrom: anna@example.org\r\nTo: bob@example.net, "
                              "carl@example.com\r\n"
                              "Date: "
                              + SmtpSession::rfc5322Date(AppFixture::defaultNow()) + "\r\nMessage-ID: <"),
                 c.left(300).constData());
        const qsizetype begin = c.indexOf("\r\n\r\nHello,\r\n.the file\r\n\r\nbegin 664 all.bin\r\n") + 25;
        QVERIFY(begin > 25);
        const QString uu = dir.filePath(QStringLiteral("all.uu")), out = dir.filePath(QStringLiteral("out"));
        QVERIFY(writeFile(uu, c.mid(begin)));
        QCOMPARE(run(QStringLiteral("uudecode"), {QStringLiteral("-o"), out, uu}), 0);
        QCOMPARE(readFile(out), bytes);
        // The Sent folder holds what the server took, byte for byte.
        const QString kept = Db::rows(fx->dbPath(), QStringLiteral("tblMailbox")).value(0).value("FileName").toString();
        QCOMPARE(kept.left(10) + readFile(fx->dataDir() + "/Mail/" + kept), ".Sent/new/" + c);
    }

    // A message the server refuses stays in the boxes and is kept nowhere.
    // Sent again to one that takes it, with MIME parts chosen in the
    // settings: another mail reader finds each file byte for byte under its
    // name (not ASCII, empty, binary), and the check screen lists it under Sent.
    void mimeAttachmentsAndTheSentFolder()
    {
        if (!missing.isEmpty())
            SKIP_OR_FAIL(missing);
        SmtpTestServer refusing, taking;
        QString why;
        QVERIFY2(refusing.start(&why, QStringLiteral("refuse")) && taking.start(&why), qPrintable(why));
        frmSendEmail* screen = openSendScreen(QStringLiteral("127.0.0.1:%1").arg(refusing.port()), true);
        QTemporaryDir dir;
        QByteArray binary;
        for (int i = 0; i < 3000; ++i)
            binary += char(i * 131 >> 2);
        fx->fileAnswers = {fileIn(dir.path(), QStringLiteral("Grüße €.txt"), ".dot\n"),
                           fileIn(dir.path(), QStringLiteral("empty"), ""),
                           fileIn(dir.path(), QStringLiteral("bild.png"), binary)};
        for (int i = 0; i < 3; ++i)
            QTest::mouseClick(screen->cmdAddFile, Qt::LeftButton);
        screen->txtSubject->setText(QStringLiteral("Hi"));
        screen->txtMessage->setPlainText(QStringLiteral("Schöne Grüße\n.end"));
        QCOMPARE(send(screen), QStringList("Information|SMTP Error|SMTP Error: 554 5.6.0 Refused\r\n"));
        QCOMPARE(screen->txtSubject->text() + screen->txtMessage->toPlainText()
                     + screen->lstAttachments->item(2)->text(),
                 "HiSchöne Grüße\n.end" + dir.filePath("bild.png"));
        QCOMPARE(filesIn(fx->dataDir() + "/Mail/.Sent/tmp") + filesIn(fx->dataDir() + "/Mail/.Sent/new"),
                 QStringList());
        QCOMPARE(Db::rows(fx->dbPath(), QStringLiteral("tblMailbox")).size(), 0);

        fx->messages.clear();
        screen->txtHost->setText(QStringLiteral("127.0.0.1:%1").arg(taking.port()));
        QCOMPARE(send(screen), QStringList{kSent});
        const QList<SmtpTestServer::Received> got = taking.waitForMessages(1);
        QVERIFY(got.size() == 1 && writeFile(dir.filePath("got.eml"), got[0].content));
        QString read;
        QCOMPARE(run(QStringLiteral("/usr/bin/python3"), {"-c", kReadMessage, dir.filePath("got.eml")}, &read), 0);
        QCOMPARE(read.split('\n'),
                 QStringList({"multipart/mixed 'Schöne Grüße\\r\\n.end'", "Grüße €.txt text/plain base64 2e646f740a 8",
                              "empty application/octet-stream base64  0",
                              "bild.png image/png base64 " + binary.toHex() + " 76", ""}));
        QVERIFY(got[0].content.contains("filename*=UTF-8''Gr%C3%BC%C3%9Fe%20%E2%82%AC.txt"));
        frmCheckEmail* check = Screens::show<frmCheckEmail>();
        QCOMPARE(check->lvMessages->itemCount(), 0);
        QTest::mouseClick(check->optSent, Qt::LeftButton);
        QCOMPARE(check->lvMessages->itemText(0, 0) + '|' + check->lvMessages->itemText(0, 1), "anna@example.org|Hi");
        check->lvMessages_ItemClick(0);
        QCOMPARE(check->txtBody->toPlainText() + check->lstAttachments->item(2)->text(),
                 "Schöne Grüße\n.endbild.png (3000 bytes)");
        // The search finds it by its text.
        Connection con;
        con.Open(fx->dbPath());
        const auto hits = SearchIndex::search(con.handle(), QStringLiteral("schöne"));
        QVERIFY(hits.size() == 1 && hits[0].folder == "Sent");
    }

    // With an IMAP account what the server took goes to its Sent folder too (the
    // one marked \Sent before one named so), as kept here; a server without
    // one gets none, and the message still counts as sent.
    void sentCopyOnTheImapServer()
    {
        if (!missing.isEmpty())
            SKIP_OR_FAIL(missing);
        SmtpTestServer smtp;
        Pop3TestServer dovecot(QStringLiteral("anna"), QStringLiteral("pass word"));
        dovecot.setExtraConfig(
            "namespace inbox {\n inbox = yes\n mailbox \"Sent Messages\" {\n special_use = \\Sent\n}\n}\n");
        QString why;
        QVERIFY2(smtp.start(&why) && dovecot.start(&why), qPrintable(why));
        if (!dovecot.imapPort())
            SKIP_OR_FAIL(QStringLiteral("dovecot-imapd is not installed"));
        fx->makeDataFolder();
        storeMailSettings(fx->dbPath(), {QStringLiteral("127.0.0.1:%1").arg(smtp.port()), "anna@example.org",
                                         QStringLiteral("127.0.0.1:%1").arg(dovecot.imapPort()), "anna", "pass word"});
        Db::exec(fx->dbPath(), "CREATE TABLE tblEmailIncoming (EmailInfo INTEGER PRIMARY KEY, Kind TEXT NOT NULL);"
                               "INSERT INTO tblEmailIncoming VALUES (1, 'IMAP')");
        frmSendEmail* screen = Screens::show<frmSendEmail>();
        const auto sent = [&] {
            fx->messages.clear();
            const auto copied = [&] {
                return screen->lblStatus->isVisible() && !screen->lblStatus->text().endsWith("...");
            };
            return send(screen) == QStringList{kSent} && QTest::qWaitFor(copied, 20000);
        };
        QVERIFY(sent());
        QCOMPARE(screen->lblStatus->text(), "Sent; kept on this computer only: the server has no Sent folder");
        QVERIFY(otherImapReader(dovecot.imapPort(), "m.create('Sent')\nm.create('\"Sent Messages\"')"));
        QVERIFY(sent());
        QCOMPARE(screen->lblStatus->text(), "Sent. A copy is in the server's folder Sent Messages.");
        const QString kept =
            fx->dataDir() + "/Mail/" + Db::rows(fx->dbPath(), "tblMailbox").value(1).value("FileName").toString();
        QVERIFY(
            otherImapReader(dovecot.imapPort(), "assert m.select('Sent')[1] == [b'0']\nm.select('\"Sent Messages\"')\n"
                                                "t, d = m.fetch('1:*', '(FLAGS BODY.PEEK[])')\nassert len(d) == 2, d\n"
                                                "assert b'\\\\Seen' in d[0][0] and d[0][1] == open('"
                                                    + kept + "', 'rb').read(), d"));
    }

    // A certificate for another name or from an unknown authority: the
    // user is told which and why, and no login and no message go out.
    void refusedCertificate_data()
    {
        QTest::addColumn<QString>("cert");
        QTest::addColumn<QString>("reason");
        QTest::newRow("other name") << "wrongname"
                                    << "The host name did not match any of the valid hosts for this certificate.";
        QTest::newRow("unknown authority")
            << "unknownca"
            << "The issuer certificate of a locally looked up certificate could not be found; "
               "No certificates could be verified.";
    }
    void refusedCertificate()
    {
        QFETCH(QString, cert);
        QFETCH(QString, reason);
        if (!missing.isEmpty())
            SKIP_OR_FAIL(missing);
        SmtpTestServer smtp;
        QString why;
        QVERIFY2(smtp.start(&why, QStringLiteral("starttls"), &certs, cert), qPrintable(why));
        frmSendEmail* screen = openSendScreen(QStringLiteral("127.0.0.1:%1").arg(smtp.port()));
        QCOMPARE(send(screen),
                 QStringList("Information|SMTP Error|SMTP Error: The secure connection to 127.0.0.1 failed: " + reason
                             + " Nothing was sent."));
        QTest::qWait(300);
        QCOMPARE(smtp.logins(), QByteArrayList());
        QCOMPARE(smtp.waitForMessages(1, 0).size(), 0);
        QVERIFY(screen->cmdSend->isEnabled());
    }

    // Falling silent after the greeting, after RCPT or inside the message
    // ends the session at the time limit, naming the host and the wait.
    void silentServer_data()
    {
        QTest::addColumn<QByteArray>("silentAfter");
        QTest::addColumn<QString>("waiting");
        QTest::newRow("greeting") << QByteArray("EHLO") << "the reply to EHLO";
        QTest::newRow("RCPT") << QByteArray("RCPT") << "the reply to RCPT TO";
        QTest::newRow("message") << QByteArray("DATA") << "the reply to the message";
    }
    void silentServer()
    {
        QFETCH(QByteArray, silentAfter);
        QFETCH(QString, waiting);
        setConnectionSettings({1s, 1s, connectionSettings().extraCaCertificates});
        ScriptedPeer peer("220 hi\r\n");
        bool silent = false;
        peer.answer = [&](const QByteArray& line) -> QByteArray {
            if (silent || (line.startsWith(silentAfter) && silentAfter != "DATA"))
                return {};
            silent = line.startsWith("DATA");
            return silent ? "354 go on\r\n" : "250 ok\r\n";
        };
        frmSendEmail* screen = openSendScreen(peer.hostBox());
        QCOMPARE(send(screen),
                 QStringList(
                     "Information|SMTP Error|SMTP Error: No answer from 127.0.0.1 within 1 seconds while waiting for "
                     + waiting + "."));
        QTRY_COMPARE(peer.hangUps(), 1);
        QVERIFY(screen->cmdSend->isEnabled());
    }

    // Closing the screen ends a session that still runs, without a word.
    void closingEndsTheSession()
    {
        ScriptedPeer peer("220 slow\r\n");
        frmSendEmail* screen = openSendScreen(peer.hostBox());
        QTest::mouseClick(screen->cmdSend, Qt::LeftButton);
        QTRY_COMPARE(peer.lines().size(), 1);
        QTest::mouseClick(screen->cmdSend, Qt::LeftButton);  // disabled: still one conversation
        QTest::mouseClick(screen->cmdClose, Qt::LeftButton);
        QVERIFY(!Screens::isLoaded<frmSendEmail>());
        QTRY_COMPARE(peer.hangUps(), 1);
        QCOMPARE(peer.connections(), 1);
        QTest::qWait(1200);
        QVERIFY(fx->messages.isEmpty());
    }
};

QTEST_MAIN(TestSendScreen)
#include "test_mail_send.moc"
