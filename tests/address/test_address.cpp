#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <sys/mount.h>
#include <unistd.h>

#include "Contacts.h"
#include "address/frmAddress.h"
#include "address/frmAddressDelete.h"
#include "address/frmAddressEdit.h"
#include "address/frmAddressSearch.h"
#include "controls/Buttons.h"
#include "controls/ListView.h"
#include "kit/StoreStart.h"
#include "shell/frmMain.h"
#include "store/RecordsChanged.h"
#include "support/Fixture.h"
#include "support/Require.h"
#include "support/Run.h"
#include "window/SavingProgress.h"

namespace {
const QStringList kSam1 = {"Sam", "O'Brien", "1 A St", "Kew",     "3101", "sam@x.org",
                           "555", "0411",    "77",     "sam.org", "one"};
const QStringList kAnn = {"Ann", "Jo\"nes", "", "", "", "", "", "", "", "", ""};
const QStringList kSam2 = {"Sam", "Lee", "2 B St", "Lara", "3212", "lee@x.org", "555", "0422", "88", "lee.org", "two"};
}  // namespace

// The contact screens: what a click stores, shows, prints and finds.
class TestAddress : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<AppFixture> fx;

    // Each stored contact as "key:" and its eleven fields.
    QList<QStringList> stored()
    {
        QList<QStringList> result;
        for (const QVariantMap& row : Db::rows(fx->dbPath(), QStringLiteral("tblAddress"))) {
            QStringList values = {row[QStringLiteral("Org_ID")].toString() + ':'};
            for (const QString& field : kContactFields)
                values << row[field].toString();
            result << values;
        }
        return result;
    }
    static QStringList keyed(int key, const QStringList& values)
    {
        return QStringList{QString::number(key) + ':'} + values;
    }
    static QStringList shown(ContactBoxes* s, QPlainTextEdit* comments)
    {
        return {s->txtFirstName->text(), s->txtLastName->text(), s->txthomeAddress->text(), s->txtSuburb->text(),
                s->txtpostcode->text(),  s->txtemail->text(),    s->txtHomePhone->text(),   s->txtMobile->text(),
                s->txtICQ->text(),       s->txtWebPage->text(),  comments->toPlainText()};
    }
    static void type(frmAddress* form, const QStringList& values)
    {
        QLineEdit* const boxes[] = {form->txtFirstName, form->txtLastName, form->txthomeAddress, form->txtSuburb,
                                    form->txtpostcode,  form->txtemail,    form->txtHomePhone,   form->txtMobile,
                                    form->txtICQ,       form->txtWebPage};
        for (int i = 0; i < 10; ++i)
            QTest::keyClicks(boxes[i], values[i]);
        QTest::keyClicks(form->txtComments, values[10]);
    }
    static void clickName(ContactBrowser* screen, int row)
    {
        NameList* list = screen->lstName;
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->rowRect(row).center());
    }
    frmMain* addressPanel()
    {
        frmMain* main = fx->openMainWindow();
        QTest::mouseClick(main->button("cmdAddressBook"), Qt::LeftButton);
        return main;
    }

