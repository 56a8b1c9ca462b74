#include "sync/frmSyncSettings.h"

#include <QComboBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>

#include "controls/Buttons.h"
#include "controls/Controls.h"
#include "controls/Twips.h"
#include "kit/MailSettings.h"
#include "kit/MsgBox.h"
#include "kit/StoreAccess.h"
#include "sync/SyncSettings.h"
#include "window/SavingProgress.h"
#include "window/SignInSettings.h"

namespace {
// What a screen reader calls the picture buttons.
const QString kServerHelpName = QStringLiteral("Server help");
const QString kSaveName = QStringLiteral("Save");
const QString kSignInName = QStringLiteral("Sign-in kind");
// In this order: the first is what every older setting is.
const QStringList kSignInKinds = {QStringLiteral("Password"), QStringLiteral("Google"), QStringLiteral("OAuth2")};
const QString kSignInTip =
    QStringLiteral("A Google address book and calendar take no password: choose Google, and Sync Now opens its "
                   "sign-in page in the browser. \"OAuth2\" uses the endpoints kept in the settings.");
const QString kNotKept = QStringLiteral("The keyring did not take the sync password (%1), so it is not kept.");
}  // namespace

frmSyncSettings::frmSyncSettings()
{
    setObjectName(QStringLiteral("frmSyncSettings"));
    setWindowTitle(QStringLiteral("Sync Settings"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowCloseButtonHint | Qt::WindowTitleHint);
    setFixedSize(twips(6330), twips(2625));

    Frame1 = makeControl<QGroupBox>(this, "Frame1", twipsRect(0, 0, 6255, 2535), QStringLiteral("Sync Info"));
    Label1 = makeLabel(Frame1, "Label1", QStringLiteral("Server:"), twipsRect(120, 480, 1455, 255));
    txtServer = makeTextBox(Frame1, "txtServer", twipsRect(1680, 360, 3855, 375));
    Label2 = makeLabel(Frame1, "Label2", QStringLiteral("User Name"), twipsRect(120, 960, 1095, 255));
    txtSyncUserName = makeTextBox(Frame1, "txtSyncUserName", twipsRect(1680, 840, 3855, 405));
    Label3 = makeLabel(Frame1, "Label3", QStringLiteral("Password"), twipsRect(120, 1440, 1095, 255));
    // The password's box leaves room for the way of signing in.
    txtSyncPassword = makeTextBox(Frame1, "txtSyncPassword", twipsRect(1680, 1320, 2775, 405), true);
    cboSignIn = makeControl<QComboBox>(Frame1, "cboSignIn", twipsRect(4515, 1320, 1620, 405));
    cboSignIn->addItems(kSignInKinds);
    cboSignIn->setAccessibleName(kSignInName);
    cboSignIn->setToolTip(kSignInTip);
    connect(cboSignIn, &QComboBox::activated, this, [this](int index) {
        if (index == 0)
            return;
        const OAuthProviderKind chosen = index == 1 ? OAuthProviderKind::Google : OAuthProviderKind::Custom;
        auto* details =
            new SignInSettings(this, m_oauth.kind == chosen ? m_oauth : oauthPreset(chosen, OAuthUse::Sync));
        connect(details, &SignInSettings::entered, this, [this](const OAuthProvider& p) { m_oauth = p; });
        details->show();
    });
    cmdServerHelp =
        makePictureButton<FlatBttn>(Frame1, "cmdServerHelp", twipsRect(5640, 240, 540, 540), QStringLiteral("help"));
    cmdSave =
        makePictureButton<asxToolButton>(Frame1, "cmdSave", twipsRect(2280, 1800, 1095, 615), QStringLiteral("save"));

    Label1->setBuddy(txtServer);
    Label2->setBuddy(txtSyncUserName);
    Label3->setBuddy(txtSyncPassword);
    cmdServerHelp->setAccessibleName(kServerHelpName);
    cmdSave->setAccessibleName(kSaveName);

    connect(cmdServerHelp, &QToolButton::clicked, this, &frmSyncSettings::cmdServerHelp_Click);
    connect(cmdSave, &QToolButton::clicked, this, &frmSyncSettings::cmdSave_Click);
}

void frmSyncSettings::Form_Load()
{
    if (connectStore(Con))
        storeGuard([&] {
            const SyncSettings s = SyncStore::readSettings(Con);
            txtServer->setText(s.server);
            txtSyncUserName->setText(s.userName);
            txtSyncPassword->setText(s.password);
            m_oauth = s.oauth;
            cboSignIn->setCurrentIndex(s.signIn == SignInKind::Password            ? 0
                                       : s.oauth.kind == OAuthProviderKind::Google ? 1
                                                                                   : 2);
            // Filled in when the keyring answers, unless the user typed meanwhile.
            if (s.password.isEmpty() && Secrets::exists())
                readSecret(Con, SyncStore::kSecret, this, [this](const Secrets::Answer& answer) {
                    if (answer.outcome == Secrets::Outcome::Done && txtSyncPassword->text().isEmpty())
                        txtSyncPassword->setText(answer.text);
                });
        });
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void frmSyncSettings::Form_Unload()
{
    Con.Close();
}

void frmSyncSettings::cmdServerHelp_Click()
{
    MsgBox(QStringLiteral("The address of your address book and calendar server, e.g. https://dav.myprovider.net/. "
                          "File, Sync Now finds the address book and the calendar there."));
}

void frmSyncSettings::cmdSave_Click()
{
    SyncSettings settings{txtServer->text(), txtSyncUserName->text(), txtSyncPassword->text()};
    if (const int signIn = cboSignIn->currentIndex(); signIn > 0) {
        const OAuthProviderKind chosen = signIn == 1 ? OAuthProviderKind::Google : OAuthProviderKind::Custom;
        settings.signIn = SignInKind::OAuth2;
        settings.oauth = m_oauth.kind == chosen ? m_oauth : oauthPreset(chosen, OAuthUse::Sync);
    }
    if (storeGuard([&] {
            SyncStore::writeSettings(Con, settings, this, [](const Secrets::Answer& answer) {
                if (answer.outcome == Secrets::Outcome::Failed)
                    MsgBox(kNotKept.arg(answer.text), MsgButtons::OKOnly, MsgIcon::Exclamation);
            });
        }))
        Screens::show<frmLoadSaving>();
}
