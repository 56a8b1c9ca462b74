#include <QAction>
#include <QLineEdit>
#include <QTest>

#include "account/frmChangeInfo.h"
#include "kit/SavingProgress.h"
#include "kit/Screens.h"
#include "shell/frmMain.h"
#include "controls/Buttons.h"
#include "support/Fixture.h"

namespace {
const QStringList kFields = {"SMTP", "YourEmail", "Remote", "UserName", "Password"};
}

class TestChangeInfo : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<AppFixture> fx;
    frmMain* main = nullptr;

    void addSettings(const QStringList& values)
    {
        QStringList quoted;
        for (const QString& v : values)
            quoted << QLatin1Char('\'') + v + QLatin1Char('\'');
        Db::exec(fx->dbPath(), QStringLiteral("INSERT INTO tblEmail (%1) VALUES (%2)")
                                   .arg(kFields.join(QLatin1Char(',')), quoted.join(QLatin1Char(','))));
    }

    // Each stored row as key followed by its five fields.
    QList<QStringList> settingsRows() const
    {
        QList<QStringList> result;
        for (const QVariantMap& row : Db::rows(fx->dbPath(), QStringLiteral("tblEmail"))) {
            QStringList values{row[QStringLiteral("EmailInfo")].toString()};
            for (const QString& field : kFields)
                values << row[field].toString();
            result << values;
        }
        return result;
    }

    frmChangeInfo* open()
    {
        main->mnuChangeInfo->trigger();
        return visibleWindow<frmChangeInfo>();
    }

    static QStringList boxes(frmChangeInfo* form)
    {
        return {form->txtsmtp->text(), form->txtYourEmail->text(), form->txtHost->text(),
                form->txtEmailUserName->text(), form->txtPassword->text()};
    }

    static void type(frmChangeInfo* form, const QStringList& values)
    {
        QLineEdit* order[] = {form->txtsmtp, form->txtYourEmail, form->txtHost, form->txtEmailUserName,
                              form->txtPassword};
        for (int i = 0; i < 5; ++i) {
            order[i]->clear();
            QTest::keyClicks(order[i], values[i]);
        }
    }

private slots:
    void init()
    {
        fx = std::make_unique<AppFixture>();
        main = fx->openMainWindow();
        fx->makeDataFolder();
    }
    void cleanup() { fx.reset(); }

    void showsTheLastOfSeveralRows()
    {
        addSettings({"smtp.one.net", "me@one.net", "pop.one.net", "me1", "pw1"});
        addSettings({"smtp.two.net", "me@two.net", "pop.two.net", "me2", "pw2"});
        frmChangeInfo* form = open();
        QVERIFY(form);
        QCOMPARE(form->windowTitle(), QStringLiteral("Change info"));
        QVERIFY(!form->isChildWindow());
        QCOMPARE(boxes(form), QStringList({"smtp.two.net", "me@two.net", "pop.two.net", "me2", "pw2"}));
        QCOMPARE(form->txtID->text(), QStringLiteral("2"));
        QVERIFY(!form->txtID->isVisible());
        QCOMPARE(form->txtPassword->echoMode(), QLineEdit::Password);
        QVERIFY(fx->messages.isEmpty());
    }

    // The last row takes the trimmed boxes; the screen keeps what was typed
    // and the progress window fills and goes by itself.
    void saveChangesTheLastRowTrimmed()
    {
        addSettings({"smtp.one.net", "me@one.net", "pop.one.net", "me1", "pw1"});
        addSettings({"smtp.two.net", "me@two.net", "pop.two.net", "me2", "pw2"});
        frmChangeInfo* form = open();
        const QStringList typed = {"  mail.new.org ", " me@new.org", "pop.new.org  ", " new user ", " p w "};
        type(form, typed);
        QTest::mouseClick(form->cmdSave, Qt::LeftButton);

        QCOMPARE(settingsRows(), QList<QStringList>({{"1", "smtp.one.net", "me@one.net", "pop.one.net", "me1", "pw1"},
                                                      {"2", "mail.new.org", "me@new.org", "pop.new.org", "new user", "p w"}}));
        QVERIFY(fx->messages.isEmpty());
        QVERIFY(Screens::isLoaded<frmChangeInfo>());
        QCOMPARE(boxes(form), typed);
        auto* progress = visibleWindow<frmLoadSaving>();
        QVERIFY(progress);
        QCOMPARE(progress->windowTitle(), QStringLiteral("Save PLEASE WAIT ...."));
        QVERIFY(waitFor([] { return !Screens::isLoaded<frmLoadSaving>(); }));
    }

    // The first-run setup may have skipped the e-mail half: the settings are
    // then stored as a new row, which later saves change.
    void withoutARowSaveInsertsOne()
    {
        frmChangeInfo* form = open();
        QCOMPARE(boxes(form), QStringList({"", "", "", "", ""}));
        type(form, {" smtp.a.net", "a@a.net", "pop.a.net", "a", "pa"});
        QTest::mouseClick(form->cmdSave, Qt::LeftButton);
        QCOMPARE(settingsRows(), QList<QStringList>({{"1", "smtp.a.net", "a@a.net", "pop.a.net", "a", "pa"}}));
        QVERIFY(visibleWindow<frmLoadSaving>());

        type(form, {"smtp.b.net", "b@b.net", "pop.b.net", "b", "pb"});
        QTest::mouseClick(form->cmdSave, Qt::LeftButton);
        QCOMPARE(settingsRows(), QList<QStringList>({{"1", "smtp.b.net", "b@b.net", "pop.b.net", "b", "pb"}}));
        QVERIFY(fx->messages.isEmpty());
    }

    // A save that fails is reported, and no progress window pretends otherwise.
    void aFailedSaveShowsNoProgress()
    {
        addSettings({"smtp.one.net", "me@one.net", "pop.one.net", "me1", "pw1"});
        frmChangeInfo* form = open();
        Db::exec(fx->dbPath(), QStringLiteral("DROP TABLE tblEmail"));
        QTest::mouseClick(form->cmdSave, Qt::LeftButton);
        QCOMPARE(fx->messages.size(), 1);
        QCOMPARE(fx->messages[0].icon, MsgIcon::Critical);
        QVERIFY(fx->messages[0].text.contains(QStringLiteral("tblEmail")));
        QVERIFY(!Screens::isLoaded<frmLoadSaving>());
        QVERIFY(Screens::isLoaded<frmChangeInfo>());
    }
};

QTEST_MAIN(TestChangeInfo)
#include "test_changeinfo.moc"
