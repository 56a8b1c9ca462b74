#include "notes/NoteDocuments.h"

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPrinter>
#include <QSaveFile>
#include <QTextDocument>

#include "kit/FileDialogs.h"
#include "kit/MsgBox.h"
#include "kit/Printing.h"
#include "shell/frmMain.h"
#include "controls/RichTextBox.h"
#include "notes/frmNote.h"

const QString Notes::kClosedCaption = QStringLiteral("Tessaly 2001 ");

namespace {
const QString kSaveChangesQuestion = QStringLiteral("Save changes to this note?");
const QString kOpenCaption = QStringLiteral("Tessaly 2001 [Doc %1]");
const QString kFilter = QStringLiteral("Note (*.nte)");
const QString kOpenTitle = QStringLiteral("Open");
const QString kSaveTitle = QStringLiteral("Save");
const QString kSaveAsTitle = QStringLiteral("Save As");
const QString kCannotSave = QStringLiteral("Cannot save \"%1\": %2");
const QString kNoPrinter = QStringLiteral("No printer is available to print this note.");
const QString kPrintFailed = QStringLiteral("The note could not be printed.");

QString noteFolder()
{
    frmMain* main = Notes::mainWindow();
    return main ? main->NoteFolder : QString();
}

void rememberFile(const QString& path)
{
    if (frmMain* main = Notes::mainWindow())
        main->CurrentFile = path;
}

void reportFileError(const QString& reason)
{
    MsgBox(reason, MsgButtons::OKOnly, MsgIcon::Critical);
}

// A saved note's later form: its RTF string and a line end. Written beside
// the target and renamed over it, so a failed write leaves the old file whole.
bool writeRtfString(frmNote& note, const QString& path)
{
    const QByteArray bytes = note.RichNote->TextRTF().toLatin1() + "\r\n";
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit())
        return true;
    reportFileError(kCannotSave.arg(path, file.errorString()));
    return false;
}

// A note's first save goes through the box's own writer.
bool saveFile(frmNote& note, const QString& path)
{
    try {
        note.RichNote->SaveFile(path);
        return true;
    } catch (const RichTextBoxError& e) {
        reportFileError(e.reason());
        return false;
    }
}

// The caption names the file only once the file holds the note, so a note
// whose first save failed still asks for a name next time.
void markSaved(frmNote& note, const QString& path)
{
    note.setWindowTitle(path);
    note.RichNote->document()->setModified(false);
}

bool saveNote(frmNote& note)
{
    const QString path = note.windowTitle();
    if (!path.isEmpty()) {
        if (!writeRtfString(note, path))
            return false;
        markSaved(note, path);
        return true;
    }
    const std::optional<QString> chosen = getSaveFileName(kSaveTitle, noteFolder(), kFilter);
    if (!chosen)
        return false;
    rememberFile(*chosen);
    if (!saveFile(note, *chosen))
        return false;
    markSaved(note, *chosen);
    return true;
}
}  // namespace

frmMain* Notes::mainWindow()
{
    return Screens::isLoaded<frmMain>() ? Screens::load<frmMain>() : nullptr;
}

frmNote* Notes::activeNote()
{
    // The current child stays current while another top-level window (the
    // find window, a dialog) has the activation.
    QMdiArea* area = Screens::workArea();
    QMdiSubWindow* sub = area ? area->currentSubWindow() : nullptr;
    return sub ? qobject_cast<frmNote*>(sub->widget()) : nullptr;
}

frmNote* Notes::LoadNewDoc(frmMain& main)
{
    ++main.DocumentCount;
    auto* note = new frmNote;
    main.setWindowTitle(kOpenCaption.arg(main.DocumentCount));
    note->Form_Load();
    Screens::present(note, true);
    if (auto* sub = qobject_cast<QMdiSubWindow*>(note->parentWidget()))
        sub->showMaximized();
    return note;
}

void Notes::Opendoc(frmMain& main)
{
    frmNote* note = activeNote();
    if (!note)
        note = LoadNewDoc(main);
    // Opening replaces what the note holds.
    if (note->hasUnsavedChanges() && !offerToSave(*note))
        return;
    const std::optional<QString> chosen = getOpenFileName(kOpenTitle, main.NoteFolder, kFilter);
    if (!chosen)
        return;
    main.CurrentFile = *chosen;
    try {
        note->RichNote->LoadFile(main.CurrentFile);
    } catch (const RichTextBoxError& e) {
        reportFileError(e.reason());
        return;
    }
    markSaved(*note, main.CurrentFile);
}

void Notes::SaveDoc()
{
    if (frmNote* note = activeNote())
        saveNote(*note);
}

void Notes::SaveAss(frmMain& main)
{
    frmNote* note = activeNote();
    if (!note)
        return;
    const std::optional<QString> chosen = getSaveFileName(kSaveAsTitle, main.NoteFolder, kFilter);
    if (!chosen)
        return;
    main.CurrentFile = *chosen;
    if (writeRtfString(*note, main.CurrentFile))
        markSaved(*note, main.CurrentFile);
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
    case MsgResult::Yes: return saveNote(note);
    case MsgResult::No: return true;
    default: return false;
    }
}
