#include <QClipboard>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>
#include <QTextCursor>

#include "NoteTestUtil.h"
#include "kit/Screens.h"
#include "notes/frmFind.h"

using namespace NoteTest;

namespace {
const QString kRedWord = QStringLiteral(R"({\rtf1\ansi\deff0{\fonttbl{\f0\fswiss Arial;}}{\colortbl;\red255\green0\blue0;})"
                                        R"(\f0\fs20 plain \b\cf1 red\b0\cf0  end})");
const QString kRed = QStringLiteral("Arial 10 b #ff0000"), kPlain = QStringLiteral("Arial 10 #000000");

// How the character at `position` is drawn: family, size, bold, colour.
QString look(RichTextBox* box, int position)
{
    QTextCursor cursor(box->document());
    cursor.setPosition(position + 1);
    const QTextCharFormat f = cursor.charFormat();
    return QStringLiteral("%1 %2 %3%4")
        .arg(f.property(QTextFormat::FontFamilies).toStringList().value(0))
        .arg(f.fontPointSize())
        .arg(f.fontWeight() >= QFont::Bold ? QStringLiteral("b ") : QString())
        .arg(f.foreground().color().name());
}
}  // namespace

// Note windows, their files and the note panel's commands, driven through
// the main window's buttons.
class TestNotes : public QObject {
    Q_OBJECT

    std::unique_ptr<AppFixture> fx;
    frmMain* main = nullptr;
    QString noteDir() const { return fx->appDir() + QStringLiteral("/Note/"); }
    // The file dialogs shown so far, each as "title|folder|filter".
    QStringList dialogs() const
    {
        QStringList shown;
        for (const FileDialogRequest& r : fx->fileRequests)
            shown << QStringList({r.title, r.folder, r.filter}).join(u'|');
        return shown;
    }
    QString dialog(const char* title) const { return QStringList({title, noteDir(), "Note (*.nte)"}).join(u'|'); }

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

    void captionsCountNotesAndPanelStays()
    {
        QCOMPARE(main->windowTitle(), QStringLiteral("Tessaly 2002"));
        QVERIFY(!main->NoteOption->isVisible());
        click(main->cmdNote);
        QCOMPARE(main->windowTitle(), QStringLiteral("Tessaly 2001 [Doc 1]"));
        QVERIFY(main->NoteOption->isVisible());
        frmNote* first = currentNote(main);
        QVERIFY(first);
        QCOMPARE(first->windowTitle(), QString());
        QVERIFY(first->parentWidget()->isMaximized());

        click(main->cmdNew);
        click(main->cmdNew);
        QCOMPARE(main->windowTitle(), QStringLiteral("Tessaly 2001 [Doc 3]"));
        closeNote(first);
        QCOMPARE(main->windowTitle(), QStringLiteral("Tessaly 2001 "));
        QCOMPARE(openNotes(main).size(), 2);

        // Neither the panel's Exit nor another tool closes a note.
        click(main->cmdNoteExit);
        click(main->cmdAddressBook);
        QVERIFY(!main->NoteOption->isVisible());
        QCOMPARE(openNotes(main).size(), 2);
        click(main->cmdNew);
        QCOMPARE(main->windowTitle(), QStringLiteral("Tessaly 2001 [Doc 4]"));
        QVERIFY(main->NoteOption->isVisible());
    }

    void boxFillsTheWindowAndSurvivesTinySizes()
    {
        frmNote* note = newNote(main);
        RichTextBox* box = note->RichNote;
        QCOMPARE(box->geometry(), QRect(3, 3, note->width() - 6, note->height() - 6));
        QCOMPARE(box->RightMargin(), box->width() * 15 - 400);
        const int margin = box->RightMargin();
        // Too narrow for the margin: the box follows, the margin stays.
        note->resize(20, 40);
        QCOMPARE(box->geometry(), QRect(3, 3, 14, 34));
        QCOMPARE(box->RightMargin(), margin);
        // Smaller than the border: nothing moves.
        note->resize(4, 4);
        QCOMPARE(box->geometry(), QRect(3, 3, 14, 34));
    }

