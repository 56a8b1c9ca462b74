#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include "address/ContactSheet.h"
#include "address/frmAddress.h"
#include "shell/frmMain.h"
#include "controls/Buttons.h"
#include "support/Fixture.h"

// The printed contact sheet, read back from the PDF the printer wrote.
class TestAddressPrint : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<AppFixture> fx;
    frmMain* main = nullptr;

    const QString heading = QStringLiteral("                              Contact Information          5/15/26");

    void print() { QTest::mouseClick(main->cmdAddressPrint, Qt::LeftButton); }

    QString run(const QString& program, const QStringList& arguments)
    {
        QProcess process;
        process.start(program, arguments);
        if (!process.waitForFinished(30000) || process.exitCode() != 0)
            qFatal("%s failed", qPrintable(program));
        return QString::fromUtf8(process.readAllStandardOutput());
    }

    // The sheet's text lines. The sheet is set in a fixed-pitch face of 10
    // points, six points a character, so every blank comes back as one; the
    // page margin is taken off, the first field line being five blanks in.
    QStringList printedLines()
    {
        QStringList lines = run("pdftotext", {"-layout", "-fixed", "6", fx->pdfPath(), "-"}).split('\n');
        while (!lines.isEmpty() && lines.last().trimmed().isEmpty())
            lines.removeLast();
        qsizetype margin = -1;
        for (const QString& line : lines)
            if (line.contains("First Name") && margin < 0)
                margin = line.indexOf("First Name") - 5;
        if (margin < 0)
            return lines;
        for (QString& line : lines) {
            line = line.mid(margin);
            while (line.endsWith(' '))
                line.chop(1);
        }
        return lines;
    }

private slots:
    void init()
    {
        fx = std::make_unique<AppFixture>();
        main = fx->openMainWindow();
        QTest::mouseClick(main->cmdAddressBook, Qt::LeftButton);
    }
    void cleanup() { fx.reset(); }

    void filledSheetCarriesEveryBoxAsTyped()
    {
        QTest::mouseClick(main->cmdAddressNew, Qt::LeftButton);
        frmAddress* form = Screens::load<frmAddress>();
        const QList<QPair<QLineEdit*, const char*>> typed = {
            {form->txtFirstName, "Anna Maria"},  {form->txtLastName, "O'Brien"},     {form->txthomeAddress, "12 High St"},
            {form->txtSuburb, "Carlton"},        {form->txtpostcode, "3053"},        {form->txtemail, "anna@example.org"},
            {form->txtWebPage, "example.org"},   {form->txtHomePhone, "9347 1234"},  {form->txtMobile, "0412 345 678"},
            {form->txtFax, "9347 9999"},         {form->txtICQ, "123456"},
        };
        for (const auto& [box, text] : typed)
            QTest::keyClicks(box, QLatin1String(text));
        QTest::keyClicks(form->txtComments, QStringLiteral("Met at the fair."));
        // Saving clears nothing, so the saved contact prints as it stands.
        QTest::mouseClick(main->cmdAddressSave, Qt::LeftButton);
        print();
        QCOMPARE(printedLines(), QStringList({
                                     heading,
                                     "",
                                     "     First Name          Anna Maria",
                                     "     Last Name            O'Brien",
                                     "",
                                     "     Address               12 High St",
                                     "     Suburb                Carlton",
                                     "     Post Code            3053",
                                     "     Email                  anna@example.org",
                                     "     Web Page             example.org",
                                     "",
                                     "     Phone                  9347 1234",
                                     "     Mobile                 0412 345 678",
                                     "     Fax                     9347 9999",
                                     "     ICQ                   123456",
                                     "",
                                     "     Comment              Met at the fair.",
                                 }));
        QVERIFY(fx->messages.isEmpty());
    }

    void printWithoutEntryScreenGivesTheEmptySheetWithBothRules()
    {
        print();
        QVERIFY(Screens::isLoaded<frmAddress>());
        QCOMPARE(printedLines(), QStringList({heading, "", "     First Name", "     Last Name", "", "     Address",
                                              "     Suburb", "     Post Code", "     Email", "     Web Page", "",
                                              "     Phone", "     Mobile", "     Fax", "     ICQ", "", "     Comment"}));

        // Rows of the page that are dark across most of its width are rules;
        // the heading must stand above the first, every other line between the two.
        const QString base = fx->appDir() + "/page";
        run("pdftoppm", {"-r", "100", "-gray", "-singlefile", fx->pdfPath(), base});
        const QImage page(base + ".pgm");
        QList<int> rules, textRows;
        for (int y = 0; y < page.height(); ++y) {
            int dark = 0;
            for (int x = 0; x < page.width(); ++x)
                dark += qGray(page.pixel(x, y)) < 128;
            if (dark > page.width() * 3 / 4 && (rules.isEmpty() || rules.last() < y - 1))
                rules << y;
            else if (dark > 0 && dark <= page.width() * 3 / 4)
                textRows << y;
        }
        QCOMPARE(rules.size(), 2);
        QVERIFY(textRows.first() < rules[0] && textRows.last() < rules[1]);
        // Only the heading's rows stand above the first rule.
        QVERIFY(std::count_if(textRows.begin(), textRows.end(), [&](int y) { return y < rules[0]; }) < 20);
    }

    void longCommentsGoOnBelowInsteadOfOffThePage()
    {
        QTest::mouseClick(main->cmdAddressNew, Qt::LeftButton);
        QStringList words;
        for (int i = 0; i < 40; ++i)
            words << QStringLiteral("remark%1").arg(i, 2, 10, QLatin1Char('0'));
        Screens::load<frmAddress>()->txtComments->setPlainText(words.join(' '));
        print();
        const QStringList lines = printedLines();
        const qsizetype first = lines.indexOf(QRegularExpression("^     Comment +remark00.*"));
        QVERIFY(first > 0);
        QStringList printed;
        for (qsizetype i = first; i < lines.size(); ++i) {
            QVERIFY2(i == first || lines[i].startsWith(QString(26, ' ') + "remark"), qPrintable(lines[i]));
            printed << lines[i].mid(26).split(' ', Qt::SkipEmptyParts);
        }
        QVERIFY(lines.size() - first > 1);
        QCOMPARE(printed, words);
    }

    void noPrinterSaysSoAndPrintsNothing()
    {
        fx->printerMissing = true;
        print();
        QCOMPARE(fx->messageTexts(), QStringList({"No printer is available."}));
        QCOMPARE(fx->messages[0].icon, MsgIcon::Exclamation);
        QVERIFY(!QFile::exists(fx->pdfPath()));
    }
};

QTEST_MAIN(TestAddressPrint)
#include "test_address_print.moc"
