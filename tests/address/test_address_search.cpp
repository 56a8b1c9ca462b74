#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "Contacts.h"
#include "address/frmAddressSearch.h"
#include "controls/ListView.h"

// The search screen: six fields, exact matches, results that add up until a field is chosen.
class TestAddressSearch : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<AppFixture> fx;
    frmAddressSearch* search = nullptr;

    const QStringList sam1 = {"Sam", "O'Brien", "1 A St", "Kew", "3101", "sam@x.org", "555", "0411", "77", "sam.org", "one"};
    const QStringList sam2 = {"Sam", "Lee", "2 B St", "Lara", "3212", "lee@x.org", "555", "0422", "88", "lee.org", "two"};
    const QStringList ann = {"Ann", "Smith", "", "", "", "", "", "", "", "", ""};

    QList<QStringList> results()
    {
        QList<QStringList> rows;
        for (int r = 0; r < search->lstv->itemCount(); ++r) {
            QStringList row;
            for (int c = 0; c < 11; ++c)
                row << search->lstv->itemText(r, c);
            rows << row;
        }
        return rows;
    }
    void choose(QPushButton* fieldButton) { QTest::mouseClick(fieldButton, Qt::LeftButton); }
    void find(QLineEdit* box, QLabel* picture, const QString& value)
    {
        box->clear();
        QTest::keyClicks(box, value);
        QTest::mouseClick(picture, Qt::LeftButton);
    }

private slots:
    void init()
    {
        fx = std::make_unique<AppFixture>();
        fx->makeDataFolder();
        for (const QStringList& c : {sam1, ann, sam2})
            insertContact(fx->dbPath(), c);
        search = Screens::show<frmAddressSearch>();
    }
    void cleanup() { fx.reset(); }

    // Each field finds its whole value only, and names itself when it finds nothing.
    void eachFieldFindsExactValues_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("part");
        QTest::addColumn<QString>("found");
        QTest::addColumn<QString>("notFound");
        QTest::newRow("first name") << "FirstName" << "Sam" << "Sa" << "Number: First Name Found" << " First Name Not Found";
        QTest::newRow("last name") << "LastName" << "O'Brien" << "O'Brie" << "Number: Last Name Found" << " Last Name Not Found";
        QTest::newRow("phone") << "Phone" << "555" << "55" << "Number: Phone Number Found" << " Home Phone Not Found";
        QTest::newRow("email") << "Email" << "sam@x.org" << "sam" << "Number: Email Found" << " Email Not Found";
        QTest::newRow("icq") << "Icq" << "77" << "7" << "Number: ICQ Found" << " Icq Number Not Found";
        QTest::newRow("mobile") << "Mobile" << "0411" << "041" << "Number: Mobile number Found" << " Mobile Number Not Found";
    }
    void eachFieldFindsExactValues()
    {
        QFETCH(QString, field);
        QFETCH(QString, value);
        QFETCH(QString, part);
        QFETCH(QString, found);
        QFETCH(QString, notFound);
        auto* button = search->findChild<QPushButton*>(field == "Icq" ? "cmdICQ" : "cmd" + field);
        auto* box = search->findChild<QLineEdit*>("txtsearch" + field);
        auto* picture = search->findChild<QLabel*>("img" + field);
        choose(button);
        QCOMPARE(search->Label1->text(), found);
        QCOMPARE(search->lblPhoneTotal->text(), QStringLiteral("0"));
        QVERIFY(box->isEnabled() && picture->isVisible());
        QCOMPARE(search->focusWidget(), box);

        find(box, picture, value);
        QCOMPARE(results().value(0), sam1);
        QCOMPARE(search->lblPhoneTotal->text(), QString::number(results().size()));
        QVERIFY(fx->messages.isEmpty());

        find(box, picture, part);
        QCOMPARE(fx->messages.size(), 1);
        QCOMPARE(fx->messages[0].text, notFound);
        QCOMPARE(fx->messages[0].title, QStringLiteral("Not Found"));
        QCOMPARE(fx->messages[0].icon, MsgIcon::Exclamation);
        QCOMPARE(results().value(0), sam1);
    }

    void searchesAddUpUntilAFieldButton()
    {
        choose(search->cmdFirstName);
        find(search->txtsearchFirstName, search->imgFirstName, QStringLiteral("Sam"));
        QCOMPARE(results(), QList<QStringList>({sam1, sam2}));
        QCOMPARE(search->lblPhoneTotal->text(), QStringLiteral("2"));
        find(search->txtsearchFirstName, search->imgFirstName, QStringLiteral("Ann"));
        QCOMPARE(results(), QList<QStringList>({sam1, sam2, ann}));
        QCOMPARE(search->lblPhoneTotal->text(), QStringLiteral("3"));
        // Columns follow their contents: the widest address is wider than the header.
        QVERIFY(search->lstv->columnWidth(2) >= search->lstv->fontMetrics().horizontalAdvance("Home Address"));

        choose(search->cmdFirstName);
        QCOMPARE(results(), QList<QStringList>());
        QCOMPARE(search->lblPhoneTotal->text(), QStringLiteral("0"));
    }

    void enterSearchesInGreyedPhoneBoxButNotInTheMobileBox()
    {
        for (QLineEdit* box : search->findChildren<QLineEdit*>())
            QVERIFY2(!box->isEnabled(), qPrintable(box->objectName()));
        choose(search->cmdFirstName);
        QVERIFY(!search->txtsearchLastName->isEnabled());
        QVERIFY(search->txtsearchPhone->isEnabled());
        QVERIFY(!search->imgPhone->isVisible());
        QTest::keyClicks(search->txtsearchPhone, QStringLiteral("555"));
        QTest::keyClick(search->txtsearchPhone, Qt::Key_Return);
        QCOMPARE(results(), QList<QStringList>({sam1, sam2}));
        QCOMPARE(search->Label1->text(), QStringLiteral("Number: First Name Found"));

        choose(search->cmdMobile);
        QTest::keyClicks(search->txtsearchMobile, QStringLiteral("0422"));
        QTest::keyClick(search->txtsearchMobile, Qt::Key_Return);
        QVERIFY(results().isEmpty());
        QVERIFY(fx->messages.isEmpty());
        QTest::mouseClick(search->imgMobile, Qt::LeftButton);
        QCOMPARE(results(), QList<QStringList>({sam2}));
    }

    void emptyValueFindsContactsSavedEmptyAndQuotesAreJustCharacters()
    {
        insertContact(fx->dbPath(), {"x' OR '1'='1", "Quote\"d"});
        choose(search->cmdEmail);
        QTest::keyClick(search->txtsearchEmail, Qt::Key_Return);
        QCOMPARE(search->lblPhoneTotal->text(), QStringLiteral("2"));
        choose(search->cmdFirstName);
        find(search->txtsearchFirstName, search->imgFirstName, QStringLiteral("x' OR '1'='1"));
        QCOMPARE(search->lblPhoneTotal->text(), QStringLiteral("1"));
        choose(search->cmdLastName);
        find(search->txtsearchLastName, search->imgLastName, QStringLiteral("Quote\"d"));
        QCOMPARE(results().value(0).value(0), QStringLiteral("x' OR '1'='1"));
        QVERIFY(fx->messages.isEmpty());
    }
};

QTEST_MAIN(TestAddressSearch)
#include "test_address_search.moc"
