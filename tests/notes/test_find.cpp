#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "NoteTestUtil.h"
#include "app/Screens.h"
#include "notes/frmFind.h"

using namespace NoteTest;

// The find window driving the active note: the search and replace
// sequences, match case, and the two messages.
class TestFind : public QObject {
    Q_OBJECT

    std::unique_ptr<AppFixture> fx;
    frmMain* main = nullptr;

    // A note holding `text`, and the find window opened for it.
    std::pair<RichTextBox*, frmFind*> open(const QString& text, const QString& find,
                                           const QString& replace = QString())
    {
        RichTextBox* box = newNote(main, text)->RichNote;
        click(main->cmdfind);
        auto* window = Screens::isLoaded<frmFind>() ? Screens::load<frmFind>() : nullptr;
        if (window) {
            window->Text1->setText(find);
            window->Text2->setText(replace);
        }
        return {box, window};
    }
    // The selection as "start-end" (end exclusive), or the caret alone.
    static QString selection(RichTextBox* box)
    {
        return QStringLiteral("%1-%2").arg(box->SelStart()).arg(box->SelStart() + box->SelLength());
    }
    bool finished()
    {
        pump();
        return fx->messageTexts() == QStringList({"Scrivla 2001 has finished searching the document!"}) && !Screens::isLoaded<frmFind>();
    }

private slots:
    void init()
    {
        fx = std::make_unique<AppFixture>();
        main = fx->openMainWindow();
    }
    void cleanup()
    {
        answerNoFromNowOn(*fx);
        fx.reset();
    }

    void windowLooks()
    {
        auto [box, find] = open(QStringLiteral("x"), QString());
        QVERIFY(find && find->isVisible());
        QCOMPARE(find->windowTitle(), QStringLiteral("Find"));
        QCOMPARE(find->pos(), QPoint(267, 267));
        QCOMPARE(find->size(), QSize(333, 97));
        QVERIFY(find->testAttribute(Qt::WA_ShowWithoutActivating));
        const Qt::WindowFlags flags = find->windowFlags();
        QVERIFY((flags & Qt::WindowStaysOnTopHint) && (flags & Qt::Tool) == Qt::Tool);
        QVERIFY(!(flags & (Qt::WindowCloseButtonHint | Qt::WindowMinMaxButtonsHint)));
        QCOMPARE(find->Label1->text() + find->Label2->text() + find->Check1->text(),
                 QStringLiteral("Enter string to find:Replace with:Match Case"));
        QCOMPARE(find->cmdfind->text() + find->Replace->text() + find->cmdCancel->text(),
                 QStringLiteral("&Find&Replace&Cancel"));
        // A second Find click keeps the one window.
        click(main->cmdfind);
        QCOMPARE(Screens::load<frmFind>(), find);
        click(find->cmdCancel);
        pump();
        QVERIFY(!Screens::isLoaded<frmFind>());
    }

    void findThenFindNextUntilFinished()
    {
        auto [box, find] = open(QStringLiteral("abc abc"), QStringLiteral("abc"));
        click(find->cmdfind);
        QCOMPARE(selection(box), QStringLiteral("0-3"));
        QCOMPARE(find->cmdfind->text(), QStringLiteral("&Find Next"));
        // Enter in the search box is Find Next too.
        QTest::keyClick(find->Text1, Qt::Key_Return);
        QCOMPARE(selection(box), QStringLiteral("4-7"));
        QVERIFY(fx->messages.isEmpty());
        click(find->cmdfind);
        QVERIFY(finished());
        QCOMPARE(fx->messages.first().title, QStringLiteral("Finished!"));
        QCOMPARE(fx->messages.first().icon, MsgIcon::Information);
        QCOMPARE(fx->messages.first().buttons, MsgButtons::OKOnly);

        // Opened again, it starts from the top.
        click(main->cmdfind);
        frmFind* again = Screens::load<frmFind>();
        QCOMPARE(again->cmdfind->text(), QStringLiteral("&Find"));
        again->Text1->setText(QStringLiteral("abc"));
        box->setSelStart(6);
        click(again->cmdfind);
        QCOMPARE(selection(box), QStringLiteral("0-3"));
    }

    void matchCase_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("checkClicks");
        QTest::addColumn<QString>("found");  // empty: nothing found
        QTest::newRow("case ignored") << "ABC" << 0 << "0-3";
        QTest::newRow("case must match") << "ABC" << 1 << "4-7";
        QTest::newRow("no exact match") << "aBc" << 1 << "";
        QTest::newRow("ticked and cleared") << "ABC" << 2 << "0-3";
    }

    void matchCase()
    {
        QFETCH(QString, text);
        QFETCH(int, checkClicks);
        QFETCH(QString, found);
        auto [box, find] = open(QStringLiteral("abc ABC"), text);
        for (int i = 0; i < checkClicks; ++i)
            click(find->Check1);
        click(find->cmdfind);
        if (found.isEmpty())
            QVERIFY(finished());
        else
            QCOMPARE(selection(box), found);
    }

    void replaceBeforeFindStartsAtTheTop()
    {
        auto [box, find] = open(QStringLiteral("one two one"), QStringLiteral("one"), QStringLiteral("three"));
        box->setSelStart(4);
        box->setSelLength(3);
        click(find->Replace);
        QCOMPARE(box->Text(), QStringLiteral("one three one"));
        QCOMPARE(selection(box), QStringLiteral("0-3"));
        QCOMPARE(find->cmdfind->text(), QStringLiteral("&Find Next"));
        click(find->Replace);
        QCOMPARE(box->Text(), QStringLiteral("three three one"));
        QCOMPARE(selection(box), QStringLiteral("12-15"));
        click(find->Replace);
        QCOMPARE(box->Text(), QStringLiteral("three three three"));
        QVERIFY(finished());
    }

    void replacementIsNeverSearchedAgain()
    {
        auto [box, find] = open(QStringLiteral("cat cat"), QStringLiteral("cat"), QStringLiteral("cats"));
        click(find->cmdfind);
        click(find->Replace);
        QCOMPARE(selection(box), QStringLiteral("5-8"));
        click(find->Replace);
        QCOMPARE(box->Text(), QStringLiteral("cats cats"));
        QVERIFY(finished());
    }

    void replaceWithNothingSelected()
    {
        auto [box, find] = open(QStringLiteral("abc"), QStringLiteral("abc"), QStringLiteral("x"));
        box->setSelStart(1);
        click(find->Replace);
        QCOMPARE(fx->messageTexts(), QStringList({"You have not found anything to replace!"}));
        QCOMPARE(fx->messages.first().title, QStringLiteral("Error!"));
        QCOMPARE(fx->messages.first().icon, MsgIcon::Exclamation);
        QCOMPARE(box->Text(), QStringLiteral("abc"));
        QCOMPARE(find->cmdfind->text(), QStringLiteral("&Find"));
        QVERIFY(Screens::isLoaded<frmFind>());
    }

    void emptySearchAndNoNote()
    {
        auto [box, find] = open(QStringLiteral("abc"), QString());
        click(find->cmdfind);
        QVERIFY(finished());

        // The note closed behind an open find window: its buttons do nothing.
        click(main->cmdfind);
        find = Screens::load<frmFind>();
        find->Text1->setText(QStringLiteral("abc"));
        closeNote(currentNote(main));
        fx->messages.clear();
        click(find->cmdfind);
        click(find->Replace);
        QVERIFY(fx->messages.isEmpty());
        QCOMPARE(find->cmdfind->text(), QStringLiteral("&Find"));
        Q_UNUSED(box);
    }
};

QTEST_MAIN(TestFind)
#include "test_find.moc"
