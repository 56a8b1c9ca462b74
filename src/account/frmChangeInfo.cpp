#include "account/frmChangeInfo.h"

#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>

#include "account/frmPassInfo.h"
#include "kit/MailSettings.h"
#include "kit/MsgBox.h"
#include "kit/SavingProgress.h"
#include "kit/StoreAccess.h"
#include "controls/Controls.h"
#include "controls/Buttons.h"
#include "controls/Twips.h"

namespace {
const QString kCaption = QStringLiteral("Change info");

}  // namespace

frmChangeInfo::frmChangeInfo()
{
    setObjectName(QStringLiteral("frmChangeInfo"));
    setWindowTitle(kCaption);
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowCloseButtonHint | Qt::WindowTitleHint);
    setFixedSize(twips(6330), twips(3585));

    Frame4 = new QGroupBox(QStringLiteral("Email Info"), this);
    Frame4->setObjectName(QStringLiteral("Frame4"));
    Frame4->setGeometry(twipsRect(0, 0, 6255, 3495));
    Label7 = makeLabel(Frame4, "Label7", QStringLiteral("SMTP HOST:"), twipsRect(120, 480, 1455, 255));
    txtsmtp = makeTextBox(Frame4, "txtsmtp", twipsRect(1680, 360, 3855, 375));
    Label9 = makeLabel(Frame4, "Label9", QStringLiteral("Remote: "), twipsRect(120, 960, 1215, 255));
    txtHost = makeTextBox(Frame4, "txtHost", twipsRect(1680, 840, 3855, 405));
    Label8 = makeLabel(Frame4, "Label8", QStringLiteral("Your Email"), twipsRect(120, 1440, 975, 255));
    txtYourEmail = makeTextBox(Frame4, "txtYourEmail", twipsRect(1680, 1320, 3855, 375));
    Label10 = makeLabel(Frame4, "Label10", QStringLiteral("User Name"), twipsRect(120, 1920, 1095, 255));
    txtEmailUserName = makeTextBox(Frame4, "txtEmailUserName", twipsRect(1680, 1800, 3855, 405));
    Label11 = makeLabel(Frame4, "Label11", QStringLiteral("Password"), twipsRect(120, 2400, 1095, 255));
    txtPassword = makeTextBox(Frame4, "txtPassword", twipsRect(1680, 2280, 3855, 405), true);
    txtID = makeTextBox(Frame4, "txtID", twipsRect(240, 2880, 735, 285));
    txtID->hide();
    cmdSMTPhelp = makePictureButton<FlatBttn>(Frame4, "cmdSMTPhelp", twipsRect(5640, 240, 540, 540), QStringLiteral("help"));
    cmdRemoteHelp = makePictureButton<FlatBttn>(Frame4, "cmdRemoteHelp", twipsRect(5640, 1200, 540, 540), QStringLiteral("help"));
    cmdSave = makePictureButton<asxToolButton>(Frame4, "cmdSave", twipsRect(2280, 2760, 1095, 615), QStringLiteral("save"));

    // The keyboard walks the boxes from the password upwards.
    setTabOrder(txtPassword, txtEmailUserName);
    setTabOrder(txtEmailUserName, txtHost);
    setTabOrder(txtHost, txtsmtp);
    setTabOrder(txtsmtp, txtYourEmail);

    connect(cmdSave, &QToolButton::clicked, this, &frmChangeInfo::cmdSave_Click);
    connect(cmdSMTPhelp, &QToolButton::clicked, this, &frmChangeInfo::cmdSMTPhelp_Click);
    connect(cmdRemoteHelp, &QToolButton::clicked, this, &frmChangeInfo::cmdRemoteHelp_Click);
}

void frmChangeInfo::Form_Load()
{
    if (connectStore(Con))
        LoadContact();
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void frmChangeInfo::Form_Unload()
{
    rst.Close();
    Con.Close();
}

// The same row the mail screens use.
void frmChangeInfo::LoadContact()
{
    const std::optional<MailSettings> settings = readMailSettings(Con);
    if (!settings)
        return;
    txtID->setText(QString::number(settings->key));
    txtsmtp->setText(settings->smtp);
    txtYourEmail->setText(settings->yourEmail);
    txtHost->setText(settings->remote);
    txtEmailUserName->setText(settings->userName);
    txtPassword->setText(settings->password);
}

void frmChangeInfo::cmdSave_Click()
{
    const bool filling = Screens::isLoaded<frmLoadSaving>();
    Screens::load<frmLoadSaving>();
    if (EmailSave())
        Screens::show<frmLoadSaving>();
    else if (!filling)
        Screens::unload<frmLoadSaving>();  // nothing was saved, so nothing to confirm
}

// Changes the row on show. When there is none (the first-run setup saved no
// e-mail settings) the settings become a new row, and later saves change it.
bool frmChangeInfo::EmailSave()
{
    const std::optional<qint64> key = parseKey(txtID->text());
    const bool saved = storeGuard([&] {
        if (key)
            rst.Open(Con, QStringLiteral("SELECT * FROM tblEmail WHERE EmailInfo = ?"), {*key});
        if (!key || rst.isEOF()) {
            rst.Open(Con, QStringLiteral("tblEmail"));
            rst.AddNew();
        }
        rst.Fields(QStringLiteral("SMTP")) = txtsmtp->text().trimmed();
        rst.Fields(QStringLiteral("YourEmail")) = txtYourEmail->text().trimmed();
        rst.Fields(QStringLiteral("Remote")) = txtHost->text().trimmed();
        rst.Fields(QStringLiteral("UserName")) = txtEmailUserName->text().trimmed();
        rst.Fields(QStringLiteral("Password")) = txtPassword->text().trimmed();
        rst.Update();
        txtID->setText(QString::number(rst.Fields(QStringLiteral("EmailInfo")).value().toLongLong()));
    });
    rst.Close();
    return saved;
}

void frmChangeInfo::cmdSMTPhelp_Click()
{
    MsgBox(kSmtpHelp);
}

void frmChangeInfo::cmdRemoteHelp_Click()
{
    MsgBox(kRemoteHelp);
}
