#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

#include "account/PasswordHash.h"
#include "account/frmLogin.h"
#include "account/frmPassInfo.h"
#include "shell/frmMain.h"
#include "controls/Buttons.h"
#include "support/Fixture.h"

// First-run setup: two independent halves, the marker file, and what the
// next start makes of them.
class TestPassInfo : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<AppFixture> fx;

    // Runs the first start; `script` fills the setup screen, which is closed after it.
    void firstStart(const std::function<void(frmPassInfo*)>& script)
    {
        bool ran = false;
        QTimer::singleShot(0, [&] {
            if (frmPassInfo* setup = visibleWindow<frmPassInfo>()) {
                ran = true;
                script(setup);
                setup->close();
            }
        });
        Screens::show<frmMain>();
        QVERIFY(ran);
    }

    static void account(frmPassInfo* s, const QString& user, const QString& pass, const QString& again)
    {
        s->txtUserName->setText(user);
        s->txtPass->setText(pass);
        s->txtRePass->setText(again);
        QTest::mouseClick(s->cmdOkay, Qt::LeftButton);
    }

    QList<QVariantMap> table(const char* name) const { return Db::rows(fx->dbPath(), QLatin1String(name)); }

private slots:
    void init()
    {
        fx = std::make_unique<AppFixture>();
        fx->makeDataFolder();
    }
    void cleanup() { fx.reset(); }

    void accountHalfStoresTrimmedNameHashedPasswordAndTheMarker()
    {
        firstStart([](frmPassInfo* s) {
            QCOMPARE(s->windowTitle(), QStringLiteral("Password Info/Email Info"));
            account(s, QStringLiteral("  anna lee "), QStringLiteral(" Secret "), QStringLiteral(" sECRET "));
        });
        QCOMPARE(fx->messages.size(), 1);
        QCOMPARE(fx->messages[0].text, QStringLiteral("Saved"));
        QCOMPARE(fx->messages[0].title, QStringLiteral("Tessaly 2002"));
        QCOMPARE(fx->messages[0].icon, MsgIcon::Information);

        const QList<QVariantMap> rows = table("tblPass");
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows[0][QStringLiteral("UserName")].toString(), QStringLiteral("anna lee"));
        const QVariant stored = rows[0][QStringLiteral("Password")];
        QVERIFY(!stored.toString().contains(QStringLiteral("Secret")));
        QVERIFY(stored.toString().startsWith(QStringLiteral("$argon2id$")));
        QVERIFY(verifyPassword(QStringLiteral("Secret"), stored));
        QVERIFY(!verifyPassword(QStringLiteral("sECRET"), stored));

        QFile marker(fx->dataDir() + QStringLiteral("/Pass.dat"));
        QVERIFY(marker.open(QIODevice::ReadOnly));
        QCOMPARE(marker.readAll(), QByteArray("\x50\x61\x73\x73\x0D\x0A", 6));
    }

    void confirmationMustMatchIgnoringOnlyCase_data()
    {
        QTest::addColumn<QString>("again");
        QTest::newRow("trailing blank") << QStringLiteral("Secret ");
        QTest::newRow("other word") << QStringLiteral("Secrets");
        QTest::newRow("empty") << QString();
    }
    void confirmationMustMatchIgnoringOnlyCase()
    {
        QFETCH(QString, again);
        bool focusOnConfirmation = false;
        firstStart([&](frmPassInfo* s) {
            account(s, QStringLiteral("anna"), QStringLiteral("Secret"), again);
            focusOnConfirmation = s->focusWidget() == s->txtRePass;
        });
        QCOMPARE(fx->messages.size(), 1);
        QCOMPARE(fx->messages[0].text, QStringLiteral("not equal"));
        QCOMPARE(fx->messages[0].title, QStringLiteral("Incorrect"));
        QCOMPARE(fx->messages[0].icon, MsgIcon::Critical);
        QVERIFY(focusOnConfirmation);
        QVERIFY(table("tblPass").isEmpty());
        QVERIFY(!QFile::exists(fx->dataDir() + QStringLiteral("/Pass.dat")));
    }

    void twoAccountSavesGiveTwoRowsAndOnlyTheFirstLogsIn()
    {
        firstStart([](frmPassInfo* s) {
            account(s, QStringLiteral("first"), QStringLiteral("one"), QStringLiteral("one"));
            account(s, QStringLiteral("second"), QStringLiteral("two"), QStringLiteral("two"));
        });
        QCOMPARE(table("tblPass").size(), 2);
        Screens::unloadAll();
        pump();

        // The next start asks for a login; the second account is refused.
        bool refusedSecond = false;
        QTimer::singleShot(0, [&] {
            frmLogin* login = visibleWindow<frmLogin>();
            QVERIFY(login);
            login->txtUserName->setText(QStringLiteral("second"));
            login->txtPassword->setText(QStringLiteral("two"));
            QTest::mouseClick(login->cmdLogin, Qt::LeftButton);
            refusedSecond = Screens::isLoaded<frmLogin>();
            login->txtUserName->setText(QStringLiteral("first"));
            login->txtPassword->setText(QStringLiteral("one"));
            QTest::mouseClick(login->cmdLogin, Qt::LeftButton);
        });
        frmMain* main = Screens::show<frmMain>();
        QVERIFY(refusedSecond);
        QVERIFY(main->cmdNote->isEnabled());
    }

    void emailHalfInsertsARowPerSaveWithTrimmedValues()
    {
        firstStart([](frmPassInfo* s) {
            QTest::mouseClick(s->cmdSave, Qt::LeftButton);
            s->txtsmtp->setText(QStringLiteral(" smtp.example.org "));
            s->txtYourEmail->setText(QStringLiteral("anna@example.org"));
            s->txtHost->setText(QStringLiteral("pop.example.org  "));
            s->EmailUserName->setText(QStringLiteral(" anna"));
            s->txtPassword->setText(QStringLiteral(" pop pass "));
            QTest::mouseClick(s->cmdSave, Qt::LeftButton);
        });
        QCOMPARE(fx->messageTexts(), QStringList({"Saved", "Saved"}));
        const QList<QVariantMap> rows = table("tblEmail");
        QCOMPARE(rows.size(), 2);
        const QStringList fields{"SMTP", "YourEmail", "Remote", "UserName", "Password"};
        for (const QString& field : fields) {
            QVERIFY(!rows[0][field].isNull());
            QCOMPARE(rows[0][field].toString(), QString());
        }
        QCOMPARE(rows[1][QStringLiteral("SMTP")].toString(), QStringLiteral("smtp.example.org"));
        QCOMPARE(rows[1][QStringLiteral("YourEmail")].toString(), QStringLiteral("anna@example.org"));
        QCOMPARE(rows[1][QStringLiteral("Remote")].toString(), QStringLiteral("pop.example.org"));
        QCOMPARE(rows[1][QStringLiteral("UserName")].toString(), QStringLiteral("anna"));
        QCOMPARE(rows[1][QStringLiteral("Password")].toString(), QStringLiteral("pop pass"));
        // Skipping the account half leaves no marker: the next start asks again.
        QVERIFY(!QFile::exists(fx->dataDir() + QStringLiteral("/Pass.dat")));
        QVERIFY(table("tblPass").isEmpty());
    }

    void helpButtonsExplainTheHostBoxes()
    {
        firstStart([](frmPassInfo* s) {
            QTest::mouseClick(s->cmdSMTPhelp, Qt::LeftButton);
            QTest::mouseClick(s->cmdRemoteHelp, Qt::LeftButton);
        });
        QCOMPARE(fx->messages.size(), 2);
        QVERIFY(fx->messages[0].text.startsWith(QStringLiteral("This will send email.SMTP : ")));
        QVERIFY(fx->messages[1].text.startsWith(QStringLiteral("This will check your email.Remote ")));
        for (const MsgBoxCall& call : fx->messages) {
            QVERIFY(call.text.endsWith(QStringLiteral(".?")));
            QCOMPARE(call.icon, MsgIcon::None);
            QCOMPARE(call.title, QStringLiteral("Tessaly 2002"));
        }
    }

    void anUnwritableMarkerIsReported()
    {
        // A folder where the marker file should be makes the write fail.
        QVERIFY(QDir().mkpath(fx->dataDir() + QStringLiteral("/Pass.dat")));
        firstStart([](frmPassInfo* s) { account(s, QStringLiteral("anna"), QStringLiteral("x"), QStringLiteral("x")); });
        QCOMPARE(fx->messages.size(), 1);
        QVERIFY(fx->messages[0].text.startsWith(QStringLiteral("The file ")));
        QVERIFY(fx->messages[0].text.contains(QStringLiteral("Pass.dat could not be written")));
    }
};

QTEST_MAIN(TestPassInfo)
#include "test_passinfo.moc"
