#include <QTest>
#include <QtWidgets>

#include <sys/mount.h>
#include <unistd.h>

#include "controls/Buttons.h"
#include "controls/RichTextBox.h"
#include "notes/frmFind.h"
#include "notes/frmNote.h"
#include "shell/frmMain.h"
#include "support/Files.h"
#include "support/Fixture.h"
#include "support/Require.h"
#include "window/LoadingProgress.h"

namespace {
const QString kRed = QStringLiteral(
    R"({\rtf1\ansi{\fonttbl{\f0 Arial;}}{\colortbl;\red255\green0\blue0;}\f0 plain \b\cf1 red\b0\cf0  end})");
void click(QWidget* w)
{
    QTest::mouseClick(w, Qt::LeftButton);
}
QByteArray bytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}
}  // namespace

// The notes as a person drives them through the note panel: what each click
// writes, shows or asks.
class TestNotes : public QObject {
    Q_OBJECT
    std::unique_ptr<AppFixture> fx;
    frmMain* main = nullptr;
    QString dir() const { return fx->appDir() + QStringLiteral("/Note/"); }
    frmNote* note() const
    {
        auto* sub = main->mdiArea()->currentSubWindow();
        return sub ? qobject_cast<frmNote*>(sub->widget()) : nullptr;
    }
    frmNote* newNote(const QString& typed = {})
    {
        press("cmdNew"), QTest::keyClicks(note()->RichNote, typed);
        return note();
    }
    void close(frmNote* n) { n->parentWidget()->close(), pump(); }
    void press(const char* button) const { click(main->button(button)); }
    QWidget* panel() const { return main->findChild<QWidget*>("NoteOption"); }

private slots:
    void init() { main = (fx = std::make_unique<AppFixture>())->openMainWindow(); }
    void cleanup() { fx->answers = QList<MsgResult>(50, MsgResult::No), fx.reset(); }

    void captionsCountNotesAndThePanelStays()
    {
        frmNote* first = (press("cmdNote"), note());
        QVERIFY(panel()->isVisible() && first->parentWidget()->isMaximized()
                && (newNote(), newNote(), close(first), true));
        QCOMPARE(main->windowTitle(), QStringLiteral("Tessaly 2001 "));
        press("cmdNoteExit");
        QVERIFY(!panel()->isVisible() && main->mdiArea()->findChildren<frmNote*>().size() == 2 && newNote());
        QVERIFY(panel()->isVisible() && main->windowTitle() == QStringLiteral("Tessaly 2001 [Doc 4]"));
    }

    // The first save writes the box's RTF, later ones add CR LF; a name is kept as typed.
    void saveAsksOnceThenSaveAs()
    {
        frmNote* n = newNote(QStringLiteral("note"));
        const QString a = dir() + "a", b = dir() + "b.nte";
        fx->fileAnswers = {a, b, std::nullopt};
        press("cmdSave");
        QCOMPARE(bytes(a), n->RichNote->TextRTF().toLatin1());
        QTest::keyClicks(n->RichNote, QStringLiteral("X")), press("cmdSave"), press("cmdSaveAs");
        const QByteArray saved = bytes(a);
        QVERIFY(saved == n->RichNote->TextRTF().toLatin1() + "\r\n" && bytes(b) == saved && n->windowTitle() == b);
        QTest::keyClicks(n->RichNote, QStringLiteral("Y")), press("cmdSaveAs"),
            press("cmdSave");  // that Save As is cancelled
        QString dialogs;
        for (const FileDialogRequest& r : fx->fileRequests)
            dialogs += QStringList({r.title, r.folder, r.filter, ""}).join(u'|');
        QCOMPARE(dialogs,
                 QStringLiteral("Save|%1|Note (*.nte)|Save As|%1|Note (*.nte)|Save As|%1|Note (*.nte)|").arg(dir()));
        QVERIFY(bytes(a) == saved && filesIn(dir()) == QStringList({"a", "b.nte"}));
    }

    void openReadsTheFileOrSaysWhyNot()
    {
        const QString r = dir() + "r.nte";
        QVERIFY(writeFile(r, kRed.toLatin1()));
        fx->fileAnswers = {r, dir() + "gone.nte"};
        press("cmdOpen");  // no note open: one opens first
        frmNote* n = note();
        QVERIFY(n->windowTitle() == r && n->RichNote->Text() == QStringLiteral("plain red end"));
        press("cmdOpen");
        QCOMPARE(fx->messageBoxes(), QStringList({"Critical|Tessaly 2002|Cannot open \"" + dir()
                                                  + "gone.nte\": No such file or directory"}));
        fx->answers = {MsgResult::Cancel}, QTest::keyClicks(n->RichNote, QStringLiteral("draft")), press("cmdOpen");
        QVERIFY(fx->messageTexts().last() == QStringLiteral("Save changes to this note?")
                && fx->fileRequests.size() == 2);
    }

