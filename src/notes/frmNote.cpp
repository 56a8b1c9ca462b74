#include "notes/frmNote.h"

#include <QIcon>
#include <QResizeEvent>

#include "controls/Buttons.h"
#include "controls/RichTextBox.h"
#include "controls/Twips.h"
#include "kit/MsgBox.h"
#include "notes/NoteDocuments.h"

namespace {
const QString kTextName = QStringLiteral("Note");
}  // namespace

frmNote::frmNote(NoteDesk* desk)
    : desk(desk)
{
    setObjectName(QStringLiteral("frmNote"));
    setWindowTitle(QString());
    setWindowIcon(QIcon(QStringLiteral(":/icons/app.svg")));
    resize(twips(7200), twips(5400));

    RichNote = new RichTextBox(this);
    RichNote->setObjectName(QStringLiteral("RichNote"));
    RichNote->setAccessibleName(kTextName);
    // Activating the window puts the cursor in the note.
    setFocusProxy(RichNote);
}

void frmNote::Form_Load()
{
    if (desk && desk->showNotePanel)
        desk->showNotePanel();
    Form_Resize();
}

void frmNote::resizeEvent(QResizeEvent* event)
{
    Form_Resize();
    Form::resizeEvent(event);
}

void frmNote::Form_Resize()
{
    // A minimized or tiny window leaves the box as it was.
    const int width = this->width() - twips(90);
    const int height = this->height() - twips(90);
    if (width < 0 || height < 0)
        return;
    RichNote->setGeometry(twips(40), twips(40), width, height);
    try {
        RichNote->setRightMargin(width * 15 - 400);
    } catch (const RichTextBoxError&) {
    }
}

bool frmNote::hasUnsavedChanges() const
{
    if (windowTitle().isEmpty() && RichNote->document()->isEmpty())
        return false;
    return RichNote->document()->isModified();
}

bool frmNote::Form_QueryUnload()
{
    if (!hasUnsavedChanges())
        return true;
    return Notes::offerToSave(*this);
}

void frmNote::Form_Unload()
{
    if (desk && desk->setCaption)
        desk->setCaption(Notes::kClosedCaption);
}
