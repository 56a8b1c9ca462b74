#include "account/EmailInfoFrame.h"

#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>

#include <algorithm>
#include <utility>

#include "controls/Buttons.h"
#include "controls/Controls.h"
#include "controls/Twips.h"
#include "kit/ConnectionSettings.h"
#include "kit/MailDiscovery.h"
#include "kit/MailSettings.h"
#include "kit/MsgBox.h"
#include "store/Connection.h"
#include "store/Recordset.h"
#include "window/Screens.h"
#include "window/SignInSettings.h"

const QString kSmtpHelp = QStringLiteral("This will send email.SMTP : mail.myprovider.net.?");
const QString kRemoteHelp = QStringLiteral("This will check your email.Remote mail.myprovider.net.?");
const QString kKeptInFile =
    QStringLiteral("No keyring answers on this desktop, so the mail password is kept in the file %1.");
const QString kNotKept = QStringLiteral("The keyring did not take the mail password (%1), so it is not kept.");

namespace {
// What a screen reader calls the picture buttons.
const QString kSmtpHelpName = QStringLiteral("SMTP host help");
const QString kRemoteHelpName = QStringLiteral("Remote host help");
const QString kSaveName = QStringLiteral("Save");
const QString kIncomingName = QStringLiteral("Incoming server kind");
// In this order: the first is what every older setting is.
const QStringList kIncomingKinds = {QStringLiteral("POP3"), QStringLiteral("IMAP")};
const QString kFoundQuestion =
    QStringLiteral("Settings for %1 were found:\n\n%2\n\nPut them into the boxes? Nothing is kept until you save.");
const QString kIncomingTip =
    QStringLiteral("IMAP keeps the folders on the server. Its port is 993 (TLS from the first byte) unless the "
                   "Remote box names another, as in mail.myprovider.net:143 (STARTTLS).");
const QString kSignInName = QStringLiteral("Sign-in kind");
// In this order: the first is what every older setting is; then the providers by OAuthProviderKind.
const QStringList kSignInKinds = {QStringLiteral("Password"), QStringLiteral("Google"), QStringLiteral("Microsoft"),
                                  QStringLiteral("OAuth2")};
const QString kSignInTip =
    QStringLiteral("Google and Microsoft accounts take no password for mail: choose the provider, and the first "
                   "check opens its sign-in page in the browser. \"OAuth2\" uses the endpoints kept in the settings.");
}  // namespace

void EmailInfoFrame::createEmailInfo(QWidget* parent, int top, Layout layout, const char* userNameBox)
{
    // The two screens differ only in which of these two rows comes first.
    const int emailRow = layout == Layout::Setup ? 0 : 1;
    const int remoteRow = 1 - emailRow;
    auto row = [](int n) { return 480 * n; };

    Frame4 = makeControl<QGroupBox>(parent, "Frame4", twipsRect(0, top, 6255, 3495), QStringLiteral("Email Info"));
    Label7 = makeLabel(Frame4, "Label7", QStringLiteral("SMTP HOST:"), twipsRect(120, 480, 1455, 255));
    txtsmtp = makeTextBox(Frame4, "txtsmtp", twipsRect(1680, 360, 3855, 375));
    Label8 = makeLabel(Frame4, "Label8", QStringLiteral("Your Email"), twipsRect(120, 960 + row(emailRow), 975, 255));
    txtYourEmail = makeTextBox(Frame4, "txtYourEmail", twipsRect(1680, 840 + row(emailRow), 3855, 375));
    Label9 = makeLabel(Frame4, "Label9", QStringLiteral("Remote: "), twipsRect(120, 960 + row(remoteRow), 1215, 255));
    // The incoming server's box leaves room for its kind on the same row.
    txtHost = makeTextBox(Frame4, "txtHost", twipsRect(1680, 840 + row(remoteRow), 2775, 405));
    cboIncoming = makeControl<QComboBox>(Frame4, "cboIncoming", twipsRect(4515, 840 + row(remoteRow), 1020, 405));
    cboIncoming->addItems(kIncomingKinds);
    cboIncoming->setAccessibleName(kIncomingName);
    cboIncoming->setToolTip(kIncomingTip);
    Label10 = makeLabel(Frame4, "Label10", QStringLiteral("User Name"), twipsRect(120, 1920, 1095, 255));
    txtEmailUserName = makeTextBox(Frame4, userNameBox, twipsRect(1680, 1800, 3855, 405));
    Label11 = makeLabel(Frame4, "Label11", QStringLiteral("Password"), twipsRect(120, 2400, 1095, 255));
    // The password's box leaves room for the way of signing in.
    txtPassword = makeTextBox(Frame4, "txtPassword", twipsRect(1680, 2280, 2775, 405), true);
    cboSignIn = makeControl<QComboBox>(Frame4, "cboSignIn", twipsRect(4515, 2280, 1620, 405));
    cboSignIn->addItems(kSignInKinds);
    cboSignIn->setAccessibleName(kSignInName);
    cboSignIn->setToolTip(kSignInTip);
    // A provider chosen shows its details: the client ID, and a custom one's addresses.
    QObject::connect(cboSignIn, &QComboBox::activated, Frame4, [this](int index) {
        if (index == 0)
            return;
        const OAuthProviderKind chosen = OAuthProviderKind(index - 1);
        auto* details = new SignInSettings(Frame4->window(), m_oauth.kind == chosen ? m_oauth : oauthPreset(chosen));
        QObject::connect(details, &SignInSettings::entered, Frame4, [this](const OAuthProvider& p) { m_oauth = p; });
        details->show();
    });
    cmdSMTPhelp =
        makePictureButton<FlatBttn>(Frame4, "cmdSMTPhelp", twipsRect(5640, 240, 540, 540), QStringLiteral("help"));
    cmdRemoteHelp =
        makePictureButton<FlatBttn>(Frame4, "cmdRemoteHelp", twipsRect(5640, 1200, 540, 540), QStringLiteral("help"));
    cmdSave =
        makePictureButton<asxToolButton>(Frame4, "cmdSave", twipsRect(2280, 2760, 1095, 615), QStringLiteral("save"));

    for (auto [label, box] : {std::pair(Label7, txtsmtp), std::pair(Label8, txtYourEmail), std::pair(Label9, txtHost),
                              std::pair(Label10, txtEmailUserName), std::pair(Label11, txtPassword)})
        label->setBuddy(box);
    cmdSMTPhelp->setAccessibleName(kSmtpHelpName);
    cmdRemoteHelp->setAccessibleName(kRemoteHelpName);
    cmdSave->setAccessibleName(kSaveName);

    Keys::setDefaultButton(Frame4, cmdSave);
    QObject::connect(cmdSMTPhelp, &QToolButton::clicked, Frame4, &EmailInfoFrame::cmdSMTPhelp_Click);
    QObject::connect(cmdRemoteHelp, &QToolButton::clicked, Frame4, &EmailInfoFrame::cmdRemoteHelp_Click);

    // Only an address the user typed: one the screen filled in is not looked up.
    discovery = new MailDiscovery(connectionSettings(), {}, Frame4);
    QObject::connect(txtYourEmail, &QLineEdit::editingFinished, Frame4, [this] {
        if (txtYourEmail->isModified()) {
            txtYourEmail->setModified(false);
            discovery->find(txtYourEmail->text());
        }
    });
    QObject::connect(discovery, &MailDiscovery::finished, Frame4,
                     [this](const FoundSettings& found) { offerFoundSettings(found); });
}

