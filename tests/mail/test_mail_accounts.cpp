// Several mail accounts: the engine's rules, then two accounts on two real
// dovecot mailboxes and two aiosmtpd servers, each account's mail in its
// own place, sent from the identity chosen, answered from the one written
// to, found by the search and removed whole (with the keyring's entries
// under with-keyring.sh).
#include "MailServers.h"
#include "MailTest.h"
#include "account/frmMailAccounts.h"
#include "support/Require.h"

#include "controls/Buttons.h"
#include "controls/ListView.h"
#include "kit/ConnectionSettings.h"
#include "kit/MailAccounts.h"
#include "kit/Secrets.h"
#include "kit/StoreAccess.h"
#include "mail/MailConnection.h"
#include "mail/frmCheckEmail.h"
#include "mail/frmSendEmail.h"
#include "store/Connection.h"
#include "store/SearchIndex.h"

#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QSslCertificate>
#include <QTest>

namespace {
const QString kSecondPassword = QStringLiteral("bob's pass");

MailAccount workAccount(const QString& remote, const QString& smtp)
{
    MailAccount a;
    a.name = QStringLiteral("Work");
    a.settings.remote = remote;
    a.settings.smtp = smtp;
    a.settings.userName = QStringLiteral("bob");
    a.settings.yourEmail = QStringLiteral("bob@y");
    a.identities = {{QStringLiteral("Bob B"), QStringLiteral("bob@y"), QStringLiteral("Bob")},
                    {QString(), QStringLiteral("sales@y"), QString()}};
    return a;
}

QStringList files(const QString& dir)
{
    return QDir(dir).entryList(QDir::Files);
}
}  // namespace

class TestMailAccounts : public QObject {
    Q_OBJECT

    std::unique_ptr<AppFixture> fx;
    TestCertificates certs;
    std::unique_ptr<Pop3TestServer> first, second;
    QString missing;

    // The first account in tblEmail, a second one beside it with its password kept; its key.
    qint64 storeAccounts(const QString& firstHost, const QString& secondHost, const QString& firstSmtp = {},
                         const QString& secondSmtp = {}, IncomingKind secondKind = IncomingKind::Pop3)
    {
        fx->makeDataFolder();
        storeMailSettings(fx->dbPath(), {firstSmtp, "anna@x", firstHost, "anna", "pass word"});
        Connection con;
        con.Open(fx->dbPath());
        saveIncomingKind(con, 1, secondKind);  // both accounts of one kind
        MailAccount work = workAccount(secondHost, secondSmtp);
        work.settings.incoming = secondKind;
        work.settings.account = MailAccounts::save(con, work, true);
        bool kept = false;
        QObject context;
        MailAccounts::keepPassword(con, work.settings, kSecondPassword, &context,
                                   [&](const Secrets::Answer&) { kept = true; });
        if (!QTest::qWaitFor([&] { return kept; }, 10000))
            return 0;
        return work.settings.account;
    }
    static frmCheckEmail* checkScreenOn(qint64 account)
    {
        QPointer<frmCheckEmail> old = Screens::load<frmCheckEmail>();
        if (old->account() == account)
            return old;
        frmCheckEmail::chooseAccount(account);
        return QTest::qWaitFor([&] { return old.isNull(); }, 5000) ? Screens::load<frmCheckEmail>() : nullptr;
    }
    // A check, once the password is at hand (from the keyring, a moment later), until `rows` are listed.
    static bool check(frmCheckEmail* screen, int rows)
    {
        QTest::mouseClick(screen->cmdCheckMail, Qt::LeftButton);
        return QTest::qWaitFor([=] { return screen->Winsock1->isIdle() && screen->lvMessages->itemCount() == rows; },
                               20000);
    }

private slots:
    void initTestCase()
    {
        QString why;
        QVERIFY2(certs.make(&why), qPrintable(why));
        setConnectionSettings({.extraCaCertificates = QSslCertificate::fromPath(certs.pem(QStringLiteral("ca")))});
        missing = Pop3TestServer::missing() + SmtpTestServer::missing();
        if (!missing.isEmpty())
            return;
        first = std::make_unique<Pop3TestServer>(QStringLiteral("anna"), QStringLiteral("pass word"));
        second = std::make_unique<Pop3TestServer>(QStringLiteral("bob"), kSecondPassword);
        // The same Message-ID in both mailboxes: each account keeps its own.
        QVERIFY(first->addMessage("Message-ID: <same@x>\nFrom: c@x\nTo: anna@x\nSubject: For Anna\n\nhello\n"));
        QVERIFY(second->addMessage("Message-ID: <same@x>\nFrom: c@x\nTo: Sales <SALES@y>\nSubject: For Bob\n\n"
                                   "zebra crossing\n"));
        // One of them in clear on 127.0.0.1: only one may take port 995.
        QVERIFY2(first->start(&why, &certs), qPrintable(why));
        QVERIFY2(second->start(&why), qPrintable(why));
    }
    void init() { fx = std::make_unique<AppFixture>(); }
    void cleanup() { fx.reset(); }

