#include "notes/NoteEditing.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>

#include "controls/RichTextBox.h"
#include "kit/Clock.h"
#include "kit/MsgBox.h"
#include "notes/NoteDocuments.h"
#include "notes/frmFind.h"
#include "notes/frmNote.h"

namespace {
const QString kHelpText = QStringLiteral("Will be saved as *.nte");

RichTextBox* activeBox()
{
    frmNote* note = Notes::activeNote();
    return note ? note->RichNote : nullptr;
}

RichTextBox* boxOrNewNote(NoteDesk& desk)
{
    if (RichTextBox* box = activeBox())
        return box;
    return Notes::LoadNewDoc(desk)->RichNote;
}

void putOnClipboard(RichTextBox* box)
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    if (box)
        clipboard->setText(box->SelRTF());
}
}  // namespace

void Notes::Undo()
{
    RichTextBox* box = activeBox();
    if (!box)
        return;
    // Queued like a key the user pressed, so the box undoes in its own way
    // once this click is over.
    box->setFocus();
    QCoreApplication::postEvent(box, new QKeyEvent(QEvent::KeyPress, Qt::Key_Z, Qt::ControlModifier));
    QCoreApplication::postEvent(box, new QKeyEvent(QEvent::KeyRelease, Qt::Key_Z, Qt::ControlModifier));
}

void Notes::Cut()
{
    RichTextBox* box = activeBox();
    putOnClipboard(box);
    if (box && box->SelLength() > 0)
        box->setSelText(QString());
}

void Notes::Copy()
{
    putOnClipboard(activeBox());
}

void Notes::Paste()
{
    RichTextBox* box = activeBox();
    const QString text = QGuiApplication::clipboard()->text();
    if (box && !text.isEmpty())
        box->setSelRTF(text);
}

void Notes::SelectAll()
{
    if (RichTextBox* box = activeBox()) {
        box->setSelStart(0);
        box->setSelLength(int(box->Text().size()));
    }
}

void Notes::InsertDate(NoteDesk& desk)
{
    boxOrNewNote(desk)->setSelText(Clock::dateText(Clock::today()));
}

void Notes::InsertTime(NoteDesk& desk)
{
    boxOrNewNote(desk)->setSelText(Clock::timeText(Clock::now().time()));
}

void Notes::ShowFind()
{
    if (!activeNote())
        return;
    // The find window shows itself on load, without taking the activation
    // from the note; a second click only brings it forward.
    frmFind* find = Screens::load<frmFind>();
    if (find) {
        find->show();
        find->raise();
    }
}

void Notes::Help()
{
    MsgBox(kHelpText, MsgButtons::OKOnly, MsgIcon::Question);
}
