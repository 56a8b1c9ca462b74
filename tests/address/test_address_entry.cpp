#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>
#include <QWidget>

#include "Contacts.h"
#include "address/frmAddress.h"
#include "kit/SavingProgress.h"
#include "shell/frmMain.h"
#include "controls/Buttons.h"

// The new-contact screen as the address panel drives it.
class TestAddressEntry : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<AppFixture> fx;
    frmMain* main = nullptr;

    void click(QAbstractButton* button) { QTest::mouseClick(button, Qt::LeftButton); }
    frmAddress* entry() { return Screens::isLoaded<frmAddress>() ? Screens::load<frmAddress>() : nullptr; }
    QStringList emptyContact() { return QStringList(kContactFields.size(), QString()); }

private slots:
    void init()
    {
        fx = std::make_unique<AppFixture>();
        main = fx->openMainWindow();
        click(main->cmdAddressBook);
    }
    void cleanup() { fx.reset(); }

    void saveStoresTrimmedValuesButNeverTheFaxAndKeepsTheBoxes()
    {
        click(main->cmdAddressNew);
        frmAddress* form = entry();
        QVERIFY(form && form->isVisible());
        const QList<QPair<QLineEdit*, QString>> typed = {
            {form->txtFirstName, "  Anna Maria "}, {form->txtLastName, "O'Brien  "}, {form->txthomeAddress, " 12 High St"},
            {form->txtSuburb, "Carlton"},          {form->txtpostcode, " 30 "},      {form->txtemail, "anna@example.org"},
            {form->txtHomePhone, "9347 1234 "},    {form->txtMobile, "0412"},        {form->txtICQ, "123456"},
            {form->txtWebPage, " example.org"},    {form->txtFax, "9347 9999"},
        };
        for (const auto& [box, text] : typed)
            QTest::keyClicks(box, text);
        QTest::keyClicks(form->txtComments, QStringLiteral("  Met at \"the\" fair. "));

        click(main->cmdAddressSave);
        QCOMPARE(storedContacts(fx->dbPath()),
                 QList<QStringList>({{"Anna Maria", "O'Brien", "12 High St", "Carlton", "30", "anna@example.org",
                                      "9347 1234", "0412", "123456", "example.org", "Met at \"the\" fair."}}));
        QVERIFY(!Db::rows(fx->dbPath(), "tblAddress").first().contains("Fax"));
        QCOMPARE(form->txtFirstName->text(), QStringLiteral("  Anna Maria "));
        QCOMPARE(form->txtFax->text(), QStringLiteral("9347 9999"));
        QVERIFY(fx->messages.isEmpty());

        auto* progress = qobject_cast<frmLoadSaving*>(Screens::find(typeid(frmLoadSaving)));
        QVERIFY(progress && progress->isVisible());
        QCOMPARE(progress->windowTitle(), QStringLiteral("Save PLEASE WAIT ...."));
        QVERIFY(waitFor([] { return !Screens::isLoaded<frmLoadSaving>(); }));
    }

    void saveWithoutEntryScreenStoresEmptyContactsEachTime()
    {
        QVERIFY(!entry());
        click(main->cmdAddressSave);
        QVERIFY(entry() && entry()->isVisible());
        click(main->cmdAddressSave);
        QCOMPARE(storedContacts(fx->dbPath()), QList<QStringList>({emptyContact(), emptyContact()}));
        QCOMPARE(storedKeys(fx->dbPath()), QList<qint64>({1, 2}));
    }

    void postCodeTakesFourCharacters()
    {
        click(main->cmdAddressNew);
        QTest::keyClicks(entry()->txtpostcode, QStringLiteral("305312"));
        QCOMPARE(entry()->txtpostcode->text(), QStringLiteral("3053"));
    }

    void typingTheTwoHundredFiftyFifthCommentCharacterDisablesTheBox()
    {
        click(main->cmdAddressNew);
        frmAddress* form = entry();
        QCOMPARE(form->lblCount->text(), QString());
        QTest::keyClicks(form->txtComments, QString(254, QLatin1Char('x')));
        QCOMPARE(form->lblCount->text(), QStringLiteral("254"));
        QVERIFY(fx->messages.isEmpty());
        QTest::keyClicks(form->txtComments, QStringLiteral("yz"));
        QCOMPARE(form->lblCount->text(), QStringLiteral("255"));
        QVERIFY(!form->txtComments->isEnabled());
        QCOMPARE(fx->messages.size(), 1);
        QCOMPARE(fx->messages[0].text, QStringLiteral("Max character is 255 and Comments textg will be disabled "));
        QCOMPARE(fx->messages[0].icon, MsgIcon::Exclamation);
        QCOMPARE(fx->messages[0].title, QStringLiteral("Tessaly 2002"));

        // Clear and New empty the box and count, but only a fresh screen takes typing again.
        click(main->cmdAddressClear);
        QCOMPARE(form->lblCount->text(), QStringLiteral("0"));
        QVERIFY(!form->txtComments->isEnabled());
        click(main->cmdAddressNew);
        QVERIFY(!form->txtComments->isEnabled());
        click(main->cmdAddressBook);
        QVERIFY(!entry());
        click(main->cmdAddressNew);
        QVERIFY(entry()->txtComments->isEnabled());
        QCOMPARE(entry()->lblCount->text(), QString());
    }

    void pastedCommentsBeyondTheLimitAreStoredWhole()
    {
        click(main->cmdAddressNew);
        frmAddress* form = entry();
        const QString start(200, QLatin1Char('a'));
        const QString pasted = QString(99, QLatin1Char('b')) + QLatin1Char('c');
        QTest::keyClicks(form->txtComments, start);
        QGuiApplication::clipboard()->setText(pasted);
        QTest::keyClick(form->txtComments, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(form->lblCount->text(), QStringLiteral("300"));
        QCOMPARE(fx->messageTexts(), QStringList({kCommentsFull}));
        click(main->cmdAddressSave);
        QCOMPARE(storedContacts(fx->dbPath()).value(0).value(10), start + pasted);
    }

    void clearEmptiesEveryBoxIncludingTheFax()
    {
        click(main->cmdAddressNew);
        frmAddress* form = entry();
        const QList<QLineEdit*> boxes = form->findChildren<QLineEdit*>();
        QCOMPARE(boxes.size(), 11);
        for (QLineEdit* box : boxes)
            QTest::keyClicks(box, QStringLiteral("12"));
        QTest::keyClicks(form->txtComments, QStringLiteral("note"));
        click(main->cmdAddressClear);
        for (QLineEdit* box : boxes)
            QVERIFY2(box->text().isEmpty(), qPrintable(box->objectName()));
        QCOMPARE(form->txtComments->toPlainText(), QString());
        QCOMPARE(form->lblCount->text(), QStringLiteral("0"));
    }

    void refusedSaveSaysWhyStoresNothingAndShowsNoProgress()
    {
        click(main->cmdAddressNew);
        Db::exec(fx->dbPath(), "CREATE TRIGGER refuse BEFORE INSERT ON tblAddress "
                               "BEGIN SELECT RAISE(ABORT, 'the disk is full'); END");
        QTest::keyClicks(entry()->txtFirstName, QStringLiteral("Anna"));
        click(main->cmdAddressSave);
        QCOMPARE(fx->messageTexts(),
                 QStringList({"The record in tblAddress could not be written: the disk is full."}));
        QCOMPARE(fx->messages[0].icon, MsgIcon::Critical);
        QVERIFY(Db::rows(fx->dbPath(), "tblAddress").isEmpty());
        QVERIFY(!Screens::isLoaded<frmLoadSaving>());
    }

    // Every tool that opens elsewhere closes the entry screen first.
    void toolButtonsUnloadTheEntryScreen_data()
    {
        QTest::addColumn<QString>("tool");
        for (const char* tool : {"cmdAddressBook", "cmdNote", "cmdOrganizer", "cmdEmail", "cmdCheckEmail"})
            QTest::newRow(tool) << QString::fromLatin1(tool);
    }
    void toolButtonsUnloadTheEntryScreen()
    {
        QFETCH(QString, tool);
        click(main->cmdAddressNew);
        QTest::keyClicks(entry()->txtFirstName, QStringLiteral("Anna"));
        click(main->findChild<asxToolButton*>(tool));
        QVERIFY(!entry());
        click(main->cmdAddressClear);
        QCOMPARE(entry()->txtFirstName->text(), QString());
    }

    void exitHidesThePanelOnly()
    {
        click(main->cmdAddressNew);
        click(main->cmdAddressExit);
        QVERIFY(!main->AddressOption->isVisible());
        QVERIFY(entry() && entry()->isVisible());
        click(main->cmdAddressBook);
        QVERIFY(main->AddressOption->isVisible());
    }
};

QTEST_MAIN(TestAddressEntry)
#include "test_address_entry.moc"
