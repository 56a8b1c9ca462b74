#include "account/frmChangePass.h"

#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

#include "account/PasswordHash.h"
#include "controls/Buttons.h"
#include "controls/Controls.h"
#include "controls/Twips.h"
#include "kit/MsgBox.h"
#include "kit/StoreAccess.h"

namespace {
const QString kCaption = QStringLiteral("chang Password");
// What a screen reader calls the green check.
const QString kOkayName = QStringLiteral("Okay");
const QString kInvalid = QStringLiteral("Invalid UserName or Password, try again!");
const QString kInvalidTitle = QStringLiteral("Login");
const QString kNotEqual = QStringLiteral("not equal");
const QString kNotEqualTitle = QStringLiteral("Incorrect");
const QString kChanged = QStringLiteral("Has been Change");
const QString kChangedTitle = QStringLiteral("Change Password");
const QString kNoAccount =
    QStringLiteral("No user account is stored in the database, so the current password cannot be checked.");
const QString kAccountGone = QStringLiteral("The account record could not be found any more. Nothing was changed.");

constexpr int kClientWidth = 4980;
// The heights are outer heights; the frame takes this much of them.
constexpr int kFrameHeight = 1950 - 1665;
constexpr int kFirstStageHeight = 1950;
constexpr int kSecondStageHeight = 2505;

}  // namespace

frmChangePass::frmChangePass()
{
    setObjectName(QStringLiteral("frmChangePass"));
    setWindowTitle(kCaption);
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowCloseButtonHint | Qt::WindowTitleHint);
    setFixedSize(twips(kClientWidth), twips(1665));

    fraPassLook =
        makeControl<QGroupBox>(this, "fraPassLook", twipsRect(0, 0, 4935, 1575), QStringLiteral("Current Information"));
    Label1 = makeLabel(fraPassLook, "Label1", QStringLiteral("User Name"), twipsRect(240, 360, 975, 255));
    txtcurrentUserName = makeTextBox(fraPassLook, "txtcurrentUserName", twipsRect(1320, 240, 2055, 315));
    Label2 = makeLabel(fraPassLook, "Label2", QStringLiteral("Password"), twipsRect(240, 960, 855, 255));
    txtCurrentPass = makeTextBox(fraPassLook, "txtCurrentPass", twipsRect(1320, 840, 2055, 315), true);
    cmdTest = makeCommandButton(fraPassLook, "cmdTest", QStringLiteral("Okay"), twipsRect(3600, 480, 1215, 375));
    Label5 = makeLabel(fraPassLook, "Label5", QStringLiteral("ID"), twipsRect(3600, 1200, 615, 255));
    Label5->hide();
    txtID = makeTextBox(fraPassLook, "txtID", twipsRect(3480, 960, 1335, 285));
    txtID->hide();

    fraNew = makeControl<QGroupBox>(this, "fraNew", twipsRect(0, 1680, 4935, 2055), QStringLiteral("New Information"));
    Label6 = makeLabel(fraNew, "Label6", QStringLiteral("User Name"), twipsRect(120, 480, 1335, 255));
    txtUserName = makeTextBox(fraNew, "txtUserName", twipsRect(1680, 360, 1695, 405));
    Label4 = makeLabel(fraNew, "Label4", QStringLiteral("Password"), twipsRect(120, 960, 1335, 255));
    txtPass = makeTextBox(fraNew, "txtPass", twipsRect(1680, 840, 1695, 375), true);
    Label3 = makeLabel(fraNew, "Label3", QStringLiteral("Re enter Password"), twipsRect(120, 1440, 1575, 375));
    txtRePass = makeTextBox(fraNew, "txtRePass", twipsRect(1680, 1320, 1695, 375), true);
    cmdOkay =
        makePictureButton<asxPowerButton>(fraNew, "cmdOkay", twipsRect(3600, 720, 1095, 495), QStringLiteral("okay"));
    cmdOkay->setAccessibleName(kOkayName);
    Label1->setBuddy(txtcurrentUserName);
    Label2->setBuddy(txtCurrentPass);
    Label6->setBuddy(txtUserName);
    Label4->setBuddy(txtPass);
    Label3->setBuddy(txtRePass);
    // Until the current pair is proved, the new boxes lie outside the window;
    // hidden, they cannot be reached with the Tab key either.
    fraNew->hide();

    setTabOrder(txtcurrentUserName, txtCurrentPass);
    setTabOrder(txtCurrentPass, cmdTest);
    setTabOrder(cmdTest, txtUserName);
    setTabOrder(txtUserName, txtPass);
    setTabOrder(txtPass, txtRePass);
    setTabOrder(txtRePass, cmdOkay);

    connect(cmdTest, &QPushButton::clicked, this, &frmChangePass::cmdTest_Click);
    connect(cmdOkay, &QToolButton::clicked, this, &frmChangePass::cmdOkay_Click);
    Keys::setDefaultButton(fraPassLook, cmdTest);
    Keys::setDefaultButton(fraNew, cmdOkay);
}

