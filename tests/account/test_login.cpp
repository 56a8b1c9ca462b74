#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTest>
#include <QTimer>

#include "account/PasswordHash.h"
#include "account/frmLogin.h"
#include "account/frmNoPassword.h"
#include "account/frmPassInfo.h"
#include "shell/frmLoadingPic.h"
#include "shell/frmMain.h"
#include "controls/Buttons.h"
#include "notes/NoteDesk.h"
#include "store/Recordset.h"
#include "support/Fixture.h"

// Start-up decides between no account screen, first-run setup and login;
// the login lets the right account in and locks the main window otherwise.
class TestLogin : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<AppFixture> fx;

    void addAccount(const QString& user, const QString& password)
    {
        Connection con;
        con.Open(fx->dbPath());
        Recordset rs;
        rs.Open(con, QStringLiteral("tblPass"));
        rs.AddNew();
        rs.Fields(QStringLiteral("UserName")) = user;
        rs.Fields(QStringLiteral("Password")) = hashPassword(password);
        rs.Update();
    }

    // Starts the main window; `script` runs while the login screen is up and
    // must make it close.
    frmMain* startWithLogin(const std::function<void(frmLogin*)>& script)
    {
        bool ran = false;
        QTimer::singleShot(0, [&] {
            frmLogin* login = visibleWindow<frmLogin>();
            if (!login)
                return;
            ran = true;
            script(login);
            if (Screens::isLoaded<frmLogin>())
                Screens::unload<frmLogin>();
        });
        frmMain* main = Screens::show<frmMain>();
        if (!ran)
            qWarning("the login screen was not shown");
        return ran ? main : nullptr;
    }

    static void type(frmLogin* login, const QString& user, const QString& password)
    {
        QTest::keyClicks(login->txtUserName, user);
        QTest::keyClicks(login->txtPassword, password);
    }

    static bool isLocked(frmMain* main)
    {
        const QList<asxToolButton*> buttons = main->findChildren<asxToolButton*>();
        const bool allOff = std::all_of(buttons.begin(), buttons.end(), [](auto* b) { return !b->isEnabled(); });
        return buttons.size() == 31 && allOff && !main->mnuChangePass->isEnabled()
               && !main->mnuChangeInfo->isEnabled() && main->mnuAB->isEnabled() && main->mnuExit->isEnabled();
    }

    static bool isUsable(frmMain* main)
    {
        const QList<asxToolButton*> buttons = main->findChildren<asxToolButton*>();
        return std::all_of(buttons.begin(), buttons.end(), [](auto* b) { return b->isEnabled(); })
               && main->mnuChangePass->isEnabled() && !Screens::isLoaded<frmNoPassword>();
    }

