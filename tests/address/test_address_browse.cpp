#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTest>

#include "Contacts.h"
#include "address/frmAddressDelete.h"
#include "address/frmAddressEdit.h"
#include "kit/SavingProgress.h"
#include "controls/Buttons.h"

// The edit and delete screens: the name list, the shown contact, its save and its deletion.
class TestAddressBrowse : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<AppFixture> fx;

    QStringList listed(ContactBrowser* screen)
    {
        QStringList names;
        for (int i = 0; i < screen->lstName->count(); ++i)
            names << screen->lstName->item(i)->text();
        return names;
    }
    void clickName(ContactBrowser* screen, int row)
    {
        QListWidget* list = screen->lstName;
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(row)).center());
    }
    QStringList shown(ContactBrowser* s)
    {
        return {s->txtFirstName->text(), s->txtLastName->text(), s->txthomeAddress->text(), s->txtSuburb->text(),
                s->txtpostcode->text(),  s->txtemail->text(),    s->txtHomePhone->text(),   s->txtMobile->text(),
                s->txtICQ->text(),       s->txtWebPage->text(),  s->txtComments->toPlainText()};
    }

private slots:
    void init()
    {
        fx = std::make_unique<AppFixture>();
        fx->makeDataFolder();
        insertContact(fx->dbPath(), {"Sam", "First", "1 A St", "Kew", "3101", "s1@x.org", "111", "0411", "11", "s1.org", "one"});
        insertContact(fx->dbPath(), {"Jo\"hn", "Quote", "", "", "", "", "", "", "", "", ""});
        insertContact(fx->dbPath(), {"Sam", "Second", "2 B St", "Lara", "3212", "s2@x.org", "222", "0422", "22", "s2.org", "two"});
    }
    void cleanup() { fx.reset(); }

    void editShowsTheFirstContactOfAClickedNameAndTheClickedPosition()
    {
        auto* edit = Screens::show<frmAddressEdit>();
        QCOMPARE(listed(edit), QStringList({"Sam", "Jo\"hn", "Sam"}));
        QCOMPARE(edit->lblTotal->text(), QStringLiteral("3"));
        QCOMPARE(edit->lblCurrent->text(), QString());
        QCOMPARE(edit->lblCount->text(), QString());

        clickName(edit, 2);
        QCOMPARE(shown(edit), QStringList({"Sam", "First", "1 A St", "Kew", "3101", "s1@x.org", "111", "0411", "11",
                                           "s1.org", "one"}));
        QCOMPARE(edit->txtID->text(), QStringLiteral("1"));
        QCOMPARE(edit->lblCurrent->text(), QStringLiteral("3"));
        QCOMPARE(edit->lblCount->text(), QStringLiteral("3"));

        clickName(edit, 1);
        QCOMPARE(edit->txtLastName->text(), QStringLiteral("Quote"));
        QCOMPARE(edit->txtID->text(), QStringLiteral("2"));
        QCOMPARE(edit->lblCurrent->text(), QStringLiteral("2"));
        QVERIFY(fx->messages.isEmpty());
    }

    void editSaveWritesTheShownContactButTheListWaitsForAReopen()
    {
        auto* edit = Screens::show<frmAddressEdit>();
        clickName(edit, 0);
        edit->txtFirstName->setText(QStringLiteral("  Samuel "));
        edit->txtHomePhone->setText(QStringLiteral("999"));
        edit->txtFax->setText(QStringLiteral("555"));
        edit->txtComments->setPlainText(QStringLiteral("changed "));
        QTest::mouseClick(edit->cmdAddressSave, Qt::LeftButton);

        const QList<QStringList> rows = storedContacts(fx->dbPath());
        QCOMPARE(rows.size(), 3);
        QCOMPARE(rows[0], QStringList({"Samuel", "First", "1 A St", "Kew", "3101", "s1@x.org", "999", "0411", "11",
                                       "s1.org", "changed"}));
        QCOMPARE(rows[2][1], QStringLiteral("Second"));
        QVERIFY(Screens::isLoaded<frmLoadSaving>());
        QCOMPARE(listed(edit), QStringList({"Sam", "Jo\"hn", "Sam"}));
        QCOMPARE(edit->lblCurrent->text(), QStringLiteral("1"));

        Screens::unload<frmAddressEdit>();
        QCOMPARE(listed(Screens::show<frmAddressEdit>()), QStringList({"Samuel", "Jo\"hn", "Sam"}));
    }

    void editRefusesToSaveWithoutALiveContact()
    {
        auto* edit = Screens::show<frmAddressEdit>();
        edit->txtFirstName->setText(QStringLiteral("Nobody"));
        QTest::mouseClick(edit->cmdAddressSave, Qt::LeftButton);
        QCOMPARE(fx->messageTexts(), QStringList({kChooseContact}));
        QCOMPARE(kChooseContact, QStringLiteral("Choose a contact from the list first."));
        QVERIFY(!Screens::isLoaded<frmLoadSaving>());

        // The shown contact is deleted elsewhere: neither a click nor a save brings it back.
        clickName(edit, 1);
        Db::exec(fx->dbPath(), "DELETE FROM tblAddress WHERE Org_ID = 2");
        QTest::mouseClick(edit->cmdAddressSave, Qt::LeftButton);
        clickName(edit, 1);
        QCOMPARE(kContactGone, QStringLiteral("This contact no longer exists."));
        QCOMPARE(fx->messageTexts(), QStringList({kChooseContact, kContactGone, kContactGone}));
        QCOMPARE(edit->txtLastName->text(), QStringLiteral("Quote"));
        QCOMPARE(edit->lblCurrent->text(), QStringLiteral("2"));
        QCOMPARE(storedKeys(fx->dbPath()), QList<qint64>({1, 3}));
        QCOMPARE(storedContacts(fx->dbPath())[0][0], QStringLiteral("Sam"));
    }

    void deleteAsksAndOnNoKeepsEverything()
    {
        auto* del = Screens::show<frmAddressDelete>();
        clickName(del, 2);
        fx->answers << MsgResult::No;
        QTest::mouseClick(del->cmdDelete, Qt::LeftButton);
        QCOMPARE(fx->messages.size(), 1);
        QCOMPARE(fx->messages[0].text, QStringLiteral("Are you sure want to delete"));
        QCOMPARE(fx->messages[0].title, QStringLiteral("Delete"));
        QCOMPARE(fx->messages[0].icon, MsgIcon::Question);
        QCOMPARE(fx->messages[0].buttons, MsgButtons::YesNo);
        QCOMPARE(storedKeys(fx->dbPath()), QList<qint64>({1, 2, 3}));
        QCOMPARE(del->txtLastName->text(), QStringLiteral("First"));
    }

    void deleteOnYesRemovesExactlyTheShownRowAndCannotRepeat()
    {
        auto* del = Screens::show<frmAddressDelete>();
        clickName(del, 2);
        QTest::mouseClick(del->cmdDelete, Qt::LeftButton);
        QCOMPARE(storedKeys(fx->dbPath()), QList<qint64>({2, 3}));
        QCOMPARE(listed(del), QStringList({"Jo\"hn", "Sam"}));
        QCOMPARE(del->txtID->text(), QString());
        QCOMPARE(shown(del), QStringList(11, QString()));

        // The remaining Sam is now the first of its name.
        clickName(del, 1);
        QCOMPARE(del->txtLastName->text(), QStringLiteral("Second"));
        del->txtID->clear();
        QTest::mouseClick(del->cmdDelete, Qt::LeftButton);
        QCOMPARE(fx->messageTexts(), QStringList({kConfirmDelete, kChooseContact}));
        QCOMPARE(storedKeys(fx->dbPath()), QList<qint64>({2, 3}));
    }
};

QTEST_MAIN(TestAddressBrowse)
#include "test_address_browse.moc"