private slots:
    void init() { fx = std::make_unique<AppFixture>(); }
    void cleanup() { fx.reset(); }

    void entrySaveStoresEveryFieldTrimmedButNeverTheFax()
    {
        frmMain* main = addressPanel();
        QTest::mouseClick(main->button("cmdAddressNew"), Qt::LeftButton);
        frmAddress* form = Screens::load<frmAddress>();
        type(form, {"  Anna Maria ", "O'Brien  ", " 12 High St", "Carlton", " 30 ", "anna@example.org", "9347 1234 ",
                    "0412", "123456", " example.org", "  Met at \"the\" fair. "});
        QTest::keyClicks(form->txtFax, QStringLiteral("9347 9999"));
        QTest::mouseClick(main->button("cmdAddressSave"), Qt::LeftButton);
        QTest::mouseClick(main->button("cmdAddressSave"), Qt::LeftButton);
        const QStringList anna = {"Anna Maria", "O'Brien",          "12 High St",          "Carlton",
                                  "30",         "anna@example.org", "9347 1234",           "0412",
                                  "123456",     "example.org",      "Met at \"the\" fair."};
        QCOMPARE(stored(), QList<QStringList>({keyed(1, anna), keyed(2, anna)}));
        QVERIFY(Screens::isLoaded<frmLoadSaving>() && fx->messages.isEmpty());
        QTest::mouseClick(main->button("cmdAddressClear"), Qt::LeftButton);
        QCOMPARE(shown(form, form->txtComments) << form->txtFax->text(), QStringList(12, QString()));
    }

    void commentsWarnAtTheTwoHundredFiftyFifthCharacter()
    {
        QTest::mouseClick(addressPanel()->button("cmdAddressNew"), Qt::LeftButton);
        frmAddress* form = Screens::load<frmAddress>();
        QTest::keyClicks(form->txtComments, QString(254, 'x'));
        QVERIFY(fx->messages.isEmpty());
        QTest::keyClicks(form->txtComments, QStringLiteral("y"));
        QCOMPARE(form->lblCount->text(), QStringLiteral("255"));
        QCOMPARE(fx->messageBoxes(),
                 QStringList{"Exclamation|Tessaly 2002|Max character is 255 and Comments textg will be disabled "});
        QVERIFY(!form->txtComments->isEnabled());
    }

    void aRefusedSaveSaysWhyAndShowsNoProgress()
    {
        frmMain* main = addressPanel();
        QTest::mouseClick(main->button("cmdAddressNew"), Qt::LeftButton);
        Db::exec(
            fx->dbPath(),
            "CREATE TRIGGER refuse BEFORE INSERT ON tblAddress BEGIN SELECT RAISE(ABORT, 'the disk is full'); END");
        QTest::mouseClick(main->button("cmdAddressSave"), Qt::LeftButton);
        QCOMPARE(fx->messageBoxes(),
                 QStringList{"Critical|Tessaly 2002|The record in tblAddress could not be written: the disk is full."});
        QVERIFY(stored().isEmpty() && !Screens::isLoaded<frmLoadSaving>());
    }

    // The disk fills after the start: the start's check calls the store neither
    // damaged nor sound, each click says the disk is full and stores nothing,
    // and once there is room the same entry's Save stores.
    void aFullDiskIsNamedAndTheEntrySavesOnceThereIsRoom()
    {
        if (::geteuid() != 0)
            SKIP_OR_FAIL(QStringLiteral("mounting a small file system needs root"));
        const QString folder = fx->appDir();
        QVERIFY(::mount("tmpfs", qPrintable(folder), "tmpfs", 0, "size=1m") == 0);
        auto unmount = qScopeGuard([&] { ::umount2(qPrintable(folder), MNT_DETACH); });
        frmMain* main = addressPanel();
        fx->makeDataFolder();
        QFile filler(folder + "/filler");
        QVERIFY(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        while (filler.write(QByteArray(4096, 'f')) == 4096) {
        }
        QSignalSpy check(main->findChild<StoreCheck*>(), &StoreCheck::finished);  // no verdict, no copy
        QVERIFY(check.wait(20000));
        QTest::mouseClick(main->button("cmdAddressNew"), Qt::LeftButton);
        type(Screens::load<frmAddress>(), kAnn);
        QTest::mouseClick(main->button("cmdAddressSave"), Qt::LeftButton);
        const QString full =
            "Critical|Tessaly 2002|The database file " + fx->dbPath() + " could not be opened: the disk is full.";
        QCOMPARE(fx->messageBoxes(),
                 QStringList({"Critical|Tessaly 2002|The database could not be copied to " + fx->dataDir()
                                  + "/Backup/Tessaly-2026-05-15.mdb: the disk is full.",
                              full, full}));
        QVERIFY(filler.remove() && stored().isEmpty());
        QTest::mouseClick(main->button("cmdAddressSave"), Qt::LeftButton);
        QVERIFY(fx->messages.size() == 3 && stored() == QList<QStringList>{keyed(1, kAnn)});
    }

    // A click on a name shows the first contact of that name; a save writes
    // every field of the boxes back to that contact, whichever was changed.
    void editShowsAndSavesTheWholeContact()
    {
        fx->makeDataFolder();
        for (const QStringList& c : {kSam1, kAnn, kSam2})
            insertContact(fx->dbPath(), c);
        // What the card a contact came from holds beyond the fields shows
        // beside the comments, read-only; a kept object of another kind does not.
        Db::exec(fx->dbPath(), "CREATE TABLE tblSyncMap (Kind TEXT, UID TEXT, LocalKey INTEGER)");
        Db::exec(fx->dbPath(), "CREATE TABLE tblSyncKept (Kind TEXT, UID TEXT, Object BLOB, Base TEXT, More TEXT)");
        Db::exec(fx->dbPath(), "INSERT INTO tblSyncMap VALUES ('contact', 'u1', 1), ('appointment', 'u2', 2)");
        Db::exec(fx->dbPath(), "INSERT INTO tblSyncKept VALUES ('contact', 'u1', '', '', 'Birthday: 1984-07-14'), "
                               "('appointment', 'u2', '', '', 'x')");
        auto* edit = Screens::show<frmAddressEdit>();
        clickName(edit, 1);
        QCOMPARE(edit->txtComments->toolTip(), QString());
        clickName(edit, 2);
        QCOMPARE(shown(edit, edit->txtComments), kSam1);
        QCOMPARE(edit->txtComments->toolTip(),
                 QStringLiteral("Also on the card, kept as it came:\nBirthday: 1984-07-14"));
        QCOMPARE(edit->lblCurrent->text() + '/' + edit->lblTotal->text(), QStringLiteral("3/3"));
        edit->txtHomePhone->setText(QStringLiteral(" 999 "));
        edit->txtFax->setText(QStringLiteral("555"));
        QTest::mouseClick(edit->cmdAddressSave, Qt::LeftButton);
        QStringList changed = kSam1;
        changed[6] = QStringLiteral("999");
        QCOMPARE(stored(), QList<QStringList>({keyed(1, changed), keyed(2, kAnn), keyed(3, kSam2)}));
        QVERIFY(Screens::isLoaded<frmLoadSaving>());

        Db::exec(fx->dbPath(), "DELETE FROM tblAddress WHERE Org_ID = 1");
        QTest::mouseClick(edit->cmdAddressSave, Qt::LeftButton);
        QCOMPARE(fx->messageBoxes(), QStringList{"Exclamation|Tessaly 2002|This contact no longer exists."});
    }

    // What another process adds and changes shows in the open list within the
    // watch's second; the chosen name stays chosen, and the contact shown is
    // read again unless it is being typed over.
    void theOpenListFollowsAnotherProcess()
    {
        frmMain* main = fx->openMainWindow();
        fx->makeDataFolder();
        for (const QStringList& c : {kAnn, kSam2})
            insertContact(fx->dbPath(), c);
        main->findChild<DataVersionWatch*>()->check();  // as the window regaining focus: the file is there now
        auto* edit = Screens::show<frmAddressEdit>();
        clickName(edit, 1);
        QSignalSpy told(&RecordsChanged::instance(), &RecordsChanged::changed);
        for (const bool typing : {false, true}) {
            if (typing)
                QTest::keyClicks(edit->txtSuburb, QStringLiteral("X"));
            Db::exec(fx->dbPath(), "INSERT INTO tblAddress (FirstName) VALUES ('Cy'); "
                                   "UPDATE tblAddress SET Mobile = Mobile || '9' WHERE Org_ID = 2");
            QVERIFY(told.wait(3000));
            QCOMPARE(QStringList({edit->lblTotal->text(), QString::number(edit->lstName->currentRow()),
                                  edit->txtMobile->text(), edit->txtSuburb->text()}),
                     typing ? QStringList({"4", "1", "04229", "LaraX"}) : QStringList({"3", "1", "04229", "Lara"}));
        }
    }

    // The total shows whole however many contacts there are.
    void theTotalOfAHundredThousandContactsShowsWhole()
    {
        fx->makeDataFolder();
        Db::exec(fx->dbPath(), "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 100000) "
                               "INSERT INTO tblAddress (FirstName) SELECT 'c' || i FROM n");
        QLabel* total = Screens::show<frmAddressEdit>()->lblTotal;
        QCOMPARE(total->text(), QStringLiteral("100000"));
        QVERIFY(total->fontMetrics().horizontalAdvance(total->text()) <= total->contentsRect().width());
    }

    void deleteAsksAndRemovesExactlyTheShownContact()
    {
        fx->makeDataFolder();
        for (const QStringList& c : {kSam1, kAnn, kSam2})
            insertContact(fx->dbPath(), c);
        auto* del = Screens::show<frmAddressDelete>();
        clickName(del, 2);
        fx->answers = {MsgResult::No, MsgResult::Yes};
        QTest::mouseClick(del->cmdDelete, Qt::LeftButton);
        QCOMPARE(stored().size(), 3);
        QTest::mouseClick(del->cmdDelete, Qt::LeftButton);
        QCOMPARE(fx->messageBoxes(), QStringList(2, "Question|Delete|Are you sure want to delete"));
        QCOMPARE(stored(), QList<QStringList>({keyed(2, kAnn), keyed(3, kSam2)}));
        QCOMPARE(del->lstName->count(), 2);
        QCOMPARE(shown(del, del->txtComments), QStringList(11, QString()));
    }

    // Each field finds its whole value only, and names itself when it finds nothing.
    void searchFindsWholeValuesOfEachField_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("found");
        QTest::addColumn<QString>("notFound");
        QTest::newRow("first name") << "FirstName"
                                    << "Sam"
                                    << "Number: First Name Found"
                                    << " First Name Not Found";
        QTest::newRow("last name") << "LastName"
                                   << "O'Brien"
                                   << "Number: Last Name Found"
                                   << " Last Name Not Found";
        QTest::newRow("phone") << "Phone"
                               << "555"
                               << "Number: Phone Number Found"
                               << " Home Phone Not Found";
        QTest::newRow("email") << "Email"
                               << "sam@x.org"
                               << "Number: Email Found"
                               << " Email Not Found";
        QTest::newRow("icq") << "Icq"
                             << "77"
                             << "Number: ICQ Found"
                             << " Icq Number Not Found";
        QTest::newRow("mobile") << "Mobile"
                                << "0411"
                                << "Number: Mobile number Found"
                                << " Mobile Number Not Found";
    }
    void searchFindsWholeValuesOfEachField()
    {
        QFETCH(QString, field);
        QFETCH(QString, value);
        QFETCH(QString, found);
        QFETCH(QString, notFound);
        fx->makeDataFolder();
        for (const QStringList& c : {kSam1, kAnn, kSam2})
            insertContact(fx->dbPath(), c);
        auto* search = Screens::show<frmAddressSearch>();
        QTest::mouseClick(search->findChild<QPushButton*>(field == "Icq" ? "cmdICQ" : "cmd" + field), Qt::LeftButton);
        QCOMPARE(search->Label1->text(), found);
        auto* box = search->findChild<QLineEdit*>("txtsearch" + field);
        for (const QString& typed : {value, value.chopped(1)}) {
            box->setText(typed);
            QTest::mouseClick(search->findChild<QLabel*>("img" + field), Qt::LeftButton);
        }
        QStringList first;
        for (int c = 0; c < 11; ++c)
            first << search->lstv->itemText(0, c);
        QCOMPARE(first, kSam1);
        QCOMPARE(search->lblPhoneTotal->text(), QString::number(search->lstv->itemCount()));
        QCOMPARE(fx->messageBoxes(), QStringList{"Exclamation|Not Found|" + notFound});
    }

    void searchResultsAddUpUntilAFieldIsChosenAgain()
    {
        fx->makeDataFolder();
        for (const QStringList& c : {kSam1, kAnn, kSam2})
            insertContact(fx->dbPath(), c);
        auto* search = Screens::show<frmAddressSearch>();
        QTest::mouseClick(search->cmdFirstName, Qt::LeftButton);
        for (const char* name : {"Sam", "ann"}) {
            search->txtsearchFirstName->setText(QLatin1String(name));
            QTest::keyClick(search->txtsearchFirstName, Qt::Key_Return);
        }
        QCOMPARE(search->lblPhoneTotal->text(), QStringLiteral("3"));
        QCOMPARE(search->lstv->itemText(2, 1), QStringLiteral("Jo\"nes"));
        QTest::mouseClick(search->cmdMobile, Qt::LeftButton);
        QCOMPARE(search->lstv->itemCount(), 0);
        QTest::keyClicks(search->txtsearchMobile, QStringLiteral("0422"));
        QTest::keyClick(search->txtsearchMobile, Qt::Key_Return);
        QCOMPARE(search->lstv->itemCount(), 0);
    }

    // The sheet, read back from the PDF: a fixed-pitch face of 10 points is six
    // points a character, so every blank comes back as one.
    void printCarriesEveryBoxAsTypedAndLongCommentsGoOnBelow()
    {
        frmMain* main = addressPanel();
        QTest::mouseClick(main->button("cmdAddressNew"), Qt::LeftButton);
        frmAddress* form = Screens::load<frmAddress>();
        type(form, {"Anna", "O'Brien", "12 High St", "Carlton", "3053", "anna@example.org", "9347 1234", "0412 345 678",
                    "123456", "example.org", ""});
        QTest::keyClicks(form->txtFax, QStringLiteral("9347 9999"));
        QStringList words;
        for (int i = 0; i < 21; ++i)
            words << QStringLiteral("remark%1").arg(i, 2, 10, QLatin1Char('0'));
        form->txtComments->setPlainText(words.join(' '));
        QTest::mouseClick(main->button("cmdAddressPrint"), Qt::LeftButton);
        QString text;
        QCOMPARE(run("pdftotext", {"-layout", "-fixed", "6", fx->pdfPath(), "-"}, &text), 0);
        QStringList lines = text.split('\n');
        const qsizetype margin = lines[2].indexOf("First Name") - 5;
        for (QString& line : lines)
            line = line.mid(margin).remove(QRegularExpression(" +$"));
        QCOMPARE(lines.mid(0, 17),
                 QStringList({"                              Contact Information          5/15/26", "",
                              "     First Name          Anna", "     Last Name            O'Brien", "",
                              "     Address               12 High St", "     Suburb                Carlton",
                              "     Post Code            3053", "     Email                  anna@example.org",
                              "     Web Page             example.org", "", "     Phone                  9347 1234",
                              "     Mobile                 0412 345 678", "     Fax                     9347 9999",
                              "     ICQ                   123456", "",
                              "     Comment              " + words.mid(0, 7).join(' ')}));
        QCOMPARE(lines.mid(17, 2), QStringList({QString(26, ' ') + words.mid(7, 7).join(' '),
                                                QString(26, ' ') + words.mid(14).join(' ')}));
    }

    void printWithoutAPrinterSaysSo()
    {
        fx->printerMissing = true;
        QTest::mouseClick(addressPanel()->button("cmdAddressPrint"), Qt::LeftButton);
        QCOMPARE(fx->messageBoxes(), QStringList{"Exclamation|Tessaly 2002|No printer is available."});
    }
};

QTEST_MAIN(TestAddress)
#include "test_address.moc"