    // The accounts screen adds an account with its identities, changes the
    // first account's identities only, and deletes an account once asked;
    // a deleted account's key is never given again.
    void accountsScreenKeepsThem()
    {
        fx->makeDataFolder();
        storeMailSettings(fx->dbPath(), {"smtp0", "anna@x", "pop0", "anna", ""});
        auto* screen = Screens::show<frmMailAccounts>();
        QVERIFY(!screen->txtName->isEnabled() && !screen->txtHost->isEnabled());
        const auto identity = [&](const QString& name, const QString& address, const QString& signature) {
            screen->txtIdentityName->setText(name);
            screen->txtIdentityAddress->setText(address);
            screen->txtSignature->setPlainText(signature);
            QTest::mouseClick(screen->cmdAddIdentity, Qt::LeftButton);
        };
        identity(QStringLiteral("A"), QStringLiteral("help@x"), QStringLiteral("sig"));
        QTest::mouseClick(screen->cmdSave, Qt::LeftButton);
        for (const QString& name : {QStringLiteral("Work"), QStringLiteral("Gone"), QStringLiteral("Home")}) {
            QTest::mouseClick(screen->cmdNew, Qt::LeftButton);
            screen->txtName->setText(name);
            screen->txtsmtp->setText(QStringLiteral("smtp.y"));
            screen->txtYourEmail->setText(name + QStringLiteral("@y"));
            screen->txtHost->setText(QStringLiteral("imap.y"));
            screen->cboIncoming->setCurrentIndex(1);
            screen->txtEmailUserName->setText(QStringLiteral("bob"));
            screen->cboSignIn->setCurrentIndex(3);
            identity(QStringLiteral("Bob B"), QStringLiteral("sales@y"), QStringLiteral("Bob"));
            QTest::mouseClick(screen->cmdSave, Qt::LeftButton);
            if (name != QLatin1String("Gone"))
                continue;
            fx->answers = {MsgResult::No};
            QTest::mouseClick(screen->cmdDelete, Qt::LeftButton);
            QTest::mouseClick(screen->cmdDelete, Qt::LeftButton);
        }
        QCOMPARE(fx->messageTexts().size(), 2);
        QCOMPARE(Db::joined(fx->dbPath(), QStringLiteral("tblEmailAccount"), {QStringLiteral("Account")}),
                 QStringList({"1", "3"}));
        Connection con;
        con.Open(fx->dbPath());
        const QList<MailAccount> read = MailAccounts::read(con, reportStoreError);
        QStringList shown;
        for (const MailIdentity& i : read[0].identities + read[1].identities)
            shown << i.from() + '|' + i.signature;
        QCOMPARE(shown, QStringList({"anna@x|", "A <help@x>|sig", "Work@y|", "Bob B <sales@y>|Bob"}));
        const MailSettings& w = read[1].settings;
        QCOMPARE(QStringList({read[1].name, w.smtp, w.remote, w.userName}),
                 QStringList({"Work", "smtp.y", "imap.y", "bob"}));
        QVERIFY(w.incoming == IncomingKind::Imap && w.signIn == SignInKind::OAuth2);
        QCOMPARE(mailSecret(w) + '|' + oauthSecret(read[0].settings), QStringLiteral("mail account 1|oauth 1"));
        // An answer to none of the identities comes from the account the mail was fetched for.
        QCOMPARE(MailAccounts::answeringIdentity(read, {"c@x"}, 1), std::pair(qint64(1), 0));
    }

