#include "notes/NoteDocuments.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPrinter>
#include <QTextDocument>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <vector>

#include "controls/RichTextBox.h"
#include "kit/MsgBox.h"
#include "kit/Worker.h"
#include "notes/NoteDesk.h"
#include "notes/NoteFiles.h"
#include "notes/frmNote.h"
#include "window/FileDialogs.h"
#include "window/LoadingProgress.h"
#include "window/Printing.h"

const QString Notes::kClosedCaption = QStringLiteral("Tessaly 2001 ");

namespace {
const QString kSaveChangesQuestion = QStringLiteral("Save changes to this note?");
const QString kOpenCaption = QStringLiteral("Tessaly 2001 [Doc %1]");
// What a screen reader calls a note that has no file yet.
const QString kNoteName = QStringLiteral("Doc %1");
const QString kFilter = QStringLiteral("Note (*.nte)");
const QString kOpenTitle = QStringLiteral("Open");
const QString kSaveTitle = QStringLiteral("Save");
const QString kSaveAsTitle = QStringLiteral("Save As");
const QString kCannotSave = QStringLiteral("Cannot save \"%1\": %2");
const QString kCannotOpen = QStringLiteral("Cannot open \"%1\": %2");
const QString kCannotRead = QStringLiteral("Cannot read \"%1\": %2");
const QString kOpeningCaption = QStringLiteral("Open PLEASE WAIT ....");
const QString kNoPrinter = QStringLiteral("No printer is available to print this note.");
const QString kPrintFailed = QStringLiteral("The note could not be printed.");

// Files above this size open behind a progress window with Cancel.
constexpr qint64 kLargeFile = qint64(20) * 1024 * 1024;
constexpr qint64 kReadSlice = qint64(4) * 1024 * 1024;

void reportFileError(const QString& reason)
{
    MsgBox(reason, MsgButtons::OKOnly, MsgIcon::Critical);
}

// The first save of a note writes the box's RTF as it is; every later save
// and Save As add a line end, as notes have always been written.
bool writeNote(frmNote& note, const QString& path, bool lineEnd)
{
    const QString failure = NoteFiles::write(path, note.RichNote->TextRTF().toLatin1(), lineEnd);
    if (failure.isEmpty())
        return true;
    reportFileError(kCannotSave.arg(path, failure));
    return false;
}

// The caption names the file only once the file holds the note, so a note
// whose first save failed still asks for a name next time.
void markSaved(frmNote& note, const QString& path)
{
    NoteFiles::index(path, note.RichNote->toPlainText());
    note.setWindowTitle(path);
    note.RichNote->document()->setModified(false);
}

bool saveNote(frmNote& note)
{
    const QString path = note.windowTitle();
    if (!path.isEmpty()) {
        if (!writeNote(note, path, true))
            return false;
        markSaved(note, path);
        return true;
    }
    NoteDesk* desk = note.desk;
    const std::optional<QString> chosen = getSaveFileName(kSaveTitle, desk ? desk->NoteFolder : QString(), kFilter);
    if (!chosen)
        return false;
    if (desk)
        desk->CurrentFile = *chosen;
    if (!writeNote(note, *chosen, false))
        return false;
    markSaved(note, *chosen);
    return true;
}

// Shared with the parse thread of a large open. A finished document belongs
// to the window's thread, so whichever side lets go last hands it to that
// thread's event loop to delete.
struct ParseJob {
    std::unique_ptr<QTextDocument> doc;
    std::atomic<bool> done = false, cancelled = false, ended = false;
    ~ParseJob()
    {
        if (doc)
            doc.release()->deleteLater();
    }
};

// Every parse thread is joined: one that ended at the next open, one of a
// cancelled open told to stop and joined at quit (Notes::stopLoading), so
// none outlives the program.
std::vector<std::pair<std::unique_ptr<Worker>, std::shared_ptr<ParseJob>>> s_parses;

// Joins the parses that ended or whose document is handed over (the rest
// of such a piece is a store of a flag).
void reapParses()
{
    std::erase_if(s_parses, [](const auto& parse) { return parse.second->ended.load() || parse.second->done.load(); });
}

template <class Work>
void startParse(const std::shared_ptr<ParseJob>& job, Work work)
{
    reapParses();
    s_parses.emplace_back(std::make_unique<Worker>(), job).first->post(std::move(work));
}

// A large file is read in slices and parsed on a thread of its own, with
// the event loop running all the while: the windows keep painting and
// Cancel is heard. The note changes only when everything is read, so a
// cancelled open leaves it as it was. False when cancelled.
bool loadLargeFile(RichTextBox& box, QFile& file)
{
    LoadingProgress progress(kOpeningCaption);
    progress.show();
    const qint64 size = file.size();
    QByteArray data;
    data.reserve(size);
    while (!file.atEnd()) {
        const QByteArray slice = file.read(kReadSlice);
        if (file.error() != QFileDevice::NoError)
            throw RichTextBoxError(kCannotRead.arg(file.fileName(), file.errorString()));
        if (slice.isEmpty())
            break;
        data += slice;
        progress.setPercent(int(data.size() * 100 / size));
        QCoreApplication::processEvents();
        if (progress.cancelled())
            return false;
    }
    file.close();
    progress.setPercent(-1);

    auto job = std::make_shared<ParseJob>();
    QThread* gui = QThread::currentThread();
    startParse(job, [job, gui, data = std::move(data)] {
        auto doc = RichTextBox::readDocument(data, &job->cancelled);
        if (!job->cancelled.load()) {
            doc->moveToThread(gui);
            job->doc = std::move(doc);
            job->done.store(true, std::memory_order_release);
        }
        job->ended.store(true, std::memory_order_release);
    });

    QEventLoop wait;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &wait, [&] {
        if (job->done.load(std::memory_order_acquire) || job->cancelled.load())
            wait.quit();
    });
    QObject::connect(&progress, &LoadingProgress::Cancelled, &wait, &QEventLoop::quit);
    poll.start(20);
    wait.exec();
    if (progress.cancelled() || !job->done.load(std::memory_order_acquire)) {
        job->cancelled.store(true);
        return false;
    }
    box.takeDocument(std::move(job->doc));
    reapParses();
    return true;
}