    void saveThenSaveAgainAsksOnce()
    {
        frmNote* note = newNote(main, kRedWord);
        const QString path = noteDir() + QStringLiteral("first.nte");
        fx->fileAnswers = {path};
        click(main->cmdSave);
        QCOMPARE(dialogs(), QStringList{dialog("Save")});
        QCOMPARE(fx->fileRequests.first().kind, FileDialogRequest::Save);
        QCOMPARE(note->windowTitle(), path);
        QCOMPARE(readFile(path), note->RichNote->TextRTF().toLatin1());

        QTest::keyClicks(note->RichNote, QStringLiteral("X"));
        click(main->cmdSave);
        QCOMPARE(dialogs().size(), 1);
        QCOMPARE(readFile(path), note->RichNote->TextRTF().toLatin1() + "\r\n");

        RichTextBox reread;
        reread.LoadFile(path);
        QCOMPARE(reread.Text(), QStringLiteral("Xplain red end"));
        QCOMPARE(look(&reread, 7), kRed);
        QCOMPARE(look(&reread, 5), kPlain);
        QVERIFY(fx->messages.isEmpty());
    }

    void saveAsMovesTheNoteAndLeavesTheOldFile()
    {
        frmNote* note = newNote(main, kRedWord);
        const QString a = noteDir() + QStringLiteral("a.nte"), b = noteDir() + QStringLiteral("b.nte");
        fx->fileAnswers = {a, b};
        click(main->cmdSave);
        const QByteArray aBytes = readFile(a);
        click(main->cmdSaveAs);
        QCOMPARE(dialogs().last(), dialog("Save As"));
        QCOMPARE(note->windowTitle(), b);
        QCOMPARE(readFile(b), note->RichNote->TextRTF().toLatin1() + "\r\n");

        QTest::keyClicks(note->RichNote, QStringLiteral("Y"));
        click(main->cmdSave);
        QCOMPARE(fx->fileRequests.size(), 2);
        QCOMPARE(readFile(b), note->RichNote->TextRTF().toLatin1() + "\r\n");
        QCOMPARE(readFile(a), aBytes);

        // Cancelled: nothing changes.
        const QByteArray bBytes = readFile(b);
        click(main->cmdSaveAs);
        QCOMPARE(fx->fileRequests.size(), 3);
        QCOMPARE(note->windowTitle(), b);
        QCOMPARE(readFile(b), bBytes);
    }

    void nameWithoutExtensionIsKeptAsTyped()
    {
        for (asxToolButton* button : {main->cmdSave, main->cmdSaveAs}) {
            frmNote* note = newNote(main, QStringLiteral("list"));
            const QString path = noteDir() + button->objectName();
            fx->fileAnswers = {path};
            click(button);
            QCOMPARE(note->windowTitle(), path);
            QVERIFY(QFileInfo(path).isFile());
        }
        QCOMPARE(QDir(noteDir()).entryList(QDir::Files), QStringList({"cmdSave", "cmdSaveAs"}));
    }

    void openWithNoNoteOpensOneFirst()
    {
        click(main->cmdOpen);
        QCOMPARE(main->windowTitle(), QStringLiteral("Tessaly 2001 [Doc 1]"));
        QCOMPARE(dialogs(), QStringList{dialog("Open")});
        QCOMPARE(fx->fileRequests.first().kind, FileDialogRequest::Open);
        // Cancelled: the empty note stays.
        QCOMPARE(openNotes(main).size(), 1);
        QCOMPARE(currentNote(main)->windowTitle(), QString());
        QCOMPARE(currentNote(main)->RichNote->Text(), QString());
        QVERIFY(fx->messages.isEmpty());
    }

