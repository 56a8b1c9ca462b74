#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <unistd.h>

#include "account/PasswordHash.h"
#include "account/frmChangeInfo.h"
#include "account/frmChangePass.h"
#include "account/frmLogin.h"
#include "account/frmPassInfo.h"
#include "controls/Buttons.h"
#include "kit/AppFolder.h"
#include "kit/MailSettings.h"
#include "kit/Secrets.h"
#include "kit/StoreAccess.h"
#include "shell/frmMain.h"
#include "store/Backup.h"
#include "store/Connection.h"
#include "store/Recordset.h"
#include "support/Files.h"
#include "support/Fixture.h"
#include "sync/SyncSettings.h"
#include "window/SavingProgress.h"
#include "window/SignInSettings.h"

namespace {
const QString kInvalid = QStringLiteral("Critical|Login|Invalid User Name or Password, try again!");
const QString kToldWhere("Information|Tessaly 2002|No keyring answers on this desktop, so the mail password is kept in "
                         "the file %1.");
}  // namespace

// The account screens: who gets in, and what setup, change of password and
// the e-mail settings store.
class TestAccount : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<AppFixture> fx;
    bool keyring = false;  // run twice by ctest: without a keyring and with one

    // What the Password column holds for `password`, and the password the mail screens get.
    QString column(const QString& password) const { return keyring ? QString() : password; }
    QString mailPassword() const
    {
        Connection con;
        con.Open(fx->dbPath());
        const MailSettings s = readMailSettings(con, reportStoreError).value_or(MailSettings{});
        QString found = s.password;
        // The keyring takes what was saved in its own time.
        (void)QTest::qWaitFor([&] { return !(found = readSecretNow(con, mailSecret(s.key)).text).isEmpty(); }, 5000);
        return s.password.isEmpty() ? found : s.password;
    }
    QString toldWhere() const { return kToldWhere.arg(fx->dbPath()); }

    void addAccount(const QString& user, const QString& password)
    {
        Db::exec(fx->dbPath(), QStringLiteral("INSERT INTO tblPass (UserName, Password) VALUES ('%1', '%2')")
                                   .arg(user, hashPassword(password)));
    }
    QStringList rows(const char* table, const QStringList& fields) const
    {
        return Db::joined(fx->dbPath(), QLatin1String(table), fields);
    }
    // Starts the program; `script` runs on the modal screen it shows first,
    // which is closed after it if still open.
    template <class Screen>
    frmMain* start(const std::function<void(Screen*)>& script)
    {
        bool ran = false;
        QTimer::singleShot(0, [&] {
            if (Screen* screen = visibleWindow<Screen>()) {
                ran = true;
                script(screen);
                Screens::unload<Screen>();
            }
        });
        frmMain* main = Screens::show<frmMain>();
        return ran ? main : nullptr;
    }
    static bool locked(frmMain* main)
    {
        return !main->button("cmdNote")->isEnabled() && !main->command("mnuChangePass")->isEnabled();
    }
    static void login(frmLogin* screen, const QString& user, const QString& password)
    {
        screen->txtUserName->setText(user);
        screen->txtPassword->setText(password);
        QTest::mouseClick(screen->cmdLogin, Qt::LeftButton);
    }

