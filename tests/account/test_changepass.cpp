#include <QAction>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "account/PasswordHash.h"
#include "account/frmChangePass.h"
#include "account/frmLogin.h"
#include "kit/Screens.h"
#include "shell/frmMain.h"
#include "controls/Buttons.h"
#include "support/Fixture.h"

class TestChangePass : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<AppFixture> fx;
    frmMain* main = nullptr;

    // Hashing is slow on purpose; each password is hashed once per run.
    QMap<QString, QString> hashes;

    void addAccount(const QString& userName, const QString& password)
    {
        if (!hashes.contains(password))
            hashes[password] = hashPassword(password);
        Db::exec(fx->dbPath(), QStringLiteral("INSERT INTO tblPass (UserName, Password) VALUES ('%1', '%2')")
                                   .arg(userName, hashes[password]));
    }

    QList<QVariantMap> accounts() const { return Db::rows(fx->dbPath(), QStringLiteral("tblPass")); }

    frmChangePass* open()
    {
        main->mnuChangePass->trigger();
        return visibleWindow<frmChangePass>();
    }

    static void test(frmChangePass* form, const QString& userName, const QString& password)
    {
        form->txtcurrentUserName->setText(userName);
        form->txtCurrentPass->setText(password);
        QTest::mouseClick(form->cmdTest, Qt::LeftButton);
    }

    static void save(frmChangePass* form, const QString& password, const QString& again)
    {
        QTest::keyClicks(form->txtPass, password);
        QTest::keyClicks(form->txtRePass, again);
        QTest::mouseClick(form->cmdOkay, Qt::LeftButton);
    }

    static bool inSecondStage(frmChangePass* form)
    {
        return form->Height() == 2505 && form->fraNew->isVisible() && form->fraNew->pos() == QPoint(0, 0)
               && form->rect().contains(form->fraNew->geometry()) && !form->fraPassLook->isVisible();
    }