    void openReadsRtfAndPlainTextAndSaysWhyNot()
    {
        const QString rich = noteDir() + QStringLiteral("rich.nte"), plain = noteDir() + QStringLiteral("plain.nte"),
                      missing = noteDir() + QStringLiteral("missing.nte");
        writeFile(rich, kRedWord.toLatin1() + "\r\n");
        writeFile(plain, "{not rtf}\r\nsecond line");
        frmNote* note = newNote(main);
        fx->fileAnswers = {rich, plain, missing};

        click(main->cmdOpen);
        QCOMPARE(note->windowTitle(), rich);
        QCOMPARE(note->RichNote->Text(), QStringLiteral("plain red end"));
        QCOMPARE(look(note->RichNote, 7), kRed);

        click(main->cmdOpen);
        QCOMPARE(note->windowTitle(), plain);
        QCOMPARE(note->RichNote->Text(), QStringLiteral("{not rtf}\nsecond line"));

        click(main->cmdOpen);
        QCOMPARE(fx->messages.size(), 1);
        QCOMPARE(fx->messages.first().text, QStringLiteral("Cannot open \"%1\": No such file or directory").arg(missing));
        QCOMPARE(fx->messages.first().icon, MsgIcon::Critical);
        QCOMPARE(note->windowTitle(), plain);
        QCOMPARE(note->RichNote->Text(), QStringLiteral("{not rtf}\nsecond line"));
        QCOMPARE(openNotes(main).size(), 1);
    }

    void failedWritesSayWhyAndKeepTheFileOnDisk()
    {
        writeFile(noteDir() + QStringLiteral("file"), "x");
        const QString bad = noteDir() + QStringLiteral("file/n.nte"), good = noteDir() + QStringLiteral("good.nte");
        const QString reason = QStringLiteral("Cannot save \"%1\": ");
        frmNote* note = newNote(main, kRedWord);

        fx->fileAnswers = {bad};
        click(main->cmdSave);
        QCOMPARE(fx->messages.size(), 1);
        QVERIFY2(fx->messages.last().text.startsWith(reason.arg(bad)), qPrintable(fx->messages.last().text));
        QCOMPARE(fx->messages.last().icon, MsgIcon::Critical);
        // Still unnamed, so the next Save asks again.
        QCOMPARE(note->windowTitle(), QString());

        fx->fileAnswers = {good, bad};
        click(main->cmdSave);
        const QByteArray saved = readFile(good);
        QTest::keyClicks(note->RichNote, QStringLiteral("changed "));
        click(main->cmdSaveAs);
        QCOMPARE(fx->messages.size(), 2);
        QVERIFY(fx->messages.last().text.startsWith(reason.arg(bad)));
        QCOMPARE(note->windowTitle(), good);
        QCOMPARE(readFile(good), saved);
        QVERIFY(note->hasUnsavedChanges());
    }

    void closingAnUnsavedNoteAsks()
    {
        const QString path = noteDir() + QStringLiteral("kept.nte");
        // Answer, file chosen if the save dialog comes, whether the window goes.
        const std::tuple<MsgResult, std::optional<QString>, bool> cases[] = {
            {MsgResult::Cancel, std::nullopt, false},
            {MsgResult::No, std::nullopt, true},
            {MsgResult::Yes, std::nullopt, false},
            {MsgResult::Yes, path, true},
        };
        for (const auto& [answer, file, closes] : cases) {
            QPointer<frmNote> note = newNote(main);
            QTest::keyClicks(note->RichNote, QStringLiteral("words"));
            fx->messages.clear();
            fx->answers = {answer, MsgResult::No};
            fx->fileAnswers = {file};
            closeNote(note);
            QCOMPARE(fx->messageTexts(), QStringList({"Save changes to this note?"}));
            QCOMPARE(fx->messages.first().buttons, MsgButtons::YesNoCancel);
            QCOMPARE(note.isNull(), closes);
            if (note)
                closeNote(note);
        }
        RichTextBox reread;
        reread.LoadFile(path);
        QCOMPARE(reread.Text(), QStringLiteral("words"));

        // Nothing to lose: untouched, just saved, or emptied again while unnamed.
        fx->messages.clear();
        newNote(main);
        newNote(main, QStringLiteral("text"));
        fx->fileAnswers = {noteDir() + QStringLiteral("saved.nte")};
        click(main->cmdSave);
        QTest::keyClicks(newNote(main)->RichNote, QStringLiteral("a"));
        QTest::keyClick(currentNote(main)->RichNote, Qt::Key_Backspace);
        for (frmNote* note : openNotes(main))
            closeNote(note);
        QCOMPARE(openNotes(main).size(), 0);
        QVERIFY(fx->messages.isEmpty());
    }

