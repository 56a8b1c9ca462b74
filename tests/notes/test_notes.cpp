#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QScopeGuard>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "controls/Buttons.h"
#include "controls/RichTextBox.h"
#include "kit/LoadingProgress.h"
#include "notes/frmFind.h"
#include "notes/frmNote.h"
#include "shell/frmMain.h"
#include "support/Fixture.h"

namespace {
const QString kRed = QStringLiteral(R"({\rtf1\ansi{\fonttbl{\f0 Arial;}}{\colortbl;\red255\green0\blue0;}\f0 plain \b\cf1 red\b0\cf0  end})");
void click(QWidget* w) { QTest::mouseClick(w, Qt::LeftButton); }
QByteArray bytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}
QStringList files(const QString& folder) { return QDir(folder).entryList(QDir::Files | QDir::Hidden); }
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
        QMdiSubWindow* sub = main->mdiArea()->currentSubWindow();
        return sub ? qobject_cast<frmNote*>(sub->widget()) : nullptr;
    }
    frmNote* newNote(const QString& typed = {})
    {
        click(main->cmdNew);
        QTest::keyClicks(note()->RichNote, typed);
        return note();
    }
    void close(frmNote* n) { n->parentWidget()->close(), pump(); }

private slots:
    void init() { main = (fx = std::make_unique<AppFixture>())->openMainWindow(); }
    void cleanup() { fx->answers = QList<MsgResult>(50, MsgResult::No), fx.reset(); }

    void captionsCountNotesAndThePanelStays()
    {
        click(main->cmdNote);
        frmNote* first = note();
        QVERIFY(main->NoteOption->isVisible() && first->parentWidget()->isMaximized());
        newNote(), newNote(), close(first);
        QCOMPARE(main->windowTitle(), QStringLiteral("Tessaly 2001 "));
        click(main->cmdNoteExit);
        QVERIFY(!main->NoteOption->isVisible() && main->mdiArea()->findChildren<frmNote*>().size() == 2);
        newNote();
        QVERIFY(main->NoteOption->isVisible() && main->windowTitle() == QStringLiteral("Tessaly 2001 [Doc 4]"));
    }

    // The first save writes the box's RTF, later ones add CR LF; new files are the owner's only.
    void saveAsksOnceThenSaveAs()
    {
        frmNote* n = newNote();
        n->RichNote->setTextRTF(kRed);
        const QString a = dir() + QStringLiteral("a"), b = dir() + QStringLiteral("b.nte");
        fx->fileAnswers = {a, b, std::nullopt};
        click(main->cmdSave);
        QCOMPARE(bytes(a), n->RichNote->TextRTF().toLatin1());
        QTest::keyClicks(n->RichNote, QStringLiteral("X"));
        click(main->cmdSave), click(main->cmdSaveAs);
        const QByteArray saved = bytes(a);
        QVERIFY(saved == n->RichNote->TextRTF().toLatin1() + "\r\n" && bytes(b) == saved && n->windowTitle() == b);
        QTest::keyClicks(n->RichNote, QStringLiteral("Y"));
        click(main->cmdSaveAs), click(main->cmdSave);  // the second Save As is cancelled
        QStringList dialogs;
        for (const FileDialogRequest& r : fx->fileRequests)
            dialogs << r.title + QStringLiteral("|%1|%2").arg(r.folder, r.filter);
        const QString rest = QStringLiteral("|%1|Note (*.nte)").arg(dir());
        QCOMPARE(dialogs, QStringList({"Save" + rest, "Save As" + rest, "Save As" + rest}));
        RichTextBox back;
        back.LoadFile(b);
        QVERIFY(back.TextRTF() == n->RichNote->TextRTF() && back.Text() == QStringLiteral("XYplain red end"));
        struct stat st {};
        QVERIFY(::stat(QFile::encodeName(b).constData(), &st) == 0 && (st.st_mode & 0777) == 0600);
        QVERIFY(bytes(a) == saved && files(dir()) == QStringList({"a", "b.nte"}));
    }

    void openReadsTheFileOrSaysWhyNot()
    {
        QFile r(dir() + QStringLiteral("r.nte"));
        QVERIFY(r.open(QIODevice::WriteOnly) && r.write(kRed.toLatin1()) > 0);
        r.close();
        fx->fileAnswers = {r.fileName(), dir() + QStringLiteral("gone.nte")};
        click(main->cmdOpen);  // no note open: one opens first
        frmNote* n = note();
        QVERIFY(n->windowTitle() == r.fileName() && n->RichNote->Text() == QStringLiteral("plain red end"));
        click(main->cmdOpen);
        QCOMPARE(fx->messageBoxes(), QStringList({"Critical|Tessaly 2002|Cannot open \"" + dir() + "gone.nte\": No such file or directory"}));
        QTest::keyClicks(n->RichNote, QStringLiteral("draft"));
        fx->answers = {MsgResult::Cancel};
        click(main->cmdOpen);
        QVERIFY(fx->messageTexts().last() == QStringLiteral("Save changes to this note?") && fx->fileRequests.size() == 2);
    }

    // A save that cannot finish leaves the old file as it was and nothing
    // beside it, says why, and the note stays unsaved.
    void failedSave_data()
    {
        QTest::addColumn<bool>("fullDisk");
        QTest::addColumn<int>("lines");
        QTest::addColumn<bool>("named");
        QTest::newRow("full disk, small note") << true << 1 << true;
        QTest::newRow("full disk, large note") << true << 300000 << true;
        QTest::newRow("full disk, first save") << true << 1 << false;
        QTest::newRow("size limit, small note") << false << 1 << true;
        QTest::newRow("size limit, large note") << false << 300000 << true;
    }
    void failedSave()
    {
        QFETCH(bool, fullDisk);
        QFETCH(int, lines);
        QFETCH(bool, named);
        if (::geteuid() != 0)
            QSKIP("mounting a small file system needs root");
        const QString folder = dir() + QStringLiteral("fs"), path = folder + QStringLiteral("/n.nte");
        QVERIFY(QDir().mkpath(folder) && ::mount("tmpfs", qPrintable(folder), "tmpfs", 0, "size=1m") == 0);
        auto unmount = qScopeGuard([&] { ::umount2(qPrintable(folder), MNT_DETACH); });
        frmNote* n = newNote(QStringLiteral("old text"));
        fx->fileAnswers = {path, path};
        if (named)
            click(main->cmdSave);
        const QByteArray old = bytes(path);
        n->RichNote->setSelText(QStringLiteral("more words\n").repeated(lines));
        rlimit saved {};
        ::getrlimit(RLIMIT_FSIZE, &saved);
        QFile filler(folder + QStringLiteral("/filler"));
        if (fullDisk && filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            while (filler.write(QByteArray(4096, 'f')) == 4096) {}
        const rlimit limit = {rlim_t(fullDisk ? saved.rlim_cur : named ? old.size() : 10), saved.rlim_max};
        std::signal(SIGXFSZ, SIG_IGN), ::setrlimit(RLIMIT_FSIZE, &limit);
        click(main->cmdSave);
        ::setrlimit(RLIMIT_FSIZE, &saved);
        const QString why = fullDisk ? QStringLiteral("No space left on device") : QStringLiteral("File too large");
        QCOMPARE(fx->messageBoxes(), QStringList({"Critical|Tessaly 2002|Cannot save \"" + path + "\": " + why}));
        QStringList left = fullDisk ? QStringList{"filler"} : QStringList{};
        QVERIFY(bytes(path) == old && files(folder) == (named ? left << "n.nte" : left));
        QVERIFY(n->hasUnsavedChanges() && n->windowTitle() == (named ? path : QString()));
    }

    void leftoverOfAKilledSaveGoesAtTheNextSave()
    {
        for (const char* name : {".n.nte.Ab12Cd", ".m.nte.Ab12Cd", "n.nte.backup"})
            QVERIFY(QFile(dir() + name).open(QIODevice::WriteOnly));
        newNote(QStringLiteral("text"));
        fx->fileAnswers = {dir() + "n.nte"};
        click(main->cmdSave);
        QCOMPARE(files(dir()), QStringList({".m.nte.Ab12Cd", "n.nte", "n.nte.backup"}));
        QCOMPARE(QDir(dir()).entryList({"*.nte"}, QDir::Files), QStringList({"n.nte"}));  // what Open lists
    }

    // Over 20 MB a progress window shows while the file is read; the event loop
    // runs all along, and Cancel leaves the note as it was.
    void hugeFileOpensBehindAProgressWindow()
    {
        QFile big(dir() + QStringLiteral("big.nte"));
        QVERIFY(big.open(QIODevice::WriteOnly) && big.write(QByteArray(99, 'a').append('\n').repeated(220000)) > 0);
        big.close();
        bool cancel = true;
        QStringList seen;
        QTimer watch;
        connect(&watch, &QTimer::timeout, this, [&] {
            if (auto* w = visibleWindow<LoadingProgress>(); w && (seen << w->windowTitle(), cancel))
                click(w->cmdCancel);
        });
        watch.start(0);
        fx->fileAnswers = {big.fileName(), big.fileName()};
        click(main->cmdOpen);
        QVERIFY(seen == QStringList{"Open PLEASE WAIT ...."} && note()->RichNote->Text().isEmpty() && note()->windowTitle().isEmpty());
        cancel = false;
        click(main->cmdOpen);
        QVERIFY2(seen.size() > 5, qPrintable(QString::number(seen.size())));
        QVERIFY(note()->RichNote->Text().size() == 22000000 && note()->windowTitle() == big.fileName() && !note()->hasUnsavedChanges());
    }

    void closingAnUnsavedNoteAsks()
    {
        const QString path = dir() + QStringLiteral("kept.nte");
        // Answer, file chosen if the save dialog comes, whether the window goes.
        const std::tuple<MsgResult, std::optional<QString>, bool> cases[] = {{MsgResult::Cancel, std::nullopt, false},
            {MsgResult::No, std::nullopt, true}, {MsgResult::Yes, std::nullopt, false}, {MsgResult::Yes, path, true}};
        for (const auto& [answer, file, closes] : cases) {
            QPointer<frmNote> n = newNote(QStringLiteral("words"));
            fx->messages.clear(), fx->answers = {answer, MsgResult::No}, fx->fileAnswers = {file};
            close(n);
            QVERIFY(fx->messageBoxes() == QStringList{"Question|Tessaly 2002|Save changes to this note?"} && n.isNull() == closes);
            if (n)
                close(n);
        }
        QVERIFY(bytes(path).contains("words"));
        fx->messages.clear(), fx->answers = {MsgResult::Cancel};
        QTest::keyClick(newNote(QStringLiteral("a"))->RichNote, Qt::Key_Backspace);  // empty again: nothing to lose
        newNote(QStringLiteral("one")), main->mnuExit->trigger(), pump();
        QVERIFY(fx->messages.size() == 1 && main->mdiArea()->findChildren<frmNote*>().size() == 1);
    }

    void editingCommands()
    {
        QGuiApplication::clipboard()->setText(kRed);
        for (asxToolButton* b : {main->cmdPaste, main->cmdSelectAll, main->cmdUndo, main->cmdfind, main->cmdCopy, main->cmdPrint})
            click(b);
        QVERIFY(QGuiApplication::clipboard()->text().isEmpty() && !note() && !visibleWindow<frmFind>() && fx->messages.isEmpty());
        click(main->cmdDate);
        QCOMPARE(note()->RichNote->Text(), QStringLiteral("5/15/26"));
        RichTextBox* box = newNote()->RichNote;
        box->setTextRTF(kRed), box->setSelStart(6), box->setSelLength(3), click(main->cmdCopy);
        box->setSelStart(13), click(main->cmdPaste);
        box->setSelStart(0), box->setSelLength(6), click(main->cmdCut), click(main->cmdTime);
        QCOMPARE(box->Text(), QStringLiteral("10:30:05 AMred endred"));
        const auto bold = [box](int at) { QTextCursor c(box->document()); c.setPosition(at + 1); return c.charFormat().fontWeight() >= QFont::Bold; };
        QVERIFY(bold(19) && !bold(17) && bold(11));
        click(main->cmdUndo);
        QVERIFY(waitFor([&] { return box->Text() == QStringLiteral("red endred"); }, 1000));
        click(main->cmdSelectAll), click(main->cmdHelp);
        QVERIFY(box->SelLength() == 10 && fx->messageBoxes() == QStringList{"Question|Tessaly 2002|Will be saved as *.nte"});
        fx->printerMissing = true, click(main->cmdPrint);
        QCOMPARE(fx->messageBoxes().last(), QStringLiteral("Exclamation|Tessaly 2002|No printer is available to print this note."));
    }

    // Clicks on the find window: M toggles Match Case, F is Find, E is Enter in
    // the search box, R is Replace. After each other click: the note's text and
    // the selection, "finished" or "nothing to replace" for the two messages.
    void find_data()
    {
        QTest::addColumn<QStringList>("setup");  // text, search, replacement, selection start and length
        QTest::addColumn<QString>("clicks");
        QTest::addColumn<QStringList>("steps");
        QTest::newRow("Find, Enter, Find") << QStringList{"abc abc", "abc", "", "0", "0"} << "FEF" << QStringList{"abc abc 0-3", "abc abc 4-7", "abc abc finished (closed)"};
        QTest::newRow("case ignored") << QStringList{"abc ABC", "ABC", "", "0", "0"} << "F" << QStringList{"abc ABC 0-3"};
        QTest::newRow("case must match") << QStringList{"abc ABC", "ABC", "", "0", "0"} << "MF" << QStringList{"abc ABC 4-7"};
        QTest::newRow("ticked and cleared") << QStringList{"abc ABC", "ABC", "", "0", "0"} << "MMF" << QStringList{"abc ABC 0-3"};
        QTest::newRow("Replace first starts at the top") << QStringList{"one two one", "one", "three", "4", "3"} << "RRR"
            << QStringList{"one three one 0-3", "three three one 12-15", "three three three finished (closed)"};
        QTest::newRow("replacement not searched") << QStringList{"cat cat", "cat", "cats", "0", "0"} << "FRR" << QStringList{"cat cat 0-3", "cats cat 5-8", "cats cats finished (closed)"};
        QTest::newRow("nothing found to replace") << QStringList{"abc", "abc", "x", "1", "0"} << "RF" << QStringList{"abc nothing to replace", "abc 0-3"};
    }
    void find()
    {
        QFETCH(QStringList, setup);
        QFETCH(QString, clicks);
        QFETCH(QStringList, steps);
        RichTextBox* box = newNote(setup[0])->RichNote;
        click(main->cmdfind);
        frmFind* w = visibleWindow<frmFind>();
        w->Text1->setText(setup[1]), w->Text2->setText(setup[2]);
        box->setSelStart(setup[3].toInt()), box->setSelLength(setup[4].toInt());
        const QMap<QString, QString> shown{{"Information|Finished!|Scrivla 2001 has finished searching the document!", "finished"},
                                           {"Exclamation|Error!|You have not found anything to replace!", "nothing to replace"}};
        QStringList seen;
        for (QChar c : clicks) {
            fx->messages.clear();
            c == u'E' ? QTest::keyClick(w->Text1, Qt::Key_Return) : click(c == u'M' ? w->Check1 : c == u'F' ? w->cmdfind : static_cast<QWidget*>(w->Replace));
            const QString sel = QStringLiteral("%1-%2").arg(box->SelStart()).arg(box->SelStart() + box->SelLength());
            if (c != u'M')
                seen << box->Text() + u' ' + (fx->messages.isEmpty() ? sel : shown.value(fx->messageBoxes().join(u'/'), "?")) + (visibleWindow<frmFind>() ? "" : " (closed)");
        }
        QCOMPARE(seen, steps);
    }
};

QTEST_MAIN(TestNotes)
#include "test_notes.moc"