private slots:
    void init()
    {
        fx = std::make_unique<AppFixture>();
        main = fx->openMainWindow();
        fx->makeDataFolder();
        addAccount(QStringLiteral("alice"), QStringLiteral("Secret1"));
        addAccount(QStringLiteral("bob"), QStringLiteral("other"));
    }
    void cleanup() { fx.reset(); }

    // Only the first account row counts, compared exactly as typed.
    void wrongCurrentValuesAreRefused_data()
    {
        QTest::addColumn<QString>("userName");
        QTest::addColumn<QString>("password");
        QTest::newRow("user name in capitals") << "Alice" << "Secret1";
        QTest::newRow("password in another case") << "alice" << "secret1";
        QTest::newRow("blank after the password") << "alice" << "Secret1 ";
        QTest::newRow("the second account") << "bob" << "other";
    }
    void wrongCurrentValuesAreRefused()
    {
        QFETCH(QString, userName);
        QFETCH(QString, password);
        frmChangePass* form = open();
        test(form, userName, password);
        QCOMPARE(fx->messages.size(), 1);
        QCOMPARE(fx->messages[0].text, QStringLiteral("Invalid UserName or Password, try again!"));
        QCOMPARE(fx->messages[0].title, QStringLiteral("Login"));
        QCOMPARE(fx->messages[0].icon, MsgIcon::None);
        QCOMPARE(fx->messages[0].buttons, MsgButtons::OKOnly);
        QCOMPARE(form->windowTitle(), QStringLiteral("chang Password"));
        QCOMPARE(form->Height(), 1950);
        QVERIFY(form->fraPassLook->isVisible());
        QVERIFY(!form->fraNew->isVisible());
        QCOMPARE(form->txtcurrentUserName->selectedText(), userName);
        QCOMPARE(form->txtCurrentPass->text(), password);
    }

    void theRightValuesOpenTheSecondStage()
    {
        frmChangePass* form = open();
        test(form, QStringLiteral("alice"), QStringLiteral("Secret1"));
        QVERIFY(fx->messages.isEmpty());
        QVERIFY(inSecondStage(form));
        QCOMPARE(form->txtUserName->text(), QStringLiteral("alice"));
        QCOMPARE(form->txtID->text(), QStringLiteral("1"));
        QCOMPARE(form->focusWidget(), form->txtPass);
    }

    // The confirmation may differ in case; what is stored is the first box,
    // trimmed, under the unchanged user name. Only the first row changes.
    void theNewPasswordIsStoredAndTheWindowCloses()
    {
        const QVariantMap second = accounts().at(1);
        frmChangePass* form = open();
        test(form, QStringLiteral("alice"), QStringLiteral("Secret1"));
        save(form, QStringLiteral(" NewPass "), QStringLiteral(" newpass "));
        QCOMPARE(fx->messages.size(), 1);
        QCOMPARE(fx->messages[0].text, QStringLiteral("Has been Change"));
        QCOMPARE(fx->messages[0].title, QStringLiteral("Change Password"));
        QCOMPARE(fx->messages[0].icon, MsgIcon::Information);
        QVERIFY(!Screens::isLoaded<frmChangePass>());

        const QList<QVariantMap> rows = accounts();
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows[0][QStringLiteral("UserName")].toString(), QStringLiteral("alice"));
        const QVariant stored = rows[0][QStringLiteral("Password")];
        QVERIFY(!stored.toString().contains(QStringLiteral("NewPass")));
        QVERIFY(verifyPassword(QStringLiteral("NewPass"), stored));
        QVERIFY(!verifyPassword(QStringLiteral("newpass"), stored));
        QVERIFY(!verifyPassword(QStringLiteral("Secret1"), stored));
        QCOMPARE(rows[1], second);
    }

    void aConfirmationThatDiffersStoresNothing()
    {
        const QList<QVariantMap> before = accounts();
        frmChangePass* form = open();
        test(form, QStringLiteral("alice"), QStringLiteral("Secret1"));
        save(form, QStringLiteral("NewPass"), QStringLiteral("NewPas"));
        QCOMPARE(fx->messages.size(), 1);
        QCOMPARE(fx->messages[0].text, QStringLiteral("not equal"));
        QCOMPARE(fx->messages[0].title, QStringLiteral("Incorrect"));
        QCOMPARE(fx->messages[0].icon, MsgIcon::Critical);
        QVERIFY(inSecondStage(form));
        QCOMPARE(form->focusWidget(), form->txtRePass);
        QCOMPARE(accounts(), before);

        // Closing the window now leaves the account as it was.
        form->close();
        pump();
        QVERIFY(!Screens::isLoaded<frmChangePass>());
        QCOMPARE(accounts(), before);
    }

    // A new user name is stored trimmed, and from then on only the new pair logs in.
    void theNextLoginAcceptsOnlyTheNewValues()
    {
        frmChangePass* form = open();
        test(form, QStringLiteral("alice"), QStringLiteral("Secret1"));
        form->txtUserName->setText(QStringLiteral("  alicia "));
        save(form, QStringLiteral("Fresh"), QStringLiteral("fresh"));
        fx->messages.clear();

        auto login = [&](const QString& userName, const QString& password) {
            frmLogin* screen = Screens::show<frmLogin>();
            screen->txtUserName->setText(userName);
            screen->txtPassword->setText(password);
            QTest::mouseClick(screen->cmdLogin, Qt::LeftButton);
            return !Screens::isLoaded<frmLogin>();
        };
        QVERIFY(!login(QStringLiteral("alice"), QStringLiteral("Secret1")));
        QVERIFY(!login(QStringLiteral("alicia"), QStringLiteral("Secret1")));
        QVERIFY(!login(QStringLiteral("alicia"), QStringLiteral("fresh")));
        QCOMPARE(fx->messages.size(), 3);
        QVERIFY(login(QStringLiteral("alicia"), QStringLiteral("Fresh")));
        QVERIFY(main->cmdCalculator->isEnabled());
        QCOMPARE(accounts().at(0)[QStringLiteral("UserName")].toString(), QStringLiteral("alicia"));
    }

    void withoutAnAccountTheTestSaysSo()
    {
        Db::exec(fx->dbPath(), QStringLiteral("DELETE FROM tblPass"));
        frmChangePass* form = open();
        test(form, QString(), QString());
        QCOMPARE(fx->messageTexts(),
                 QStringList{"No user account is stored in the database, so the current password cannot be checked."});
        QVERIFY(!form->fraNew->isVisible());
    }
};

QTEST_MAIN(TestChangePass)
#include "test_changepass.moc"