    void exitingTheMainWindowAsksForEachUnsavedNote()
    {
        QTest::keyClicks(newNote(main)->RichNote, QStringLiteral("one"));
        newNote(main);
        QTest::keyClicks(newNote(main)->RichNote, QStringLiteral("three"));
        fx->answers = {MsgResult::Cancel, MsgResult::Cancel};
        main->mnuExit->trigger();
        pump();
        QCOMPARE(fx->messages.size(), 2);
        QVERIFY(Screens::isLoaded<frmMain>());
        QCOMPARE(openNotes(main).size(), 2);

        fx->answers = {MsgResult::No, MsgResult::No};
        main->mnuExit->trigger();
        pump();
        QCOMPARE(fx->messageTexts(), QStringList(4, QStringLiteral("Save changes to this note?")));
        QVERIFY(!Screens::isLoaded<frmMain>());
        main = nullptr;
    }

    void openOverUnsavedTextAsksFirst()
    {
        frmNote* note = newNote(main);
        QTest::keyClicks(note->RichNote, QStringLiteral("draft"));
        fx->answers = {MsgResult::Cancel};
        click(main->cmdOpen);
        QCOMPARE(fx->messageTexts(), QStringList({"Save changes to this note?"}));
        QVERIFY(fx->fileRequests.isEmpty());
        QCOMPARE(note->RichNote->Text(), QStringLiteral("draft"));
    }

    void copyAndPasteKeepTheFormat()
    {
        RichTextBox* box = newNote(main, kRedWord)->RichNote;
        QClipboard* clipboard = QGuiApplication::clipboard();
        box->setSelStart(6);
        box->setSelLength(3);
        click(main->cmdCopy);
        QVERIFY2(clipboard->text().startsWith(QStringLiteral("{\\rtf1")), qPrintable(clipboard->text()));
        box->setSelStart(13);
        click(main->cmdPaste);
        QCOMPARE(box->Text(), QStringLiteral("plain red endred"));
        QCOMPARE(look(box, 14), kRed);
        QCOMPARE(look(box, 12), kPlain);

        box->setSelStart(0);
        box->setSelLength(6);
        click(main->cmdCut);
        QCOMPARE(box->Text(), QStringLiteral("red endred"));
        box->setSelStart(10);
        click(main->cmdPaste);
        QCOMPARE(box->Text(), QStringLiteral("red endredplain "));
        QCOMPARE(look(box, 8), kRed);
        QCOMPARE(look(box, 11), kPlain);

        // Copying nothing and pasting it changes nothing.
        click(main->cmdCopy);
        click(main->cmdPaste);
        QCOMPARE(box->Text(), QStringLiteral("red endredplain "));

        // Text from elsewhere goes in as typed.
        clipboard->setText(QStringLiteral("{plain}"));
        click(main->cmdPaste);
        QCOMPARE(box->Text(), QStringLiteral("red endredplain {plain}"));
    }