void EmailInfoFrame::offerFoundSettings(const FoundSettings& found)
{
    const QString address = txtYourEmail->text().trimmed();
    if (!found.any()
        || MsgBox(kFoundQuestion.arg(address, describeFound(found)), MsgButtons::YesNo, MsgIcon::Question)
               != MsgResult::Yes)
        return;
    if (!found.out.host.isEmpty())
        txtsmtp->setText(hostBoxText(found.out));
    if (!found.in.host.isEmpty()) {
        txtHost->setText(hostBoxText(found.in));
        cboIncoming->setCurrentIndex(found.incoming == IncomingKind::Imap ? 1 : 0);
    }
    txtEmailUserName->setText(found.userName);
}

void EmailInfoFrame::saveEmailSettings(Connection& con, Recordset& rs)
{
    rs.Fields(QStringLiteral("SMTP")) = txtsmtp->text().trimmed();
    rs.Fields(QStringLiteral("YourEmail")) = txtYourEmail->text().trimmed();
    rs.Fields(QStringLiteral("Remote")) = txtHost->text().trimmed();
    rs.Fields(QStringLiteral("UserName")) = txtEmailUserName->text().trimmed();
    const QString password = txtPassword->text().trimmed();
    const QString store = con.path();
    // The kind waits for the row's key, which a new row has once saved.
    const IncomingKind kind = cboIncoming->currentIndex() == 1 ? IncomingKind::Imap : IncomingKind::Pop3;
    saveMailRow(con, rs, password, Frame4, [this, store, password](const Secrets::Answer& answer) {
        if (answer.outcome == Secrets::Outcome::Failed)
            MsgBox(kNotKept.arg(answer.text), MsgButtons::OKOnly, MsgIcon::Exclamation);
        else if (answer.outcome == Secrets::Outcome::NoKeyring && !password.isEmpty()
                 && !std::exchange(m_toldWhereKept, true))
            MsgBox(kKeptInFile.arg(QDir::toNativeSeparators(store)), MsgButtons::OKOnly, MsgIcon::Information);
    });
    const qint64 key = rs.Fields(QStringLiteral("EmailInfo")).value().toLongLong();
    saveIncomingKind(con, key, kind);
    const int signIn = cboSignIn->currentIndex();
    // What the row said of the provider stays while it stays chosen.
    const auto chosen = OAuthProviderKind(std::max(signIn - 1, 0));
    const OAuthProvider provider = m_oauth.kind == chosen ? m_oauth : oauthPreset(chosen);
    saveSignIn(con, key, signIn == 0 ? SignInKind::Password : SignInKind::OAuth2, provider);
}

void EmailInfoFrame::showStoredPassword(Connection& con, const MailSettings& settings)
{
    m_oauth = settings.oauth;
    cboSignIn->setCurrentIndex(settings.signIn == SignInKind::Password ? 0 : 1 + int(settings.oauth.kind));
    txtPassword->setText(settings.password);
    if (!settings.password.isEmpty() || !Secrets::exists())
        return;
    // Filled in when the keyring answers, unless the user typed meanwhile.
    readSecret(con, mailSecret(settings), Frame4, [this](const Secrets::Answer& answer) {
        if (answer.outcome == Secrets::Outcome::Done && txtPassword->text().isEmpty())
            txtPassword->setText(answer.text);
    });
}

void EmailInfoFrame::cmdSMTPhelp_Click()
{
    MsgBox(kSmtpHelp);
}

void EmailInfoFrame::cmdRemoteHelp_Click()
{
    MsgBox(kRemoteHelp);
}