    // The second account's mail from POP3, or held from IMAP.
    void eachAccountKeepsItsMail_data()
    {
        QTest::addColumn<bool>("imap");
        QTest::newRow("POP3") << false;
        QTest::newRow("IMAP") << true;
    }
    void eachAccountKeepsItsMail()
    {
        QFETCH(bool, imap);
        frmCheckEmail::chooseAccount(0);  // as the run before left it
        if (!missing.isEmpty())
            SKIP_OR_FAIL(missing);
        // IMAP in clear on loopback; POP3 of the first account with TLS.
        const auto at = [&](const Pop3TestServer& s, const QString& host) {
            return QStringLiteral("%1:%2")
                .arg(imap ? QStringLiteral("127.0.0.1") : host)
                .arg(imap ? s.imapPort() : s.port());
        };
        const qint64 key = storeAccounts(at(*first, first->host()), at(*second, QStringLiteral("127.0.0.1")), {}, {},
                                         imap ? IncomingKind::Imap : IncomingKind::Pop3);
        frmCheckEmail* screen = Screens::show<frmCheckEmail>();
        QVERIFY(screen->cboAccount->isVisible() && screen->cboAccount->count() == 2);
        QVERIFY(check(screen, 1));
        QCOMPARE(screen->lvMessages->itemText(0, 1), QStringLiteral("For Anna"));

        screen->cboAccount->setCurrentIndex(1);
        emit screen->cboAccount->activated(1);
        screen = checkScreenOn(key);
        QVERIFY(screen);
        QVERIFY(check(screen, 1));
        QCOMPARE(fx->messageBoxes(), QStringList());
        QCOMPARE(screen->lvMessages->itemText(0, 1), QStringLiteral("For Bob"));
        const QString mail = fx->dataDir() + QStringLiteral("/Mail");
        const QString own = mail + QStringLiteral("/Accounts/%1").arg(key);
        QCOMPARE(files(mail + QStringLiteral("/new")).size(), imap ? 0 : 1);
        QCOMPARE(files(own + QStringLiteral("/new")).size(), imap ? 0 : 1);

        // An answer comes from the identity the message was written to.
        screen->lvMessages->setCurrentIndex(screen->lvMessages->model()->index(0, 0));
        screen->lvMessages_ItemClick(0);  // an IMAP body is fetched, kept in its cur/ and indexed
        QVERIFY(QTest::qWaitFor([&] { return screen->cmdReply->isEnabled(); }, 10000));
        QTest::mouseClick(screen->cmdReply, Qt::LeftButton);
        auto* send = Screens::load<frmSendEmail>();
        QCOMPARE(send->cboFrom->currentText(), QStringLiteral("sales@y (Work)"));
        QCOMPARE(send->txtSender->text(), QStringLiteral("sales@y"));
        Screens::unload<frmSendEmail>();

        // The search finds the second account's mail, and opens it there.
        screen = checkScreenOn(0);
        QCOMPARE(screen->lvMessages->itemCount() + screen->cboFolder->count(), imap ? 3 : 1);  // INBOX, Sent
        Connection con;
        con.Open(fx->dbPath());
        // IMAP headers are found once their entries are put, beside the window.
        std::vector<SearchIndex::SearchHit> hits;
        QVERIFY(QTest::qWaitFor(
            [&] { return (hits = SearchIndex::search(con.handle(), QStringLiteral("zebra"))).size() == 1; }, 5000));
        QPointer<frmCheckEmail> old = screen;
        screen->showMessage(hits[0].folder, hits[0].mailKey, hits[0].imap);
        QVERIFY(QTest::qWaitFor([&] { return old.isNull(); }, 5000));
        screen = Screens::load<frmCheckEmail>();
        QCOMPARE(screen->account(), key);
        QCOMPARE(screen->txtBody->toPlainText(), QStringLiteral("zebra crossing\n"));
        Screens::unload<frmCheckEmail>();

        // Removed whole: rows, search entries, files and secrets; the first account's stay.
        MailSettings settings;
        settings.account = key;
        const QString oauth = secretKey(con, oauthSecret(settings)), password = secretKey(con, mailSecret(settings));
        const bool keyring = Secrets::exists();
        QCOMPARE(keyring, qEnvironmentVariableIsSet("TESSALY_TEST_KEYRING"));
        if (keyring) {
            QCOMPARE(Secrets::readNow(password).text, kSecondPassword);
            bool written = false;
            Secrets::write(oauth, QStringLiteral("refresh"), this, [&](const Secrets::Answer&) { written = true; });
            QVERIFY(QTest::qWaitFor([&] { return written; }, 10000));
        }
        MailAccounts::remove(con, key, mail);
        for (const char* table : {"tblEmailAccount", "tblEmailIdentity"})
            QCOMPARE(Db::rows(fx->dbPath(), QLatin1String(table)).size(), 0);
        QCOMPARE(Db::joined(fx->dbPath(), imap ? QStringLiteral("tblImapMessage") : QStringLiteral("tblMailbox"),
                            {QStringLiteral("Subject")}),
                 QStringList{"For Anna"});
        QCOMPARE(SearchIndex::search(con.handle(), QStringLiteral("zebra")).size(), size_t(0));
        QCOMPARE(SearchIndex::search(con.handle(), QStringLiteral("anna")).size(), size_t(1));
        QVERIFY(!QDir(own).exists());
        QCOMPARE(files(mail + QStringLiteral("/new")).size(), imap ? 0 : 1);
        if (keyring)
            for (const QString& secret : {oauth, password})
                QVERIFY2(QTest::qWaitFor([&] { return Secrets::readNow(secret).outcome == Secrets::Outcome::Missing; },
                                         10000),
                         qPrintable(secret));
        QCOMPARE(Screens::show<frmCheckEmail>()->cboAccount->isVisible(), false);
    }

