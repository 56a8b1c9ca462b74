#include "notes/frmFind.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "controls/Controls.h"
#include "controls/RichTextBox.h"
#include "controls/Twips.h"
#include "kit/MsgBox.h"
#include "notes/NoteDocuments.h"
#include "notes/frmNote.h"

namespace {
const QString kFindFinished = QStringLiteral("Scrivla 2001 has finished searching the document!");
const QString kFindFinishedTitle = QStringLiteral("Finished!");
const QString kNothingToReplace = QStringLiteral("You have not found anything to replace!");
const QString kNothingToReplaceTitle = QStringLiteral("Error!");
const QString kFindCaption = QStringLiteral("&Find");
const QString kFindNextCaption = QStringLiteral("&Find Next");
// Where the window appears, in screen pixels.
const QPoint kPlace(267, 267);

}  // namespace

frmFind::frmFind()
{
    setObjectName(QStringLiteral("frmFind"));
    setWindowTitle(QStringLiteral("Find"));
    // A tool window has no task bar entry; no close, minimize or maximize box.
    setWindowFlags(Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                   | Qt::MSWindowsFixedSizeDialogHint);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFixedSize(twips(4995), twips(1455));

    Label1 = new QLabel(QStringLiteral("Enter string to find:"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(twipsRect(0, 0, 2535, 255));
    Text1 = new QLineEdit(this);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setGeometry(twipsRect(0, 240, 3615, 285));
    Label2 = new QLabel(QStringLiteral("Replace with:"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setGeometry(twipsRect(0, 600, 1455, 255));
    Text2 = new QLineEdit(this);
    Text2->setObjectName(QStringLiteral("Text2"));
    Text2->setGeometry(twipsRect(0, 840, 3615, 285));
    Check1 = new QCheckBox(QStringLiteral("Match Case"), this);
    Check1->setObjectName(QStringLiteral("Check1"));
    Check1->setGeometry(twipsRect(0, 1200, 1815, 195));
    cmdfind = makeCommandButton(this, "cmdfind", kFindCaption, twipsRect(3840, 0, 1095, 375));
    Replace = makeCommandButton(this, "Replace", QStringLiteral("&Replace"), twipsRect(3840, 480, 1095, 375));
    cmdCancel = makeCommandButton(this, "cmdCancel", QStringLiteral("&Cancel"), twipsRect(3840, 960, 1095, 375));

    Label1->setBuddy(Text1);
    Label2->setBuddy(Text2);
    setTabOrder(Replace, Text2);
    setTabOrder(Text2, cmdfind);
    setTabOrder(cmdfind, Check1);
    setTabOrder(Check1, cmdCancel);
    setTabOrder(cmdCancel, Text1);

    Keys::setDefaultButton(this, cmdfind);
    Keys::setCancelButton(this, cmdCancel);
    connect(Check1, &QCheckBox::clicked, this, &frmFind::Check1_Click);
    connect(cmdfind, &QPushButton::clicked, this, &frmFind::cmdfind_Click);
    connect(Replace, &QPushButton::clicked, this, &frmFind::Replace_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmFind::cmdCancel_Click);
}

void frmFind::Form_Load()
{
    move(kPlace);
    show();
}

void frmFind::Check1_Click()
{
    FindOptions = Check1->isChecked() ? RichTextBox::rtfMatchCase : 0;
}

void frmFind::cmdfind_Click()
{
    // The window may outlive the note it was opened for.
    frmNote* note = Notes::activeNote();
    if (!note)
        return;
    RichTextBox* box = note->RichNote;
    box->setFocus();
    int found;
    if (cmdfind->text() == kFindCaption) {
        box->setSelStart(0);
        found = box->Find(Text1->text(), -1, -1, FindOptions);
        cmdfind->setText(kFindNextCaption);
    } else {
        box->setSelStart(box->SelStart() + int(box->SelText().size()));
        found = box->Find(Text1->text(), -1, int(box->Text().size()), FindOptions);
    }
    if (found == -1) {
        MsgBox(kFindFinished, MsgButtons::OKOnly, MsgIcon::Information, kFindFinishedTitle);
        Screens::unload<frmFind>();
    }
}

void frmFind::Replace_Click()
{
    frmNote* note = Notes::activeNote();
    if (!note)
        return;
    if (note->RichNote->SelText().isEmpty()) {
        MsgBox(kNothingToReplace, MsgButtons::OKOnly, MsgIcon::Exclamation, kNothingToReplaceTitle);
        return;
    }
    note->RichNote->setSelText(Text2->text());
    cmdfind_Click();
}

void frmFind::cmdCancel_Click()
{
    Screens::unload<frmFind>();
}
