#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTest>
#include <QTimer>

#include "account/frmLogin.h"
#include "account/frmPassInfo.h"
#include "address/frmAddress.h"
#include "address/frmAddressEdit.h"
#include "controls/Buttons.h"
#include "controls/ListView.h"
#include "controls/RichTextBox.h"
#include "kit/SavingProgress.h"
#include "notes/frmNote.h"
#include "shell/frmMain.h"
#include "shell/frmSplash.h"
#include "support/Fixture.h"

// The program from its first start to its second, as one person uses it:
// setup, a contact, a note, exit; then the login and the same data again.
class TestWholeProgram : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<AppFixture> fx;

    static void click(QAbstractButton* button) { QTest::mouseClick(button, Qt::LeftButton); }

    // Starts as the executable does and waits for the main window; `account`
    // runs while the account screen of this start is up.
    frmMain* start(const std::function<void()>& account)
    {
        // The account screen comes up inside the main window's load, in a
        // loop of its own; look for it from a timer running in that loop.
        bool ran = false;
        QTimer watch;
        watch.setInterval(20);
        connect(&watch, &QTimer::timeout, &watch, [&] {
            if (ran || !(visibleWindow<frmPassInfo>() || visibleWindow<frmLogin>()))
                return;
            ran = true;
            watch.stop();
            account();
            // Never leave a modal screen behind: the test would wait forever.
            Screens::unload<frmPassInfo>();
            Screens::unload<frmLogin>();
        });
        watch.start();
        Screens::show<frmSplash>();
        if (!waitFor([] { return Screens::isLoaded<frmMain>() && Screens::load<frmMain>()->isVisible(); }, 20000))
            return nullptr;
        return ran ? Screens::load<frmMain>() : nullptr;
    }

private slots:
    void init()
    {
        fx = std::make_unique<AppFixture>();
        QDir().mkpath(fx->dataDir());  // shipped with help.doc and description.txt
    }
    void cleanup() { fx.reset(); }

    void firstStartThenSecondStart()
    {
        frmMain* main = start([] {
            frmPassInfo* setup = visibleWindow<frmPassInfo>();
            QVERIFY(setup);
            QTest::keyClicks(setup->txtUserName, QStringLiteral("anna"));
            QTest::keyClicks(setup->txtPass, QStringLiteral("Tulip7"));
            QTest::keyClicks(setup->txtRePass, QStringLiteral("tulip7"));
            click(setup->cmdOkay);
            QTest::keyClicks(setup->txtsmtp, QStringLiteral("smtp.example.org"));
            QTest::keyClicks(setup->txtYourEmail, QStringLiteral("anna@example.org"));
            click(setup->cmdSave);
            setup->close();
        });
        QVERIFY(main);
        QCOMPARE(fx->messageTexts(), QStringList({"Saved", "Saved"}));
        QVERIFY(main->button("cmdAddressBook")->isEnabled());

        // A contact, through the address panel.
        click(main->button("cmdAddressBook"));
        click(main->button("cmdAddressNew"));
        frmAddress* entry = Screens::load<frmAddress>();
        QTest::keyClicks(entry->txtFirstName, QStringLiteral("Bert"));
        QTest::keyClicks(entry->txtemail, QStringLiteral("bert@example.org"));
        click(main->button("cmdAddressSave"));
        QVERIFY(waitFor([] { return !Screens::isLoaded<frmLoadSaving>(); }));

        // A note, saved into the note folder.
        click(main->button("cmdNote"));
        auto* note = qobject_cast<frmNote*>(main->mdiArea()->currentSubWindow()->widget());
        QVERIFY(note);
        QTest::keyClicks(note->RichNote, QStringLiteral("Call Bert"));
        const QString notePath = fx->appDir() + QStringLiteral("/Note/bert.nte");
        fx->fileAnswers << notePath;
        click(main->button("cmdSave"));
        QVERIFY(QFile::exists(notePath));

        main->button("cmdExit")->click();
        pump();
        QVERIFY(!Screens::isLoaded<frmMain>());
        QVERIFY(QFile::exists(fx->dataDir() + QStringLiteral("/Pass.dat")));

        // Second start: the login, then the contact is there to edit.
        fx->messages.clear();
        main = start([] {
            frmLogin* login = visibleWindow<frmLogin>();
            QVERIFY(login);
            QTest::keyClicks(login->txtUserName, QStringLiteral("anna"));
            QTest::keyClicks(login->txtPassword, QStringLiteral("Tulip7"));
            QTest::keyClick(login->txtPassword, Qt::Key_Return);
        });
        QVERIFY(main);
        QVERIFY(fx->messages.isEmpty());
        QVERIFY(main->button("cmdAddressBook")->isEnabled());
        click(main->button("cmdAddressBook"));
        click(main->button("cmdAddressEdit"));
        frmAddressEdit* edit = Screens::load<frmAddressEdit>();
        QCOMPARE(edit->lstName->count(), 1);
        QCOMPARE(edit->lstName->text(0), QStringLiteral("Bert"));

        fx->fileAnswers << notePath;
        click(main->button("cmdOpen"));
        auto* opened = qobject_cast<frmNote*>(main->mdiArea()->currentSubWindow()->widget());
        QVERIFY(opened);
        QCOMPARE(opened->RichNote->Text(), QStringLiteral("Call Bert"));
    }
};

QTEST_MAIN(TestWholeProgram)
#include "test_wholeprogram.moc"