    // The message goes through the chosen identity's account, from its
    // address, with its signature in place of the one before.
    void fromBoxSendsFromTheChosenIdentity()
    {
        if (!missing.isEmpty())
            SKIP_OR_FAIL(missing);
        SmtpTestServer firstSmtp, secondSmtp;
        QString why;
        QVERIFY2(firstSmtp.start(&why), qPrintable(why));
        QVERIFY2(secondSmtp.start(&why), qPrintable(why));
        const auto at = [](const SmtpTestServer& s) { return QStringLiteral("%1:%2").arg(s.host()).arg(s.port()); };
        const qint64 key = storeAccounts({}, {}, at(firstSmtp), at(secondSmtp));
        frmSendEmail* screen = Screens::show<frmSendEmail>();
        QVERIFY(screen->cboFrom->isVisible() && screen->cboFrom->count() == 3);
        screen->txtMessage->setPlainText(QStringLiteral("Hi"));
        screen->chooseFrom(key, 0);
        QCOMPARE(screen->txtMessage->toPlainText(), QStringLiteral("Hi\n-- \nBob"));
        screen->chooseFrom(0, 0);
        QCOMPARE(screen->txtMessage->toPlainText(), QStringLiteral("Hi\n"));
        screen->cboFrom->setCurrentIndex(1);
        emit screen->cboFrom->activated(1);
        QCOMPARE(screen->cboFrom->currentText(), QStringLiteral("Bob B <bob@y> (Work)"));
        screen->txtSubject->setText(QStringLiteral("s"));
        screen->txtRecipient->setText(QStringLiteral("x@z"));
        QTest::mouseClick(screen->cmdSend, Qt::LeftButton);
        QVERIFY(QTest::qWaitFor([&] { return !fx->messages.isEmpty(); }, 20000));
        const QList<SmtpTestServer::Received> got = secondSmtp.waitForMessages(1);
        QCOMPARE(got.size(), 1);
        QCOMPARE(got[0].mailFrom, QByteArray("bob@y"));
        QVERIFY2(got[0].content.contains("\r\nFrom: Bob B <bob@y>\r\nTo: x@z\r\n"), got[0].content.constData());
        QVERIFY2(got[0].content.contains("\r\n\r\nHi\r\n-- \r\nBob"), got[0].content.constData());
        // Its copy is kept with that account's mail.
        QCOMPARE(files(fx->dataDir() + QStringLiteral("/Mail/Accounts/%1/.Sent/new").arg(key)).size(), 1);
    }
};

QTEST_MAIN(TestMailAccounts)
#include "test_mail_accounts.moc"