private slots:
    void init() { fx = std::make_unique<AppFixture>(); }
    void cleanup() { fx.reset(); }

    void freshFolderGetsDataAndNoteFoldersAndNoAccountScreen()
    {
        QTimer::singleShot(0, [] {
            QVERIFY(!visibleWindow<frmLogin>());
            QVERIFY(!visibleWindow<frmPassInfo>());
        });
        frmMain* main = Screens::show<frmMain>();
        QVERIFY(QFileInfo(fx->dataDir()).isDir());
        QCOMPARE(QFile::permissions(fx->dataDir()) & (QFile::ReadOther | QFile::ExeOther | QFile::ReadGroup),
                 QFile::Permissions());
        QVERIFY(QFileInfo(fx->appDir() + QStringLiteral("/Note")).isDir());
        QCOMPARE(main->notes().NoteFolder, fx->appDir() + QStringLiteral("/Note/"));
        QVERIFY(Screens::isLoaded<frmLoadingPic>());
        QCOMPARE(main->mdiArea()->subWindowList().size(), 1);
        QCOMPARE(main->windowTitle(), QStringLiteral("Tessaly 2002"));
        QCOMPARE(main->lblDate->text(), QStringLiteral("5/15/26"));
        QCOMPARE(main->lblTime->text(), QStringLiteral("10:30:05 AM"));
        QVERIFY(isUsable(main));
        QVERIFY(fx->messages.isEmpty());
    }

    void dataWithoutMarkerShowsSetupModalOwnedByTheHiddenMainWindow()
    {
        fx->makeDataFolder();
        bool shown = false, modal = false, owned = false, mainHidden = false;
        QTimer::singleShot(0, [&] {
            frmPassInfo* setup = visibleWindow<frmPassInfo>();
            shown = setup != nullptr;
            if (!setup)
                return;
            modal = setup->isModal();
            owned = setup->parentWidget() && setup->parentWidget()->objectName() == QStringLiteral("frmMain");
            mainHidden = !setup->parentWidget()->isVisible();
            Screens::unload<frmPassInfo>();
        });
        frmMain* main = Screens::show<frmMain>();
        QVERIFY(shown);
        QVERIFY(modal);
        QVERIFY(owned);
        QVERIFY(mainHidden);
        QVERIFY(isUsable(main));
    }

    void anyMarkerShowsTheLogin()
    {
        fx->makeDataFolder();
        addAccount(QStringLiteral("anna"), QStringLiteral("secret"));
        QFile marker(fx->dataDir() + QStringLiteral("/Pass.dat"));
        QVERIFY(marker.open(QIODevice::WriteOnly));
        marker.close();  // empty: only its existence counts
        frmMain* main = startWithLogin([](frmLogin* login) {
            QCOMPARE(login->windowTitle(), QStringLiteral("Login"));
            type(login, QStringLiteral("anna"), QStringLiteral("secret"));
            QTest::mouseClick(login->cmdLogin, Qt::LeftButton);
        });
        QVERIFY(main);
        QVERIFY(isUsable(main));
    }

    void aPlainFileNamedDataCountsAsTheFolder()
    {
        QFile data(fx->dataDir());
        QVERIFY(data.open(QIODevice::WriteOnly));
        data.close();
        bool setupShown = false;
        QTimer::singleShot(0, [&] {
            setupShown = visibleWindow<frmPassInfo>() != nullptr;
            Screens::unload<frmPassInfo>();
        });
        Screens::show<frmMain>();
        QVERIFY(setupShown);
        QVERIFY(QFileInfo(fx->dataDir()).isFile());
        // The setup could not open its database: one message naming file and reason.
        QCOMPARE(fx->messages.size(), 1);
        QVERIFY(fx->messages[0].text.contains(QStringLiteral("Tessaly.mdb")));
        QVERIFY(fx->messages[0].text.contains(QStringLiteral("is a file, not a folder")));
    }

    void loginChecksTheFirstAccountExactly_data()
    {
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("byEnter");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("right, button") << "anna" << "Secret" << false << true;
        QTest::newRow("right, Enter") << "anna" << "Secret" << true << true;
        QTest::newRow("name in capitals") << "ANNA" << "Secret" << false << false;
        QTest::newRow("password case") << "anna" << "secret" << false << false;
        QTest::newRow("trailing blank") << "anna" << "Secret " << true << false;
        QTest::newRow("leading blank name") << " anna" << "Secret" << false << false;
        QTest::newRow("second account") << "bert" << "other" << false << false;
    }
    void loginChecksTheFirstAccountExactly()
    {
        QFETCH(QString, user);
        QFETCH(QString, password);
        QFETCH(bool, byEnter);
        QFETCH(bool, accepted);
        fx->makeDataFolder();
        addAccount(QStringLiteral("anna"), QStringLiteral("Secret"));
        addAccount(QStringLiteral("bert"), QStringLiteral("other"));
        fx->writeMarker();
        bool selected = false, passwordKept = false, stillOpen = false;
        frmMain* main = startWithLogin([&](frmLogin* login) {
            type(login, user, password);
            if (byEnter)
                QTest::keyClick(login->txtPassword, Qt::Key_Return);
            else
                QTest::mouseClick(login->cmdLogin, Qt::LeftButton);
            stillOpen = Screens::isLoaded<frmLogin>();
            if (stillOpen) {
                selected = login->txtUserName->selectedText() == user && login->focusWidget() == login->txtUserName;
                passwordKept = login->txtPassword->text() == password;
            }
        });
        QVERIFY(main);
        if (accepted) {
            QVERIFY(!stillOpen);
            QVERIFY(fx->messages.isEmpty());
            QVERIFY(isUsable(main));
        } else {
            QVERIFY(stillOpen);
            QVERIFY(passwordKept);
            QVERIFY(selected);
            QCOMPARE(fx->messages.size(), 1);
            QCOMPARE(fx->messages[0].text, QStringLiteral("Invalid User Name or Password, try again!"));
            QCOMPARE(fx->messages[0].title, QStringLiteral("Login"));
            QCOMPARE(fx->messages[0].icon, MsgIcon::Critical);
            // Leaving without a successful test never lets anybody in.
            QVERIFY(isLocked(main));
        }
    }

    void exitDoesNothingWhileABoxHoldsText()
    {
        fx->makeDataFolder();
        addAccount(QStringLiteral("anna"), QStringLiteral("Secret"));
        fx->writeMarker();
        bool stayed = false;
        frmMain* main = startWithLogin([&](frmLogin* login) {
            QTest::keyClicks(login->txtUserName, QStringLiteral("anna"));
            QTest::mouseClick(login->cmdExit, Qt::LeftButton);
            stayed = Screens::isLoaded<frmLogin>() && login->isVisible();
            QTest::keyClicks(login->txtPassword, QStringLiteral("Secret"));
            QTest::mouseClick(login->cmdLogin, Qt::LeftButton);
        });
        QVERIFY(stayed);
        QVERIFY(isUsable(main));
    }

    void leavingEmptyLocksTheMainWindow_data()
    {
        QTest::addColumn<bool>("byCloseBox");
        QTest::newRow("Exit button") << false;
        QTest::newRow("close box") << true;
    }
    void leavingEmptyLocksTheMainWindow()
    {
        QFETCH(bool, byCloseBox);
        fx->makeDataFolder();
        addAccount(QStringLiteral("anna"), QStringLiteral("Secret"));
        fx->writeMarker();
        frmMain* main = startWithLogin([&](frmLogin* login) {
            if (byCloseBox)
                login->close();
            else
                QTest::mouseClick(login->cmdExit, Qt::LeftButton);
        });
        QVERIFY(main);
        QVERIFY(isLocked(main));
        auto* locked = Screens::load<frmNoPassword>();
        QCOMPARE(locked->windowTitle(), QStringLiteral("ERROR"));
        QCOMPARE(locked->Label1->text(), QStringLiteral("NEED PASSWORD"));
        QCOMPARE(locked->Label3->text(), QStringLiteral("ok"));
        QVERIFY(qobject_cast<QMdiSubWindow*>(locked->parentWidget()));
        QTest::mouseClick(locked->Label3, Qt::LeftButton);
        pump();
        QVERIFY(!Screens::isLoaded<frmNoPassword>());
        QVERIFY(isLocked(main));
        QVERIFY(fx->messages.isEmpty());
    }

    void emptyStoredAccountLetsEmptyBoxesInButStillLocks()
    {
        fx->makeDataFolder();
        addAccount(QString(), QString());
        fx->writeMarker();
        bool closedByLogin = false;
        frmMain* main = startWithLogin([&](frmLogin* login) {
            QTest::mouseClick(login->cmdLogin, Qt::LeftButton);
            closedByLogin = !Screens::isLoaded<frmLogin>();
        });
        QVERIFY(closedByLogin);
        QVERIFY(fx->messages.isEmpty());
        QVERIFY(isLocked(main));
    }

    void noAccountRowSaysSoAndLocks()
    {
        fx->makeDataFolder();
        fx->writeMarker();
        frmMain* main = startWithLogin([](frmLogin* login) {
            type(login, QStringLiteral("anna"), QStringLiteral("x"));
            QTest::mouseClick(login->cmdLogin, Qt::LeftButton);
        });
        QCOMPARE(fx->messages.size(), 1);
        QVERIFY(fx->messages[0].text.startsWith(QStringLiteral("No user account is stored")));
        QVERIFY(isLocked(main));
    }
};

QTEST_MAIN(TestLogin)
#include "test_login.moc"
