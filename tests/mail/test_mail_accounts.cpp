// Several mail accounts: the engine's rules, then two accounts on two real
// dovecot mailboxes and two aiosmtpd servers, each account's mail in its
// own place, sent from the identity chosen, answered from the one written
// to, found by the search and removed whole (with the keyring's entries
// under with-keyring.sh).
#include "MailServers.h"
#include "MailTest.h"
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
                         const QString& secondSmtp = {})
    {
        fx->makeDataFolder();
        storeMailSettings(fx->dbPath(), {firstSmtp, "anna@x", firstHost, "anna", "pass word"});
        Connection con;
        con.Open(fx->dbPath());
        MailAccount work = workAccount(secondHost, secondSmtp);
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
    void cleanupTestCase()
    {
        first.reset();
        second.reset();
    }
    void init() { fx = std::make_unique<AppFixture>(); }
    void cleanup() { fx.reset(); }

    void identitiesAndKeys()
    {
        const MailAccount work = workAccount({}, {});
        QCOMPARE(work.identities[0].from(), QStringLiteral("Bob B <bob@y>"));
        QCOMPARE((MailIdentity{QStringLiteral("B, \"Bob\""), QStringLiteral("b@y"), {}}.from()),
                 QStringLiteral("\"B, \\\"Bob\\\"\" <b@y>"));
        QCOMPARE(work.identities[1].from(), QStringLiteral("sales@y"));
        QCOMPARE(MailAccounts::splitMailKey(MailAccounts::mailKeyPrefix(12) + "u1"),
                 std::pair(qint64(12), QString("u1")));
        QCOMPARE(MailAccounts::splitMailKey(QStringLiteral("12u1")), std::pair(qint64(0), QString("12u1")));
        QCOMPARE(MailAccounts::splitMailKey(QStringLiteral("\x01x\x01u")), std::pair(qint64(0), QString("\x01x\x01u")));
        MailAccount other = work;
        other.key = 7;
        const QList<MailAccount> accounts{MailAccount{}, other};
        using Pick = std::pair<qint64, int>;
        QCOMPARE(MailAccounts::answeringIdentity(accounts, {"c@x", " Sales@Y"}, 0), Pick(7, 1));
        QCOMPARE(MailAccounts::answeringIdentity(accounts, {"c@x", ""}, 7), Pick(7, 0));
        QCOMPARE(MailAccounts::answeringIdentity(accounts, {}, 0), Pick(0, 0));
    }

    // Settings, sign-in and identities come back as saved; the first
    // account's own address needs no row, a second identity of it does.
    void accountsAreKept()
    {
        fx->makeDataFolder();
        storeMailSettings(fx->dbPath(), {"smtp0", "anna@x", "pop0", "anna", ""});
        Connection con;
        con.Open(fx->dbPath());
        MailAccount work = workAccount(QStringLiteral("imap.y"), QStringLiteral("smtp.y"));
        work.settings.incoming = IncomingKind::Imap;
        work.settings.mimeAttachments = true;
        work.settings.signIn = SignInKind::OAuth2;
        work.settings.oauth = oauthPreset(OAuthProviderKind::Custom);
        work.settings.oauth.tokenUrl = QUrl(QStringLiteral("https://t.y/token"));
        const qint64 key = MailAccounts::save(con, work, true);
        MailAccount first;
        first.identities = {{QString(), QStringLiteral("anna@x"), QString()},
                            {QStringLiteral("A"), QStringLiteral("help@x"), QStringLiteral("sig")}};
        MailAccounts::save(con, first, false);
        // A removed account's key is never given again.
        MailAccounts::remove(con, MailAccounts::save(con, work, true), fx->dataDir());

        const QList<MailAccount> read = MailAccounts::read(con, reportStoreError);
        QCOMPARE(read.size(), 2);
        QCOMPARE(read[0].settings.remote + read[0].name, QStringLiteral("pop0anna@x"));
        QCOMPARE(read[0].identities.size(), 2);
        QCOMPARE(read[0].identities[1].from() + read[0].identities[1].signature, QStringLiteral("A <help@x>sig"));
        const MailAccount& w = read[1];
        QCOMPARE(w.key, key);
        QCOMPARE(w.settings.account, key);
        QCOMPARE(w.name + w.settings.remote + w.settings.smtp + w.settings.userName,
                 QStringLiteral("Workimap.ysmtp.ybob"));
        QVERIFY(w.settings.incoming == IncomingKind::Imap && w.settings.mimeAttachments);
        QVERIFY(w.settings.signIn == SignInKind::OAuth2);
        QCOMPARE(w.settings.oauth.tokenUrl, work.settings.oauth.tokenUrl);
        QCOMPARE(w.identities.size(), 2);
        QCOMPARE(w.identities[0].signature + w.identities[1].address, QStringLiteral("Bobsales@y"));
        QCOMPARE(mailSecret(w.settings) + '|' + oauthSecret(read[0].settings),
                 QStringLiteral("mail account %1|oauth 1").arg(key));
        work.key = key;
        work.name = QStringLiteral("Renamed");
        work.identities.removeLast();
        MailAccounts::save(con, work, false);
        QCOMPARE(MailAccounts::find(con, key, reportStoreError)->name, QStringLiteral("Renamed"));
        QCOMPARE(MailAccounts::find(con, key, reportStoreError)->identities.size(), 1);
        QCOMPARE(Db::rows(fx->dbPath(), QStringLiteral("tblEmail")).size(), 1);
    }

    void eachAccountKeepsItsMail()
    {
        if (!missing.isEmpty())
            SKIP_OR_FAIL(missing);
        const auto at = [](const Pop3TestServer& s) { return QStringLiteral("%1:%2").arg(s.host()).arg(s.port()); };
        const qint64 key = storeAccounts(at(*first), QStringLiteral("127.0.0.1:%1").arg(second->port()));
        QVERIFY(key > 0);
        frmCheckEmail* screen = Screens::show<frmCheckEmail>();
        QVERIFY(screen->cboAccount->isVisible());
        QCOMPARE(screen->cboAccount->count(), 2);
        QCOMPARE(screen->cboAccount->itemText(1), QStringLiteral("Work"));
        QVERIFY(check(screen, 1));
        QCOMPARE(screen->lvMessages->itemText(0, 1), QStringLiteral("For Anna"));

        screen->cboAccount->setCurrentIndex(1);
        emit screen->cboAccount->activated(1);
        screen = checkScreenOn(key);
        QVERIFY(screen);
        QCOMPARE(screen->account(), key);
        QCOMPARE(screen->lvMessages->itemCount(), 0);
        QVERIFY(check(screen, 1));
        QCOMPARE(fx->messageBoxes(), QStringList());
        QCOMPARE(screen->lvMessages->itemText(0, 1), QStringLiteral("For Bob"));
        const QString mail = fx->dataDir() + QStringLiteral("/Mail");
        const QString own = mail + QStringLiteral("/Accounts/%1").arg(key);
        QCOMPARE(files(mail + QStringLiteral("/new")).size(), 1);
        QCOMPARE(files(own + QStringLiteral("/new")).size(), 1);

        // An answer comes from the identity the message was written to.
        screen->lvMessages->setCurrentIndex(screen->lvMessages->model()->index(0, 0));
        screen->lvMessages_ItemClick(0);
        QTest::mouseClick(screen->cmdReply, Qt::LeftButton);
        auto* send = Screens::load<frmSendEmail>();
        QCOMPARE(send->cboFrom->currentText(), QStringLiteral("sales@y (Work)"));
        QCOMPARE(send->txtSender->text(), QStringLiteral("sales@y"));
        Screens::unload<frmSendEmail>();

        // The search finds the second account's mail, and opens it there.
        screen = checkScreenOn(0);
        QVERIFY(screen);
        Connection con;
        con.Open(fx->dbPath());
        auto hits = SearchIndex::search(con.handle(), QStringLiteral("zebra"));
        QCOMPARE(hits.size(), size_t(1));
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
        if (keyring) {
            QCOMPARE(Secrets::readNow(password).text, kSecondPassword);
            bool written = false;
            Secrets::write(oauth, QStringLiteral("refresh"), this, [&](const Secrets::Answer&) { written = true; });
            QVERIFY(QTest::qWaitFor([&] { return written; }, 10000));
        } else {
            QVERIFY(!qEnvironmentVariableIsSet("TESSALY_TEST_KEYRING"));
        }
        MailAccounts::remove(con, key, mail);
        for (const char* table : {"tblEmailAccount", "tblEmailIdentity"})
            QCOMPARE(Db::rows(fx->dbPath(), QLatin1String(table)).size(), 0);
        QCOMPARE(Db::joined(fx->dbPath(), QStringLiteral("tblMailbox"), {QStringLiteral("Subject")}),
                 QStringList{"For Anna"});
        QCOMPARE(SearchIndex::search(con.handle(), QStringLiteral("zebra")).size(), size_t(0));
        QCOMPARE(SearchIndex::search(con.handle(), QStringLiteral("anna")).size(), size_t(1));
        QVERIFY(!QDir(own).exists());
        QCOMPARE(files(mail + QStringLiteral("/new")).size(), 1);
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
        QVERIFY(screen->cboFrom->isVisible());
        QCOMPARE(screen->cboFrom->count(), 3);
        QCOMPARE(screen->cboFrom->currentText(), QStringLiteral("anna@x (anna@x)"));
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
        QCOMPARE(firstSmtp.waitForMessages(1, 200).size(), 0);
        // Its copy is kept with that account's mail.
        const QString sent = fx->dataDir() + QStringLiteral("/Mail/Accounts/%1/.Sent/new").arg(key);
        QCOMPARE(files(sent).size(), 1);
        Connection con;
        con.Open(fx->dbPath());
        MailStore store;
        store.open(con, fx->dataDir() + QStringLiteral("/Mail"), MailAccounts::mailFolder(key),
                   MailAccounts::mailKeyPrefix(key));
        QCOMPARE(store.messages(MailFolder::Sent).size(), 1);
        QCOMPARE(store.raw(store.messages(MailFolder::Sent)[0].key), got[0].content);
    }
};

QTEST_MAIN(TestMailAccounts)
#include "test_mail_accounts.moc"
