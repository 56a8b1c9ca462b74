#include "account/frmPassInfo.h"

#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>

#include "account/PasswordHash.h"
#include "controls/Buttons.h"
#include "controls/Controls.h"
#include "controls/Twips.h"
#include "kit/AppFolder.h"
#include "kit/AtomicFile.h"
#include "kit/MsgBox.h"
#include "kit/StoreAccess.h"

namespace {
// The marker's whole content; only its existence is ever tested.
const QByteArray kMarker("Pass\r\n");
// What a screen reader calls the green check.
const QString kOkayName = QStringLiteral("Okay");

}  // namespace

frmPassInfo::frmPassInfo()
{
    setObjectName(QStringLiteral("frmPassInfo"));
    setWindowTitle(QStringLiteral("Password Info/Email Info"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowCloseButtonHint | Qt::WindowTitleHint);
    setFixedSize(twips(6255), twips(6090));

    Frame5 = makeControl<QGroupBox>(this, "Frame5", twipsRect(0, 0, 6255, 2295), QStringLiteral("User Info"));
    Label6 = makeLabel(Frame5, "Label6", QStringLiteral("Lower Case for User Name and Password"),
                       twipsRect(240, 240, 2895, 435));
    Label1 = makeLabel(Frame5, "Label1", QStringLiteral("UserName"), twipsRect(240, 840, 1335, 255));
    txtUserName = makeTextBox(Frame5, "txtUserName", twipsRect(1800, 720, 1695, 405));
    Label4 = makeLabel(Frame5, "Label4", QStringLiteral("less six characters"), twipsRect(3600, 720, 855, 435));
    Label2 = makeLabel(Frame5, "Label2", QStringLiteral("Password"), twipsRect(240, 1320, 1335, 255));
    txtPass = makeTextBox(Frame5, "txtPass", twipsRect(1800, 1320, 1695, 375), true);
    Label5 = makeLabel(Frame5, "Label5", QStringLiteral("less seven character"), twipsRect(3600, 1320, 975, 435));
    Label3 = makeLabel(Frame5, "Label3", QStringLiteral("Re enter Password"), twipsRect(240, 1800, 1575, 375));
    txtRePass = makeTextBox(Frame5, "txtRePass", twipsRect(1800, 1800, 1695, 375), true);
    cmdOkay =
        makePictureButton<asxPowerButton>(Frame5, "cmdOkay", twipsRect(4680, 600, 1095, 495), QStringLiteral("okay"));
    cmdOkay->setAccessibleName(kOkayName);
    Label1->setBuddy(txtUserName);
    Label2->setBuddy(txtPass);
    Label3->setBuddy(txtRePass);
    // The advice texts run over two lines in their narrow boxes, each a
    // little taller than the line beside it so that both lines are whole.
    for (QLabel* wrapped : {Label6, Label3, Label4, Label5})
        wrapped->setWordWrap(true);

    createEmailInfo(this, 2400, Layout::Setup, "EmailUserName");
    EmailUserName = txtEmailUserName;

    setTabOrder(txtUserName, txtPass);
    setTabOrder(txtPass, txtRePass);
    setTabOrder(txtRePass, txtsmtp);
    setTabOrder(txtsmtp, txtYourEmail);
    setTabOrder(txtYourEmail, txtHost);
    setTabOrder(txtHost, cboIncoming);
    setTabOrder(cboIncoming, EmailUserName);
    setTabOrder(EmailUserName, txtPassword);
    setTabOrder(txtPassword, cboSignIn);

    connect(cmdOkay, &QToolButton::clicked, this, &frmPassInfo::cmdOkay_Click);
    Keys::setDefaultButton(Frame5, cmdOkay);
    connect(cmdSave, &QToolButton::clicked, this, &frmPassInfo::cmdSave_Click);
}

void frmPassInfo::Form_Load()
{
    connectStore(Con);
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void frmPassInfo::Form_Unload()
{
    rst.Close();
    Con.Close();
}

void frmPassInfo::cmdOkay_Click()
{
    // The confirmation ignores letter case and trims nothing.
    if (txtPass->text().compare(txtRePass->text(), Qt::CaseInsensitive) != 0) {
        MsgBox(QStringLiteral("not equal"), MsgButtons::OKOnly, MsgIcon::Critical, QStringLiteral("Incorrect"));
        txtRePass->setFocus();
        return;
    }
    if (PassSaving())
        MsgBox(QStringLiteral("Saved"), MsgButtons::OKOnly, MsgIcon::Information);
}

bool frmPassInfo::PassSaving()
{
    const bool saved = storeGuard([&] {
        rst.Open(Con, QStringLiteral("tblPass"));
        rst.AddNew();
        rst.Fields(QStringLiteral("UserName")) = txtUserName->text().trimmed();
        rst.Fields(QStringLiteral("Password")) = hashPassword(txtPass->text().trimmed());
        rst.Update();
    });
    rst.Close();
    return saved && PassFileSave();
}

bool frmPassInfo::PassFileSave()
{
    const QString path = AppFolder::markerFile();
    const QString failure = AtomicFile::write(path, kMarker);
    if (failure.isEmpty())
        return true;
    MsgBox(QStringLiteral("The file %1 could not be written: %2.").arg(QDir::toNativeSeparators(path), failure),
           MsgButtons::OKOnly, MsgIcon::Critical);
    return false;
}

void frmPassInfo::cmdSave_Click()
{
    if (EmailSave())
        MsgBox(QStringLiteral("Saved"), MsgButtons::OKOnly, MsgIcon::Information);
}

bool frmPassInfo::EmailSave()
{
    const bool saved = storeGuard([&] {
        rst.Open(Con, QStringLiteral("tblEmail"));
        rst.AddNew();
        saveEmailSettings(Con, rst);
    });
    rst.Close();
    return saved;
}
