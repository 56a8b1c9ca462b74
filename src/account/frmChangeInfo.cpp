#include "account/frmChangeInfo.h"

#include <QComboBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QSpinBox>

#include "controls/Buttons.h"
#include "controls/Controls.h"
#include "controls/Twips.h"
#include "kit/MailSettings.h"
#include "kit/MsgBox.h"
#include "kit/StoreAccess.h"
#include "window/SavingProgress.h"

namespace {
const QString kCaption = QStringLiteral("Change info");
const QString kAttachmentsCaption = QStringLiteral("&Attachments:");
// In this order: the first is what a new setting starts with.
const QStringList kAttachmentForms = {QStringLiteral("uuencoded in the text (default)"),
                                      QStringLiteral("as MIME parts")};

}  // namespace

frmChangeInfo::frmChangeInfo()
{
    setObjectName(QStringLiteral("frmChangeInfo"));
    setWindowTitle(kCaption);
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowCloseButtonHint | Qt::WindowTitleHint);
    setFixedSize(twips(6330), twips(4545));

    createEmailInfo(this, 0, Layout::Settings, "txtEmailUserName");
    txtID = makeTextBox(Frame4, "txtID", twipsRect(240, 2880, 735, 285));
    txtID->hide();
    lblAttachments = makeLabel(this, "lblAttachments", kAttachmentsCaption, twipsRect(120, 3660, 1455, 255));
    cboAttachments = makeControl<QComboBox>(this, "cboAttachments", twipsRect(1680, 3600, 3855, 345));
    cboAttachments->addItems(kAttachmentForms);
    lblAttachments->setBuddy(cboAttachments);
    lblMessageLimit =
        makeLabel(this, "lblMessageLimit", QStringLiteral("&Largest message:"), twipsRect(120, 4140, 1455, 255));
    spnMessageLimit = makeControl<QSpinBox>(this, "spnMessageLimit", twipsRect(1680, 4080, 1455, 345));
    spnMessageLimit->setRange(1, kMostMessageLimitMB);
    spnMessageLimit->setSuffix(QStringLiteral(" MB"));
    spnMessageLimit->setValue(kDefaultMessageLimitMB);
    spnMessageLimit->setToolTip(
        QStringLiteral("A larger message is left on the server, and the check goes on with the next one."));
    lblMessageLimit->setBuddy(spnMessageLimit);

    // The keyboard walks the boxes from the password upwards.
    setTabOrder(txtPassword, cboSignIn);
    setTabOrder(cboSignIn, txtEmailUserName);
    setTabOrder(txtEmailUserName, txtHost);
    setTabOrder(txtHost, cboIncoming);
    setTabOrder(cboIncoming, txtsmtp);
    setTabOrder(txtsmtp, txtYourEmail);
    setTabOrder(txtYourEmail, cboAttachments);
    setTabOrder(cboAttachments, spnMessageLimit);

    connect(cmdSave, &QToolButton::clicked, this, &frmChangeInfo::cmdSave_Click);
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
    spnMessageLimit->setValue(messageLimitMB(Con));
    const std::optional<MailSettings> settings = readMailSettings(Con, reportStoreError);
    if (!settings)
        return;
    txtID->setText(QString::number(settings->key));
    txtsmtp->setText(settings->smtp);
    txtYourEmail->setText(settings->yourEmail);
    txtHost->setText(settings->remote);
    cboIncoming->setCurrentIndex(settings->incoming == IncomingKind::Imap ? 1 : 0);
    txtEmailUserName->setText(settings->userName);
    showStoredPassword(Con, *settings);
    cboAttachments->setCurrentIndex(settings->mimeAttachments ? 1 : 0);
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
        saveEmailSettings(Con, rst);
        const qint64 saved = rst.Fields(QStringLiteral("EmailInfo")).value().toLongLong();
        saveAttachmentForm(Con, saved, cboAttachments->currentIndex() == 1);
        saveMessageLimit(Con, spnMessageLimit->value());
        txtID->setText(QString::number(saved));
    });
    rst.Close();
    return saved;
}
