#include "address/frmAddress.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>

#include "address/ContactSheet.h"
#include "controls/Buttons.h"
#include "controls/Controls.h"
#include "controls/Twips.h"
#include "kit/MsgBox.h"
#include "kit/StoreAccess.h"
#include "store/Contacts.h"
#include "window/SavingProgress.h"

const QString kCommentsFull = QStringLiteral("Max character is 255 and Comments textg will be disabled ");

namespace {
const QString kCaption = QStringLiteral("Address");
constexpr int kMaxComments = 255;
}  // namespace

frmAddress::frmAddress()
{
    setObjectName(QStringLiteral("frmAddress"));
    setWindowTitle(kCaption);
    setFixedSize(twips(8415), twips(5400));

    asxGenericContainer1 = makeControl<asxGenericContainer>(this, "asxGenericContainer1", rect());

    createContactBoxes(asxGenericContainer1, Layout::Entry);
    Label13 = makeLabel(asxGenericContainer1, "Label13", kCommentsCaption, twipsRect(0, 3120, 3465, 255));
    Label11 = makeLabel(asxGenericContainer1, "Label11", kCountCaption, twipsRect(3480, 3120, 735, 255));
    lblCount = makeLabel(asxGenericContainer1, "lblCount", QString(), twipsRect(4320, 3120, 375, 255));
    txtComments = makeCommentsBox(asxGenericContainer1, twipsRect(0, 3480, 8055, 1815));
    Label13->setBuddy(txtComments);

    QWidget* const order[] = {txtFirstName, txtLastName, txthomeAddress, txtSuburb,   txtemail,   txtICQ,
                              txtHomePhone, txtFax,      txtMobile,      txtpostcode, txtWebPage, txtComments};
    for (std::size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);

    connect(txtComments, &QPlainTextEdit::textChanged, this, &frmAddress::txtComments_Change);
}

void frmAddress::Form_Load()
{
    connectStore(Con);
    ClearAddressForm();
    // Like every child screen of the main window, it is on view as soon as it exists.
    Screens::present(this, true);
}

void frmAddress::Form_Unload()
{
    Con.Close();
}

bool frmAddress::SavingAddress()
{
    return storeGuard([&] { Contacts::save(Con, std::nullopt, typedContact(*this, txtComments)); });
}

void frmAddress::AddressPrinting()
{
    ContactSheet sheet;
    sheet.contact = typedContact(*this, txtComments);
    sheet.fax = txtFax->text();
    printContactSheet(sheet);
}

void frmAddress::txtComments_Change()
{
    const int count = int(txtComments->toPlainText().size());
    lblCount->setText(QString::number(count));
    if (count >= kMaxComments) {
        MsgBox(kCommentsFull, MsgButtons::OKOnly, MsgIcon::Exclamation);
        // Nothing enables the box again while the screen exists.
        txtComments->setEnabled(false);
    }
}

void ClearAddressForm()
{
    frmAddress* form = Screens::load<frmAddress>();
    if (!form)
        return;
    for (QLineEdit* box : form->findChildren<QLineEdit*>())
        box->clear();
    // Emptying an empty box is no change, so the counter keeps its blank.
    for (QPlainTextEdit* box : form->findChildren<QPlainTextEdit*>())
        if (!box->toPlainText().isEmpty())
            box->clear();
}

void showSaveProgress(bool saved)
{
    if (saved) {
        Screens::show<frmLoadSaving>();
        return;
    }
    // One still filling after an earlier save stays until it is full.
    if (QWidget* progress = Screens::find(typeid(frmLoadSaving)); progress && !progress->isVisible())
        Screens::unload<frmLoadSaving>();
}