private slots:
    void init()
    {
        fx = std::make_unique<AppFixture>();
        fx->makeDataFolder();
        keyring = Secrets::exists();
        QCOMPARE(keyring, qEnvironmentVariableIsSet("TESSALY_TEST_KEYRING"));
    }
    void cleanup() { fx.reset(); }

    // Only the first account counts, compared exactly as typed; Enter in the
    // password box is the login button.
    void loginChecksTheFirstAccountExactly_data()
    {
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("accepted");
        for (const auto& [row, user, password, accepted] : {std::tuple{"right", "anna", "Secret", true},
                                                            {"name in capitals", "ANNA", "Secret", false},
                                                            {"password case", "anna", "secret", false},
                                                            {"trailing blank", "anna", "Secret ", false},
                                                            {"second account", "bert", "other", false}})
            QTest::newRow(row) << QString(user) << QString(password) << accepted;
    }
    void loginChecksTheFirstAccountExactly()
    {
        QFETCH(QString, user);
        QFETCH(QString, password);
        QFETCH(bool, accepted);
        addAccount(QStringLiteral("anna"), QStringLiteral("Secret"));
        addAccount(QStringLiteral("bert"), QStringLiteral("other"));
        fx->writeMarker();
        bool stillOpen = false;
        frmMain* main = start<frmLogin>([&](frmLogin* screen) {
            screen->txtUserName->setText(user);
            QTest::keyClicks(screen->txtPassword, password);
            QTest::keyClick(screen->txtPassword, Qt::Key_Return);
            stillOpen = Screens::isLoaded<frmLogin>() && screen->txtUserName->selectedText() == user;
        });
        QVERIFY(main);
        QCOMPARE(stillOpen, !accepted);
        QCOMPARE(fx->messageBoxes(), accepted ? QStringList() : QStringList{kInvalid});
        QCOMPARE(locked(main), !accepted);
    }

    // Exit leaves only with both boxes empty; a filled box keeps the login up.
    void exitLocksOnlyWhenBothBoxesAreEmpty()
    {
        addAccount(QStringLiteral("anna"), QStringLiteral("Secret"));
        fx->writeMarker();
        bool stayed = false;
        frmMain* main = start<frmLogin>([&](frmLogin* screen) {
            QTest::keyClicks(screen->txtUserName, QStringLiteral("anna"));
            QTest::mouseClick(screen->cmdExit, Qt::LeftButton);
            stayed = Screens::isLoaded<frmLogin>();
            screen->txtUserName->clear();
            QTest::mouseClick(screen->cmdExit, Qt::LeftButton);
        });
        QVERIFY(stayed);
        QVERIFY(locked(main));
    }

    void loginWithoutAnAccountSaysSoAndLocks()
    {
        fx->writeMarker();
        frmMain* main =
            start<frmLogin>([](frmLogin* screen) { login(screen, QStringLiteral("anna"), QStringLiteral("x")); });
        QCOMPARE(fx->messageBoxes(), QStringList{"Critical|Login|No user account is stored in the database, so the "
                                                 "login cannot be checked. The program stays locked."});
        QVERIFY(locked(main));
    }

    // The account half stores the trimmed name, a hash of the trimmed
    // password and the marker; its confirmation may differ in case only.
    void setupStoresTheAccountAndTheMarker()
    {
        QVERIFY(start<frmPassInfo>([](frmPassInfo* s) {
            s->txtUserName->setText(QStringLiteral("  anna lee "));
            s->txtPass->setText(QStringLiteral(" Secret "));
            s->txtRePass->setText(QStringLiteral(" Secret"));
            QTest::mouseClick(s->cmdOkay, Qt::LeftButton);
            s->txtRePass->setText(QStringLiteral(" sECRET "));
            QTest::mouseClick(s->cmdOkay, Qt::LeftButton);
        }));
        QCOMPARE(fx->messageBoxes(), QStringList({"Critical|Incorrect|not equal", "Information|Tessaly 2002|Saved"}));
        const QList<QVariantMap> accounts = Db::rows(fx->dbPath(), QStringLiteral("tblPass"));
        QCOMPARE(accounts.size(), 1);
        QCOMPARE(accounts[0][QStringLiteral("UserName")], QVariant(QStringLiteral("anna lee")));
        QVERIFY(verifyPassword(QStringLiteral("Secret"), accounts[0][QStringLiteral("Password")]));
        QVERIFY(!verifyPassword(QStringLiteral("sECRET"), accounts[0][QStringLiteral("Password")]));
        QCOMPARE(readFile(fx->dataDir() + QStringLiteral("/Pass.dat")), QByteArray("Pass\r\n"));
    }

    // The e-mail half inserts a row per save; its help buttons explain the hosts.
    void setupStoresTheMailSettings()
    {
        QVERIFY(start<frmPassInfo>([](frmPassInfo* s) {
            s->txtsmtp->setText(QStringLiteral(" smtp.example.org "));
            s->txtYourEmail->setText(QStringLiteral("anna@example.org"));
            s->txtHost->setText(QStringLiteral("pop.example.org  "));
            s->EmailUserName->setText(QStringLiteral(" anna"));
            s->txtPassword->setText(QStringLiteral(" pop pass "));
            QTest::mouseClick(s->cmdSave, Qt::LeftButton);
            QTest::mouseClick(s->cmdSMTPhelp, Qt::LeftButton);
            QTest::mouseClick(s->cmdRemoteHelp, Qt::LeftButton);
        }));
        QCOMPARE(rows("tblEmail", {"EmailInfo", "SMTP", "YourEmail", "Remote", "UserName", "Password"}),
                 QStringList{"1|smtp.example.org|anna@example.org|pop.example.org|anna|" + column("pop pass")});
        QCOMPARE(mailPassword(), QStringLiteral("pop pass"));
        QCOMPARE(fx->messageBoxes(),
                 QStringList({keyring ? QString() : toldWhere(), "Information|Tessaly 2002|Saved",
                              "None|Tessaly 2002|This will send email.SMTP : mail.myprovider.net.?",
                              "None|Tessaly 2002|This will check your email.Remote mail.myprovider.net.?"})
                     .filter("|"));
        QVERIFY(!QFile::exists(fx->dataDir() + QStringLiteral("/Pass.dat")));
    }

    // The new pair is stored only once the current one is proved; the
    // second account stays as it was.
    void changeOfPasswordNeedsTheCurrentPair()
    {
        addAccount(QStringLiteral("alice"), QStringLiteral("Secret1"));
        addAccount(QStringLiteral("bob"), QStringLiteral("other"));
        const QString bob = rows("tblPass", {"UserName", "Password"}).at(1);
        frmMain* main = start<frmPassInfo>([](frmPassInfo*) {});
        main->command("mnuChangePass")->trigger();
        auto* form = visibleWindow<frmChangePass>();
        for (const char* password : {"secret1", "Secret1"}) {
            form->txtcurrentUserName->setText(QStringLiteral("alice"));
            form->txtCurrentPass->setText(QLatin1String(password));
            QTest::mouseClick(form->cmdTest, Qt::LeftButton);
        }
        QCOMPARE(fx->messages.size(), 1);
        form->txtUserName->setText(QStringLiteral("  alicia "));
        QTest::keyClicks(form->txtPass, QStringLiteral(" NewPass "));
        QTest::keyClicks(form->txtRePass, QStringLiteral(" newpass "));
        QTest::mouseClick(form->cmdOkay, Qt::LeftButton);
        QCOMPARE(fx->messageBoxes().value(1), QStringLiteral("Information|Change Password|Has been Change"));
        QVERIFY(!Screens::isLoaded<frmChangePass>());
        const QList<QVariantMap> accounts = Db::rows(fx->dbPath(), QStringLiteral("tblPass"));
        QCOMPARE(accounts[0][QStringLiteral("UserName")], QVariant(QStringLiteral("alicia")));
        QVERIFY(verifyPassword(QStringLiteral("NewPass"), accounts[0][QStringLiteral("Password")]));
        QCOMPARE(rows("tblPass", {"UserName", "Password"}).at(1), bob);
    }

    // Secrets are named by the store, not by where it lies: a moved folder
    // finds them, and an older entry named by the path is found once and
    // re-keyed.
    void secretsFollowTheStore()
    {
        if (!keyring)
            QSKIP("needs the keyring of with-keyring.sh");
        const QString byPath = "sync (" + fx->dbPath() + ")";
        bool written = false;
        Secrets::write(byPath, QStringLiteral("old pw"), this, [&](const Secrets::Answer&) { written = true; });
        QTRY_VERIFY(written);
        {
            Connection con;
            con.Open(fx->dbPath());
            QCOMPARE(readSecretNow(con, QStringLiteral("sync")).text, QStringLiteral("old pw"));
        }
        QTRY_COMPARE(Secrets::readNow(byPath).outcome, Secrets::Outcome::Missing);
        QTemporaryDir moved;
        QVERIFY(QFile::rename(fx->dbPath(), moved.filePath(QStringLiteral("Tessaly.mdb"))));
        Connection con;
        con.Open(moved.filePath(QStringLiteral("Tessaly.mdb")));
        QCOMPARE(readSecretNow(con, QStringLiteral("sync")).text, QStringLiteral("old pw"));
    }

    // Passwords that move to the keyring leave the daily copies too, bytes
    // and all (a copy whose rows no longer hold them may still have them in
    // its free space), and no later copy holds them; a copy that cannot be
    // rewritten is said. Without a keyring the copies keep them, as the store does.
    void movedPasswordsLeaveTheBackups_data()
    {
        QTest::addColumn<bool>("saved");
        QTest::newRow("found in the column when read") << false;
        QTest::newRow("the column emptied by a save") << true;
    }
    void movedPasswordsLeaveTheBackups()
    {
        QFETCH(bool, saved);
        const QByteArray mail = "mail-clear-Pw7", sync = "sync-clear-Pw8";
        // Each before another row, so what a delete frees stays in the page as it was.
        Db::exec(fx->dbPath(), "INSERT INTO tblEmail (SMTP, UserName, Password) VALUES ('s', 'u', 'mail-clear-Pw7'),"
                               "('s2', 'u2', '');"
                               "CREATE TABLE IF NOT EXISTS tblSyncSettings (Name TEXT PRIMARY KEY, Value TEXT);"
                               "INSERT INTO tblSyncSettings VALUES ('Password', 'sync-clear-Pw8'), ('Server', 'h')");
        const QString folder = AppFolder::backupFolder();
        const QDate day(2026, 5, 10);
        const QString first = Backup::daily(fx->dbPath(), folder, day);
        const auto named = [&](const char* date) {
            return QDir(folder).filePath(QStringLiteral("Tessaly-%1.mdb").arg(date));
        };
        const QString slack = named("2026-05-01"), readOnly = named("2026-05-02"), broken = named("2026-05-03");
        QVERIFY(QFile::copy(first, slack) && QFile::copy(first, readOnly));
        Db::exec(slack, "PRAGMA secure_delete=OFF; DELETE FROM tblEmail WHERE EmailInfo = 1;"
                        "DELETE FROM tblSyncSettings WHERE Name = 'Password'");
        QVERIFY(QFile::setPermissions(readOnly, QFile::ReadOwner));
        if (QFile f(broken); f.open(QIODevice::WriteOnly))
            f.write(QByteArray(4096, 'x'));  // not a database
        const auto holds = [&](const QString& path) {
            QFile f(path);
            const QByteArray bytes = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
            return bytes.contains(mail) || bytes.contains(sync);
        };
        QVERIFY(holds(first) && holds(slack) && holds(readOnly));
        const QDateTime taken = QFileInfo(first).lastModified();
        {
            Connection con;
            con.Open(fx->dbPath());
            if (saved) {
                Recordset rs;
                rs.Open(con, QStringLiteral("SELECT * FROM tblEmail WHERE EmailInfo = ?"), {qint64(1)});
                saveMailRow(con, rs, QStringLiteral("typed"), this, [](const Secrets::Answer&) {});
                SyncStore::writeSettings(con, {"h", "u", "typed"}, this, [](const Secrets::Answer&) {});
            } else {
                QVERIFY(readMailSettings(con, reportStoreError));
                (void)SyncStore::readSettings(con);
            }
        }
        const bool writable = ::geteuid() == 0;  // the superuser writes a read-only file all the same
        // Each move says which copies kept it, once all are done.
        QTRY_COMPARE(fx->messageBoxes().size(), keyring ? 2 : 0);  // the mail move and the sync move
        QStringList left;
        for (const QString& path : writable ? QStringList{broken} : QStringList{readOnly, broken})
            left << "The backup " + QDir::toNativeSeparators(path)
                        + " still holds a password that has moved to the keyring: ";
        for (const QString& box : fx->messageBoxes())
            for (const QString& copy : left)
                QVERIFY2(box.startsWith("Critical|") && box.contains(copy), qPrintable(box));
        QCOMPARE(holds(first) || holds(slack), !keyring);
        QCOMPARE(Db::joined(first, "tblEmail", {"Password"}), QStringList({keyring ? "" : mail, ""}));
        QCOMPARE(holds(readOnly), !keyring || !writable);
        QCOMPARE(QFileInfo(first).lastModified(), taken);  // still the day's copy of the store as it was
        // A copy taken later holds none of what the store held before (a save put "typed" in its place).
        QCOMPARE(holds(Backup::daily(fx->dbPath(), folder, day.addDays(1))), !keyring && !saved);
    }

    // The settings screen shows the last row and saves into it; with no row
    // it inserts one, which later saves change.
    void mailSettingsChangeTheLastRow()
    {
        const QStringList fields = {"EmailInfo", "SMTP", "YourEmail", "Remote", "UserName", "Password"};
        frmMain* main = start<frmPassInfo>([](frmPassInfo*) {});
        main->command("mnuChangeInfo")->trigger();
        auto* form = visibleWindow<frmChangeInfo>();
        form->txtsmtp->setText(QStringLiteral("smtp.a.net"));
        form->spnMessageLimit->setValue(200);
        QTest::mouseClick(form->cmdSave, Qt::LeftButton);
        QCOMPARE(rows("tblEmail", fields), QStringList{"1|smtp.a.net||||"});
        QCOMPARE(rows("tblEmailMessageLimit", {"Id", "Megabytes"}), QStringList{"1|200"});
        Screens::unload<frmChangeInfo>();
        Db::exec(
            fx->dbPath(),
            "INSERT INTO tblEmail (SMTP, YourEmail, Remote, UserName, Password) VALUES ('s2', 'e2', 'r2', 'u2', 'p2')");
        main->command("mnuChangeInfo")->trigger();
        form = visibleWindow<frmChangeInfo>();
        QCOMPARE(QStringList({form->txtsmtp->text(), form->txtYourEmail->text(), form->txtHost->text(),
                              form->txtEmailUserName->text(), form->txtPassword->text()})
                     .join('|'),
                 QStringLiteral("s2|e2|r2|u2|p2"));
        QCOMPARE(form->cboAttachments->currentText(), "uuencoded in the text (default)");
        QCOMPARE(form->spnMessageLimit->value(), 200);
        QCOMPARE(form->cboIncoming->currentText(), "POP3");                             // a row older than the choice
        QTRY_COMPARE(rows("tblEmail", fields).at(1), "2|s2|e2|r2|u2|" + column("p2"));  // moved to the keyring
        form->cboAttachments->setCurrentIndex(1);
        form->cboIncoming->setCurrentIndex(1);
        form->cboSignIn->setCurrentIndex(2);
        emit form->cboSignIn->activated(2);  // a registered client of the user's own
        auto* details = visibleWindow<SignInSettings>();
        QVERIFY(details && details->txtTokenUrl->isHidden());
        details->txtClientId->setText(QStringLiteral(" my-id "));
        details->txtClientSecret->setText(QStringLiteral("not so secret"));
        details->cmdOK->click();
        form->txtYourEmail->setText(QStringLiteral(" me@new.org "));
        form->txtEmailUserName->setText(QStringLiteral(" new user "));
        QTest::mouseClick(form->cmdSave, Qt::LeftButton);
        QTest::mouseClick(form->cmdSave, Qt::LeftButton);
        QCOMPARE(rows("tblEmail", fields),
                 QStringList({"1|smtp.a.net||||", "2|s2|me@new.org|r2|new user|" + column("p2")}));
        // Without a keyring the screen says once where the password went.
        QVERIFY(visibleWindow<frmLoadSaving>());
        QCOMPARE(fx->messageBoxes(), keyring ? QStringList() : QStringList{toldWhere()});
        Screens::unload<frmChangeInfo>();
        main->command("mnuChangeInfo")->trigger();
        QCOMPARE(visibleWindow<frmChangeInfo>()->cboAttachments->currentIndex(), 1);
        QCOMPARE(visibleWindow<frmChangeInfo>()->cboIncoming->currentText(), "IMAP");
        QCOMPARE(rows("tblEmailIncoming", {"EmailInfo", "Kind"}), QStringList({"1|POP3", "2|IMAP"}));
        QCOMPARE(visibleWindow<frmChangeInfo>()->cboSignIn->currentText(), "Microsoft");
        QCOMPARE(rows("tblEmailSignIn", {"EmailInfo", "Kind", "Provider", "ClientId", "ClientSecret"}),
                 QStringList({"1|password|||", "2|OAuth2|Microsoft|my-id|not so secret"}));
        // The sync password goes the same way.
        QCOMPARE(rows("tblEmailAttachments", {"EmailInfo", "Form"}), QStringList({"1|uuencode", "2|mime"}));
        Connection con;
        con.Open(fx->dbPath());
        bool kept = false;
        SyncStore::keepPassword(con, QStringLiteral("sync pw"), this, [&](const Secrets::Answer&) { kept = true; });
        QTRY_VERIFY(kept);
        QCOMPARE(rows("tblSyncSettings", {"Name", "Value"}), QStringList{"Password|" + column("sync pw")});
        QCOMPARE(SyncStore::readSettings(con).password + readSecretNow(con, SyncStore::kSecret).text,
                 QStringLiteral("sync pw"));
    }

    // An address typed and left is looked up (one the screen showed is not);
    // what was found is shown and goes into the boxes only on Yes, and
    // nothing is saved by it.
    void foundSettingsAreOfferedNotSaved()
    {
        const QStringList fields = {"SMTP", "YourEmail", "Remote", "UserName"};
        Db::exec(fx->dbPath(), "INSERT INTO tblEmail (SMTP, YourEmail, Remote, UserName) VALUES ('s', 'old@gmail.com', "
                               "'r', 'u')");
        frmMain* main = start<frmPassInfo>([](frmPassInfo*) {});
        main->command("mnuChangeInfo")->trigger();
        auto* form = visibleWindow<frmChangeInfo>();
        form->window()->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form->window()));
        const auto boxes = [form] {
            return QStringList({form->txtsmtp->text(), form->txtHost->text(), form->cboIncoming->currentText(),
                                form->txtEmailUserName->text()})
                .join('|');
        };
        form->txtYourEmail->setFocus();
        QTest::keyClick(form->txtYourEmail, Qt::Key_Tab);
        QTest::qWait(100);
        QCOMPARE(fx->messages.size(), 0);
        fx->answers = {MsgResult::No, MsgResult::Yes};
        for (const QString& typed : {QStringLiteral("anna@gmail.com"), QStringLiteral("bert@gmail.com")}) {
            form->txtYourEmail->clear();
            form->txtYourEmail->setFocus();
            QTest::keyClicks(form->txtYourEmail, typed);
            QTest::keyClick(form->txtYourEmail, Qt::Key_Tab);
            QTRY_COMPARE(fx->messages.size(), typed.startsWith('a') ? 1 : 2);
            QVERIFY(fx->messages.last().text.contains("Outgoing (SMTP): smtp.gmail.com port 465, TLS\n"));
            QVERIFY(fx->messages.last().text.contains("Sign-in: OAuth2"));
            QCOMPARE(boxes(),
                     typed.startsWith('a') ? "s|r|POP3|u" : "smtp.gmail.com:465|imap.gmail.com:993|IMAP|" + typed);
        }
        QCOMPARE(rows("tblEmail", fields), QStringList{"s|old@gmail.com|r|u"});
    }
};

QTEST_MAIN(TestAccount)
#include "test_account.moc"