// Replaces the note's content with the file. False when the user cancelled.
bool loadNote(frmNote& note, const QString& path)
{
    if (QFileInfo(path).size() <= kLargeFile) {
        note.RichNote->LoadFile(path);
        return true;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw RichTextBoxError(kCannotOpen.arg(path, file.errorString()));
    return loadLargeFile(*note.RichNote, file);
}
}  // namespace

void Notes::stopLoading()
{
    for (auto& parse : s_parses)
        parse.second->cancelled.store(true);
    s_parses.clear();  // each worker stops with its entry
}

frmNote* Notes::activeNote()
{
    // The current child stays current while another top-level window (the
    // find window, a dialog) has the activation.
    QMdiArea* area = Screens::workArea();
    QMdiSubWindow* sub = area ? area->currentSubWindow() : nullptr;
    return sub ? qobject_cast<frmNote*>(sub->widget()) : nullptr;
}

frmNote* Notes::LoadNewDoc(NoteDesk& desk)
{
    ++desk.DocumentCount;
    auto* note = new frmNote(&desk);
    note->setAccessibleName(kNoteName.arg(desk.DocumentCount));
    if (desk.setCaption)
        desk.setCaption(kOpenCaption.arg(desk.DocumentCount));
    note->Form_Load();
    Screens::present(note, true);
    if (auto* sub = qobject_cast<QMdiSubWindow*>(note->parentWidget()))
        sub->showMaximized();
    return note;
}

void Notes::Opendoc(NoteDesk& desk)
{
    frmNote* note = activeNote();
    if (!note)
        note = LoadNewDoc(desk);
    // Opening replaces what the note holds.
    if (note->hasUnsavedChanges() && !offerToSave(*note))
        return;
    const std::optional<QString> chosen = getOpenFileName(kOpenTitle, desk.NoteFolder, kFilter);
    if (!chosen)
        return;
    desk.CurrentFile = *chosen;
    try {
        if (!loadNote(*note, desk.CurrentFile))
            return;
    } catch (const RichTextBoxError& e) {
        reportFileError(e.reason());
        return;
    }
    markSaved(*note, desk.CurrentFile);
}

void Notes::openFile(NoteDesk& desk, const QString& path)
{
    frmNote* note = LoadNewDoc(desk);
    desk.CurrentFile = path;
    try {
        if (loadNote(*note, path))
            markSaved(*note, path);
    } catch (const RichTextBoxError& e) {
        reportFileError(e.reason());
    }
}

void Notes::SaveDoc()
{
    if (frmNote* note = activeNote())
        saveNote(*note);
}

void Notes::SaveAss(NoteDesk& desk)
{
    frmNote* note = activeNote();
    if (!note)
        return;
    const std::optional<QString> chosen = getSaveFileName(kSaveAsTitle, desk.NoteFolder, kFilter);
    if (!chosen)
        return;
    desk.CurrentFile = *chosen;
    if (writeNote(*note, desk.CurrentFile, true))
        markSaved(*note, desk.CurrentFile);
}

void Notes::PrintNote()
{
    frmNote* note = activeNote();
    if (!note)
        return;
    std::unique_ptr<QPrinter> printer = defaultPrinter();
    if (!printer) {
        MsgBox(kNoPrinter, MsgButtons::OKOnly, MsgIcon::Exclamation);
        return;
    }
    printer->setDocName(note->windowTitle());
    note->RichNote->document()->print(printer.get());
    if (printer->printerState() == QPrinter::Error)
        MsgBox(kPrintFailed, MsgButtons::OKOnly, MsgIcon::Exclamation);
}

bool Notes::offerToSave(frmNote& note)
{
    // With several notes closing, show the one the question is about.
    if (auto* sub = qobject_cast<QMdiSubWindow*>(note.parentWidget()); sub && Screens::workArea())
        Screens::workArea()->setActiveSubWindow(sub);
    switch (MsgBox(kSaveChangesQuestion, MsgButtons::YesNoCancel, MsgIcon::Question)) {
    case MsgResult::Yes:
        return saveNote(note);
    case MsgResult::No:
        return true;
    default:
        return false;
    }
}