void frmChangePass::Form_Load()
{
    connectStore(Con);
    setHeight(kFirstStageHeight);
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void frmChangePass::Form_Unload()
{
    rst.Close();
    Con.Close();
}

int frmChangePass::Height() const
{
    return m_outerHeight;
}

void frmChangePass::setHeight(int outerTwips)
{
    m_outerHeight = outerTwips;
    setFixedSize(twips(kClientWidth), twips(outerTwips - kFrameHeight));
}

void frmChangePass::cmdTest_Click()
{
    bool noAccount = false;
    bool match = false;
    qint64 key = 0;
    const bool read = storeGuard([&] {
        rst.Open(Con, QStringLiteral("tblPass"));
        if (rst.isEOF()) {
            noAccount = true;
            return;
        }
        match = accountMatches(rst, txtcurrentUserName->text(), txtCurrentPass->text());
        key = rst.Fields(QStringLiteral("Pass_ID")).value().toLongLong();
    });
    if (!read)
        return;
    if (noAccount) {
        MsgBox(kNoAccount, MsgButtons::OKOnly, MsgIcon::Critical);
        return;
    }
    if (!match) {
        MsgBox(kInvalid, MsgButtons::OKOnly, MsgIcon::None, kInvalidTitle);
        txtcurrentUserName->setFocus();
        txtcurrentUserName->selectAll();
        return;
    }
    txtID->setText(QString::number(key));
    setHeight(kSecondStageHeight);
    // The user name stays as it is unless the user types a new one.
    txtUserName->setText(txtcurrentUserName->text());
    fraNew->move(0, 0);
    fraNew->show();
    fraPassLook->hide();
    txtPass->setFocus();
}

void frmChangePass::cmdOkay_Click()
{
    // The confirmation ignores letter case and trims nothing.
    if (txtPass->text().compare(txtRePass->text(), Qt::CaseInsensitive) != 0) {
        MsgBox(kNotEqual, MsgButtons::OKOnly, MsgIcon::Critical, kNotEqualTitle);
        txtRePass->setFocus();
        return;
    }
    Updating();
}

void frmChangePass::Updating()
{
    const std::optional<qint64> key = parseKey(txtID->text());
    if (!key)
        return;
    bool found = false;
    const bool saved = storeGuard([&] {
        Recordset rs;
        rs.Open(Con, QStringLiteral("SELECT * FROM tblPass WHERE Pass_ID = ?"), {*key});
        if (rs.isEOF())
            return;
        found = true;
        rs.Fields(QStringLiteral("UserName")) = txtUserName->text().trimmed();
        rs.Fields(QStringLiteral("Password")) = hashPassword(txtPass->text().trimmed());
        rs.Update();
    });
    if (!saved)
        return;
    if (!found) {
        MsgBox(kAccountGone, MsgButtons::OKOnly, MsgIcon::Critical, kChangedTitle);
        return;
    }
    MsgBox(kChanged, MsgButtons::OKOnly, MsgIcon::Information, kChangedTitle);
    Screens::unload<frmChangePass>();
}
