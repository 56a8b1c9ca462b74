#include "address/frmAddressDelete.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>

#include "controls/Buttons.h"
#include "controls/Controls.h"
#include "controls/ListView.h"
#include "controls/Twips.h"
#include "kit/MsgBox.h"
#include "kit/StoreAccess.h"
#include "store/Contacts.h"

const QString kConfirmDelete = QStringLiteral("Are you sure want to delete");

namespace {
const QString kCaption = QStringLiteral("Delete");
}  // namespace

frmAddressDelete::frmAddressDelete()
    : ContactBrowser(kCaption, QSize(8130, 7200))
{
    setObjectName(QStringLiteral("frmAddressDelete"));

    Frame4 = makeControl<QGroupBox>(this, "Frame4", twipsRect(0, 3360, 5175, 2895));
    Label13 = makeLabel(Frame4, "Label13", kCommentsCaption, twipsRect(120, 240, 3465, 255));
    txtComments = makeCommentsBox(Frame4, twipsRect(120, 480, 4935, 2175));
    Label13->setBuddy(txtComments);
    paintLightYellow(txtComments);

    cmdDelete =
        makePictureButton<asxToolButton>(this, "cmdDelete", twipsRect(0, 6360, 5175, 615), QStringLiteral("delete"));
    cmdDelete->setAccessibleName(kCaption);
    txtID = makeTextBox(this, "txtID", twipsRect(480, 7080, 1935, 285));

    finishLayout();

    connect(cmdDelete, &QToolButton::clicked, this, &frmAddressDelete::cmdDelete_Click);
    Keys::setDeleteButton(lstName, cmdDelete);
}

void frmAddressDelete::cmdDelete_Click()
{
    if (txtID->text().isEmpty()) {
        MsgBox(kChooseContact, MsgButtons::OKOnly, MsgIcon::Exclamation);
        return;
    }
    if (MsgBox(kConfirmDelete, MsgButtons::YesNo, MsgIcon::Question, kCaption) == MsgResult::Yes)
        Deleting();
}

bool frmAddressDelete::Deleting()
{
    if (!openShownContact())
        return false;
    if (!storeGuard([&] { Contacts::erase(Con, rst.Fields(QStringLiteral("Org_ID")).value().toLongLong()); }))
        return false;
    rst.Close();
    // The deleted contact leaves the list and the boxes, so it cannot be chosen twice.
    lstName->clear();
    for (QLineEdit* box : findChildren<QLineEdit*>())
        box->clear();
    txtComments->clear();
    LoadContact();
    return true;
}