    void dateAndTime_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("selStart");  // -1: no note open
        QTest::addColumn<int>("selLength");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<int>("caret");
        QTest::newRow("date opens a note") << "cmdDate" << -1 << 0 << "5/15/26" << 7;
        QTest::newRow("date at the insertion point") << "cmdDate" << 2 << 0 << "ab5/15/26cdef" << 9;
        QTest::newRow("date over the selection") << "cmdDate" << 2 << 2 << "ab5/15/26ef" << 9;
        QTest::newRow("time opens a note") << "cmdTime" << -1 << 0 << "10:30:05 AM" << 11;
        QTest::newRow("time over the selection") << "cmdTime" << 0 << 6 << "10:30:05 AM" << 11;
    }

    void dateAndTime()
    {
        QFETCH(QString, button);
        QFETCH(int, selStart);
        QFETCH(int, selLength);
        QFETCH(QString, expected);
        QFETCH(int, caret);
        if (selStart >= 0) {
            RichTextBox* box = newNote(main, QStringLiteral("abcdef"))->RichNote;
            box->setSelStart(selStart);
            box->setSelLength(selLength);
        }
        click(main->NoteOption->findChild<QWidget*>(button));
        QCOMPARE(openNotes(main).size(), 1);
        QCOMPARE(main->windowTitle(), QStringLiteral("Tessaly 2001 [Doc 1]"));
        RichTextBox* box = currentNote(main)->RichNote;
        QCOMPARE(box->Text(), expected);
        QCOMPARE(box->SelStart(), caret);
        QCOMPARE(box->SelLength(), 0);
    }

    void editingWithoutNoteOpensNothing()
    {
        // Copy and Cut still empty the clipboard; the rest do nothing.
        QGuiApplication::clipboard()->setText(kRedWord);
        for (asxToolButton* button : {main->cmdPaste, main->cmdSelectAll, main->cmdUndo, main->cmdfind, main->cmdCopy})
            click(button);
        pump();
        QCOMPARE(QGuiApplication::clipboard()->text(), QString());
        QCOMPARE(openNotes(main).size(), 0);
        QCOMPARE(main->windowTitle(), QStringLiteral("Tessaly 2002"));
        QVERIFY(!Screens::isLoaded<frmFind>());
        QVERIFY(fx->messages.isEmpty());
    }

    void selectAllUndoAndHelp()
    {

        RichTextBox* box = newNote(main)->RichNote;
        click(main->cmdSelectAll);
        QCOMPARE(box->SelStart(), 0);
        QCOMPARE(box->SelLength(), 0);
        box->setTextRTF(QStringLiteral(R"({\rtf1 one\par two})"));
        box->setSelStart(5);
        click(main->cmdSelectAll);
        QCOMPARE(box->SelStart(), 0);
        QCOMPARE(box->SelLength(), 7);

        box->setSelStart(3);
        click(main->cmdDate);
        QCOMPARE(box->Text(), QStringLiteral("one5/15/26\ntwo"));
        click(main->cmdUndo);
        QVERIFY(waitFor([&] { return box->Text() == QStringLiteral("one\ntwo"); }, 1000));

        click(main->cmdHelp);
        QCOMPARE(fx->messages.size(), 1);
        QCOMPARE(fx->messages.first().text, QStringLiteral("Will be saved as *.nte"));
        QCOMPARE(fx->messages.first().icon, MsgIcon::Question);
        QCOMPARE(fx->messages.first().buttons, MsgButtons::OKOnly);
        QCOMPARE(fx->messages.first().title, QStringLiteral("Tessaly 2002"));
    }

    void printGoesToTheDefaultPrinter()
    {
        click(main->cmdPrint);
        QVERIFY(!QFileInfo::exists(fx->pdfPath()));
        newNote(main, kRedWord);
        fx->printerMissing = true;
        click(main->cmdPrint);
        QCOMPARE(fx->messageTexts(), QStringList({"No printer is available to print this note."}));
        QVERIFY(!QFileInfo::exists(fx->pdfPath()));

        fx->printerMissing = false;
        click(main->cmdPrint);
        QProcess pdftotext;
        pdftotext.start(QStringLiteral("pdftotext"), {fx->pdfPath(), QStringLiteral("-")});
        QVERIFY(pdftotext.waitForFinished());
        // The note, then its page number.
        QCOMPARE(QString::fromUtf8(pdftotext.readAllStandardOutput()).trimmed(), QStringLiteral("plain red end\n\n1"));
        QCOMPARE(fx->messages.size(), 1);
    }
};

QTEST_MAIN(TestNotes)
#include "test_notes.moc"
