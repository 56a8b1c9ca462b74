#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "NoteTestUtil.h"
#include "kit/Screens.h"
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
    // The selection as "start-end", the end exclusive.
    static QString selection(RichTextBox* box)
    {
        return QStringLiteral("%1-%2").arg(box->SelStart()).arg(box->SelStart() + box->SelLength());
    }
    bool finished()
    {
        pump();
        return fx->messageTexts() == QStringList({"Scrivla 2001 has finished searching the document!"})
               && !Screens::isLoaded<frmFind>();
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

    // Clicks on the find window: M ticks or clears Match Case, F is Find,
    // E is Enter in the search box, R is Replace. After each F, E or R: the
    // note's text, then what is selected, or "finished" for the message that
    // ends the search.
    void sequences_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("find");
        QTest::addColumn<QString>("replace");
        QTest::addColumn<int>("selStart");  // a selection made by hand first
        QTest::addColumn<int>("selLength");
        QTest::addColumn<QString>("clicks");
        QTest::addColumn<QStringList>("steps");
        auto row = [](const char* name, const char* text, const char* find, const char* replace, int selStart,
                      int selLength, const char* clicks, const QStringList& steps) {
            QTest::newRow(name) << text << find << replace << selStart << selLength << clicks << steps;
        };
        row("Find, Enter, Find", "abc abc", "abc", "", 0, 0, "FEF", {"abc abc 0-3", "abc abc 4-7", "abc abc finished"});
        row("case ignored", "abc ABC", "ABC", "", 0, 0, "F", {"abc ABC 0-3"});
        row("case must match", "abc ABC", "ABC", "", 0, 0, "MF", {"abc ABC 4-7"});
        row("no exact match", "abc ABC", "aBc", "", 0, 0, "MF", {"abc ABC finished"});
        row("ticked and cleared", "abc ABC", "ABC", "", 0, 0, "MMF", {"abc ABC 0-3"});
        row("empty search text", "abc", "", "", 0, 0, "F", {"abc finished"});
        row("Replace before Find starts at the top", "one two one", "one", "three", 4, 3, "RRR",
            {"one three one 0-3", "three three one 12-15", "three three three finished"});
        row("replacement never searched again", "cat cat", "cat", "cats", 0, 0, "FRR",
            {"cat cat 0-3", "cats cat 5-8", "cats cats finished"});
    }
    void sequences()
    {
        QFETCH(QString, text);
        QFETCH(QString, find);
        QFETCH(QString, replace);
        QFETCH(int, selStart);
        QFETCH(int, selLength);
        QFETCH(QString, clicks);
        QFETCH(QStringList, steps);
        auto [box, window] = open(text, find, replace);
        box->setSelStart(selStart);
        box->setSelLength(selLength);
        QStringList seen;
        for (QChar c : clicks) {
            if (c == u'E')
                QTest::keyClick(window->Text1, Qt::Key_Return);
            else
                click(c == u'M' ? window->Check1 : c == u'F' ? window->cmdfind : static_cast<QWidget*>(window->Replace));
            if (c != u'M')
                seen << box->Text() + u' ' + (finished() ? QStringLiteral("finished") : selection(box));
        }
        QCOMPARE(seen, steps);
    }

    // The button tells the search state; the message ends the search, and
    // the window opened again starts from the top.
    void findNextUntilFinished()
    {
        auto [box, find] = open(QStringLiteral("abc abc"), QStringLiteral("abc"));
        click(find->cmdfind);
        QCOMPARE(find->cmdfind->text(), QStringLiteral("&Find Next"));
        click(find->cmdfind);
        click(find->cmdfind);
        QVERIFY(finished());
        QCOMPARE(fx->messages.first().title, QStringLiteral("Finished!"));
        QCOMPARE(fx->messages.first().icon, MsgIcon::Information);
        QCOMPARE(fx->messages.first().buttons, MsgButtons::OKOnly);

        click(main->cmdfind);
        frmFind* again = Screens::load<frmFind>();
        QCOMPARE(again->cmdfind->text(), QStringLiteral("&Find"));
        again->Text1->setText(QStringLiteral("abc"));
        box->setSelStart(6);
        click(again->cmdfind);
        QCOMPARE(selection(box), QStringLiteral("0-3"));
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

    // The note closed behind an open find window: its buttons do nothing.
    void noteClosedBehindTheWindow()
    {
        frmFind* find = open(QStringLiteral("abc"), QStringLiteral("abc")).second;
        closeNote(currentNote(main));
        click(find->cmdfind);
        click(find->Replace);
        QVERIFY(fx->messages.isEmpty());
        QCOMPARE(find->cmdfind->text(), QStringLiteral("&Find"));
    }
};

QTEST_MAIN(TestFind)
#include "test_find.moc"
