#include "address/frmAddressEdit.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>

#include "address/frmAddress.h"
#include "controls/Buttons.h"
#include "controls/Controls.h"
#include "controls/ListView.h"
#include "controls/Twips.h"
#include "kit/StoreAccess.h"
#include "store/Contacts.h"
#include "window/SavingProgress.h"

namespace {
const QString kCaption = QStringLiteral("Edit");
// What a screen reader calls the picture buttons.
const QString kSaveName = QStringLiteral("Save");
const QString kPrintName = QStringLiteral("Print");

const QFont kCounterFont(QStringLiteral("Arial"), 18, QFont::Bold);

// A large number takes a smaller face rather than losing digits.
void showCount(QLabel* label, const QString& count)
{
    label->setFont(kCounterFont);
    setFittingText(label, count);
}

QLabel* makeCounter(QWidget* parent, const char* name, const QString& text, const QRect& geometry)
{
    QLabel* label = makeLabel(parent, name, QString(), geometry);
    showCount(label, text);
    return label;
}

}  // namespace

frmAddressEdit::frmAddressEdit()
    : ContactBrowser(kCaption, QSize(8055, 7005))
{
    setObjectName(QStringLiteral("frmAddressEdit"));

    Frame4 = makeControl<QGroupBox>(this, "Frame4", twipsRect(0, 3360, 5175, 2415));
    Label13 = makeLabel(Frame4, "Label13", kCommentsCaption, twipsRect(120, 240, 3465, 255));
    Label11 = makeLabel(Frame4, "Label11", kCountCaption, twipsRect(3600, 240, 735, 255));
    lblCount = makeLabel(Frame4, "lblCount", QString(), twipsRect(4440, 240, 375, 255));
    txtComments = makeCommentsBox(Frame4, twipsRect(120, 480, 4935, 1815));
    Label13->setBuddy(txtComments);

    Frame3 = makeControl<QGroupBox>(this, "Frame3", twipsRect(0, 5880, 5175, 1095));
    cmdAddressSave = makePictureButton<asxToolButton>(Frame3, "cmdAddressSave", twipsRect(120, 360, 735, 495),
                                                      QStringLiteral("save"));
    // Printing is the address panel's Print button; this one does nothing.
    cmdAddressPrint = makePictureButton<asxToolButton>(Frame3, "cmdAddressPrint", twipsRect(1320, 360, 735, 495),
                                                       QStringLiteral("print"));
    cmdAddressSave->setAccessibleName(kSaveName);
    cmdAddressPrint->setAccessibleName(kPrintName);
    lblNo = makeCounter(Frame3, "lblNo", QStringLiteral("No."), twipsRect(2280, 360, 735, 495));
    lblCurrent = makeCounter(Frame3, "lblCurrent", QString(), twipsRect(3120, 360, 495, 495));
    // Wider than its 495 twips, to the frame's edge: a count of 100000 must show whole.
    lblTotal = makeCounter(Frame3, "lblTotal", QString(), twipsRect(3840, 360, 1215, 495));
    Line1 = makeControl<QFrame>(Frame3, "Line1", QRect(twips(3720) - 1, twips(360), 3, twips(480)));
    Line1->setFrameShape(QFrame::VLine);
    txtID = makeTextBox(Frame3, "txtID", twipsRect(2760, 480, 1935, 285));

    finishLayout();

    connect(cmdAddressSave, &QToolButton::clicked, this, &frmAddressEdit::cmdAddressSave_Click);
    connect(txtComments, &QPlainTextEdit::textChanged, this, &frmAddressEdit::txtComments_Change);
}

void frmAddressEdit::Form_Load()
{
    ContactBrowser::Form_Load();
    showCount(lblTotal, QString::number(lstName->count()));
}

void frmAddressEdit::namesLoaded()
{
    showCount(lblTotal, QString::number(lstName->count()));
}

void frmAddressEdit::contactShown(int row)
{
    showCount(lblCurrent, QString::number(row + 1));
}

void frmAddressEdit::txtComments_Change()
{
    // Counted as on the entry screen; the limit is the entry screen's alone.
    lblCount->setText(QString::number(txtComments->toPlainText().size()));
}

void frmAddressEdit::cmdAddressSave_Click()
{
    Screens::load<frmLoadSaving>();
    showSaveProgress(Saving());
}

bool frmAddressEdit::Saving()
{
    if (!openShownContact())
        return false;
    // A changed first name shows in the list when the notice of the write comes.
    return storeGuard([&] {
        Contacts::save(Con, rst.Fields(QStringLiteral("Org_ID")).value().toLongLong(),
                       typedContact(*this, txtComments));
    });
}
