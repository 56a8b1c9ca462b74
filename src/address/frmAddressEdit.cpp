#include "address/frmAddressEdit.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>

#include "address/frmAddress.h"
#include "kit/SavingProgress.h"
#include "kit/StoreAccess.h"
#include "controls/Buttons.h"
#include "controls/Twips.h"

namespace {
const QString kCaption = QStringLiteral("Edit");

QLabel* makeCounter(QWidget* parent, const char* name, const QString& text, const QRect& geometry)
{
    QLabel* label = makeCaption(parent, name, text, geometry);
    label->setFont(QFont(QStringLiteral("Arial"), 18, QFont::Bold));
    return label;
}

asxToolButton* makePictureButton(QWidget* parent, const char* name, const QRect& geometry, const QString& picture)
{
    auto* button = new asxToolButton(parent);
    button->setObjectName(QLatin1String(name));
    button->setGeometry(geometry);
    button->setPicture(picture);
    button->setIconSize(QSize(28, 28));
    button->setAutoRaise(false);
    return button;
}
}  // namespace

frmAddressEdit::frmAddressEdit() : ContactBrowser(kCaption, QSize(8055, 7005))
{
    setObjectName(QStringLiteral("frmAddressEdit"));

    Frame4 = new QGroupBox(this);
    Frame4->setObjectName(QStringLiteral("Frame4"));
    Frame4->setGeometry(twipsRect(0, 3360, 5175, 2415));
    Label13 = makeCaption(Frame4, "Label13", kCommentsCaption, twipsRect(120, 240, 3375, 255));
    Label11 = makeCaption(Frame4, "Label11", kCountCaption, twipsRect(3480, 240, 735, 255));
    lblCount = makeCaption(Frame4, "lblCount", QString(), twipsRect(4320, 240, 375, 255));
    txtComments = makeCommentsBox(Frame4, twipsRect(120, 480, 4935, 1815));

    Frame3 = new QGroupBox(this);
    Frame3->setObjectName(QStringLiteral("Frame3"));
    Frame3->setGeometry(twipsRect(0, 5880, 5175, 1095));
    cmdAddressSave = makePictureButton(Frame3, "cmdAddressSave", twipsRect(120, 360, 735, 495), QStringLiteral("save"));
    // Printing is the address panel's Print button; this one does nothing.
    cmdAddressPrint = makePictureButton(Frame3, "cmdAddressPrint", twipsRect(1320, 360, 735, 495), QStringLiteral("print"));
    lblNo = makeCounter(Frame3, "lblNo", QStringLiteral("No."), twipsRect(2280, 360, 735, 495));
    lblCurrent = makeCounter(Frame3, "lblCurrent", QString(), twipsRect(3120, 360, 495, 495));
    lblTotal = makeCounter(Frame3, "lblTotal", QString(), twipsRect(3840, 360, 495, 495));
    Line1 = new QFrame(Frame3);
    Line1->setObjectName(QStringLiteral("Line1"));
    Line1->setFrameShape(QFrame::VLine);
    Line1->setGeometry(twips(3720) - 1, twips(360), 3, twips(480));
    txtID = new QLineEdit(Frame3);
    txtID->setObjectName(QStringLiteral("txtID"));
    txtID->setGeometry(twipsRect(2760, 480, 1935, 285));

    finishLayout();

    connect(cmdAddressSave, &QToolButton::clicked, this, &frmAddressEdit::cmdAddressSave_Click);
    connect(txtComments, &QPlainTextEdit::textChanged, this, &frmAddressEdit::txtComments_Change);
}

void frmAddressEdit::Form_Load()
{
    ContactBrowser::Form_Load();
    lblTotal->setText(QString::number(lstName->count()));
}

void frmAddressEdit::contactShown(int row)
{
    lblCurrent->setText(QString::number(row + 1));
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
    // The list keeps the names read at load; a changed first name shows there
    // when the screen is opened again.
    return storeGuard([&] {
        rst.Fields(QStringLiteral("FirstName")) = txtFirstName->text().trimmed();
        rst.Fields(QStringLiteral("LastName")) = txtLastName->text().trimmed();
        rst.Fields(QStringLiteral("HomeAddress")) = txthomeAddress->text().trimmed();
        rst.Fields(QStringLiteral("Suburb")) = txtSuburb->text().trimmed();
        rst.Fields(QStringLiteral("PostCode")) = txtpostcode->text().trimmed();
        rst.Fields(QStringLiteral("Email")) = txtemail->text().trimmed();
        rst.Fields(QStringLiteral("HomePhone")) = txtHomePhone->text().trimmed();
        rst.Fields(QStringLiteral("Mobile")) = txtMobile->text().trimmed();
        rst.Fields(QStringLiteral("WebAddress")) = txtWebPage->text().trimmed();
        rst.Fields(QStringLiteral("ICQ")) = txtICQ->text().trimmed();
        rst.Fields(QStringLiteral("Comments")) = txtComments->toPlainText().trimmed();
        rst.Update();
    });
}