    // On a full disk (the atomic write's own failures are its test's) the
    // user hears why, the file stays, and the note stays unsaved and unnamed.
    void failedSaveKeepsTheNoteUnsaved()
    {
        if (::geteuid() != 0)
            SKIP_OR_FAIL(QStringLiteral("mounting a small file system needs root"));
        const QString folder = dir() + "fs", path = folder + "/n.nte";
        QVERIFY(QDir().mkpath(folder) && ::mount("tmpfs", qPrintable(folder), "tmpfs", 0, "size=64k") == 0);
        auto unmount = qScopeGuard([&] { ::umount2(qPrintable(folder), MNT_DETACH); });
        for (QFile filler(folder + "/filler"); const bool named : {false, true}) {
            frmNote* n = newNote(QStringLiteral("old text"));
            fx->messages.clear(), fx->fileAnswers = {path, path};
            if (named)
                press("cmdSave"), QTest::keyClicks(n->RichNote, QStringLiteral("new"));
            const QByteArray old = bytes(path);
            if (filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
                while (filler.write(QByteArray(4096, 'f')) == 4096) {
                }
            press("cmdSave");
            QCOMPARE(fx->messageBoxes(),
                     QStringList({"Critical|Tessaly 2002|Cannot save \"" + path + "\": No space left on device"}));
            QVERIFY(bytes(path) == old && n->hasUnsavedChanges() && n->windowTitle() == (named ? path : QString()));
            filler.remove();
        }
    }

    // Over 20 MB a progress window shows while the file is read; the event loop
    // runs all along, and Cancel leaves the note as it was.
    void hugeFileOpensBehindAProgressWindow()
    {
        const QString big = dir() + "big.nte";
        QVERIFY(writeFile(big, QByteArray(99, 'a').append('\n').repeated(220000)));
        bool cancel = true;
        QStringList seen;
        QTimer watch;
        connect(&watch, &QTimer::timeout, this, [&] {
            if (auto* w = visibleWindow<LoadingProgress>(); w && (seen << w->windowTitle(), cancel))
                click(w->cmdCancel);
        });
        watch.start(0);
        fx->fileAnswers = {big, big};
        press("cmdOpen");
        QVERIFY(seen == QStringList{"Open PLEASE WAIT ...."} && note()->RichNote->Text().isEmpty()
                && note()->windowTitle().isEmpty());
        cancel = false, press("cmdOpen");
        QVERIFY(seen.size() > 5 && note()->RichNote->Text().size() == 22000000 && note()->windowTitle() == big
                && !note()->hasUnsavedChanges());
        // Cancelled while the text is parsed, then the program quits: the
        // parse is stopped and its thread gone with the main window.
        // Threads are told apart by id: others (the main window's own) may end meanwhile.
        const auto tasks = [] {
            return QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        };
        const QStringList before = tasks();
        const auto started = [&] {
            QStringList now = tasks();
            now.removeIf([&](const QString& tid) { return before.contains(tid); });
            return now;
        };
        watch.disconnect(), connect(&watch, &QTimer::timeout, this, [&] {
            if (auto* w = visibleWindow<LoadingProgress>(); w && w->ProgressBar1->maximum() == 0)
                click(w->cmdCancel);
        });
        fx->fileAnswers = {big}, click(main->button("cmdOpen"));
        Screens::unload<frmMain>();
        // A thread that is ending may take a moment on a busy machine; one that stays is a fault.
        QTRY_COMPARE(started(), QStringList());
        std::atomic<bool> stop = true;
        QVERIFY(RichTextBox::readDocument(readFile(big), &stop)->isEmpty());
    }

    void closingAnUnsavedNoteAsks()
    {
        const QString path = dir() + "kept.nte";
        // Answer, file chosen if the save dialog comes, whether the window goes.
        const std::tuple<MsgResult, std::optional<QString>, bool> cases[] = {{MsgResult::Cancel, std::nullopt, false},
                                                                             {MsgResult::No, std::nullopt, true},
                                                                             {MsgResult::Yes, std::nullopt, false},
                                                                             {MsgResult::Yes, path, true}};
        for (const auto& [answer, file, closes] : cases) {
            QPointer<frmNote> n = newNote(QStringLiteral("words"));
            fx->messages.clear(), fx->answers = {answer, MsgResult::No}, fx->fileAnswers = {file}, close(n);
            QVERIFY(fx->messageBoxes() == QStringList{"Question|Tessaly 2002|Save changes to this note?"}
                    && n.isNull() == closes);
            if (n)
                close(n);
        }
        fx->messages.clear(), QTest::keyClick(newNote(QStringLiteral("a"))->RichNote, Qt::Key_Backspace),
            close(note());  // empty again
        QVERIFY(bytes(path).contains("words") && fx->messages.isEmpty() && !note());
    }

    void editingCommands()
    {
        press("cmdPaste"), press("cmdfind"), press("cmdDate");  // only Date opens a note
        QVERIFY(note()->RichNote->Text() == QStringLiteral("5/15/26")
                && main->mdiArea()->findChildren<frmNote*>().size() == 1 && !visibleWindow<frmFind>());
        RichTextBox* box = newNote()->RichNote;
        box->setTextRTF(kRed), box->setSelStart(6), box->setSelLength(3), press("cmdCopy");
        box->setSelStart(13), press("cmdPaste");
        box->setSelStart(0), box->setSelLength(6), press("cmdCut"), press("cmdTime");
        const auto bold = [box](int at) {
            QTextCursor c(box->document());
            c.setPosition(at + 1);
            return c.charFormat().fontWeight() >= QFont::Bold;
        };
        QVERIFY(box->Text() == QStringLiteral("10:30:05 AMred endred") && bold(19) && !bold(17) && bold(11));
        press("cmdUndo");
        QVERIFY(waitFor([&] { return box->Text() == QStringLiteral("red endred"); }, 1000));
        fx->printerMissing = true, press("cmdSelectAll"), press("cmdHelp"), press("cmdPrint");
        QCOMPARE(box->SelLength(), 10);
        QCOMPARE(fx->messageBoxes(),
                 QStringList({"Question|Tessaly 2002|Will be saved as *.nte",
                              "Exclamation|Tessaly 2002|No printer is available to print this note."}));
    }

    // Clicks on the find window: M toggles Match Case, F is Find, E is Enter in
    // the search box, R is Replace. After each other click: the note's text and
    // the selection, or the message shown, and whether the window closed.
    void find_data()
    {
        QTest::addColumn<QStringList>("setup");  // text, search, replacement, selection start and length, clicks
        QTest::addColumn<QStringList>("steps");
        QTest::newRow("Find, Enter, Find") << QStringList{"abc abc", "abc", "", "0", "0", "FEF"}
                                           << QStringList{"abc abc 0-3", "abc abc 4-7", "abc abc finished (closed)"};
        QTest::newRow("case must match") << QStringList{"abc ABC", "ABC", "", "0", "0", "MF"}
                                         << QStringList{"abc ABC 4-7"};
        QTest::newRow("Replace first starts at the top")
            << QStringList{"one two one", "one", "three", "4", "3", "RRR"}
            << QStringList{"one three one 0-3", "three three one 12-15", "three three three finished (closed)"};
        QTest::newRow("replacement not searched")
            << QStringList{"cat cat", "cat", "cats", "0", "0", "FRR"}
            << QStringList{"cat cat 0-3", "cats cat 5-8", "cats cats finished (closed)"};
        QTest::newRow("nothing found to replace")
            << QStringList{"abc", "abc", "x", "1", "0", "RF"} << QStringList{"abc nothing to replace", "abc 0-3"};
    }
    void find()
    {
        QFETCH(QStringList, setup);
        QFETCH(QStringList, steps);
        RichTextBox* box = newNote(setup[0])->RichNote;
        press("cmdfind");
        frmFind* w = visibleWindow<frmFind>();
        w->Text1->setText(setup[1]), w->Text2->setText(setup[2]), box->setSelStart(setup[3].toInt()),
            box->setSelLength(setup[4].toInt());
        const QMap<QString, QString> shown{
            {"Information|Finished!|Scrivla 2001 has finished searching the document!", "finished"},
            {"Exclamation|Error!|You have not found anything to replace!", "nothing to replace"}};
        QStringList seen;
        for (QChar c : setup[5]) {
            fx->messages.clear();
            c == u'E' ? QTest::keyClick(w->Text1, Qt::Key_Return)
                      : click(c == u'M'   ? w->Check1
                              : c == u'F' ? w->cmdfind
                                          : static_cast<QWidget*>(w->Replace));
            if (c != u'M')
                seen
                    << box->Text() + u' '
                           + (fx->messages.isEmpty()
                                  ? QStringLiteral("%1-%2").arg(box->SelStart()).arg(box->SelStart() + box->SelLength())
                                  : shown.value(fx->messageBoxes().join(u'/'), "?"))
                           + (visibleWindow<frmFind>() ? "" : " (closed)");
        }
        QCOMPARE(seen, steps);
    }
};

QTEST_MAIN(TestNotes)
#include "test_notes.moc"
