#include "account/EmailInfoFrame.h"

#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>

#include <utility>

#include "controls/Buttons.h"
#include "controls/Controls.h"
#include "controls/Twips.h"
#include "kit/MailSettings.h"
#include "kit/MsgBox.h"
#include "kit/Screens.h"
#include "store/Connection.h"
#include "store/Recordset.h"

const QString kSmtpHelp = QStringLiteral("This will send email.SMTP : mail.myprovider.net.?");
const QString kRemoteHelp = QStringLiteral("This will check your email.Remote mail.myprovider.net.?");
const QString kKeptInFile =
    QStringLiteral("No keyring answers on this desktop, so the mail password is kept in the file %1.");
const QString kNotKept = QStringLiteral("The keyring did not take the mail password (%1), so it is not kept.");

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
    txtHost = makeTextBox(Frame4, "txtHost", twipsRect(1680, 840 + row(remoteRow), 3855, 405));
    Label10 = makeLabel(Frame4, "Label10", QStringLiteral("User Name"), twipsRect(120, 1920, 1095, 255));
    txtEmailUserName = makeTextBox(Frame4, userNameBox, twipsRect(1680, 1800, 3855, 405));
    Label11 = makeLabel(Frame4, "Label11", QStringLiteral("Password"), twipsRect(120, 2400, 1095, 255));
    txtPassword = makeTextBox(Frame4, "txtPassword", twipsRect(1680, 2280, 3855, 405), true);
    cmdSMTPhelp =
        makePictureButton<FlatBttn>(Frame4, "cmdSMTPhelp", twipsRect(5640, 240, 540, 540), QStringLiteral("help"));
    cmdRemoteHelp =
        makePictureButton<FlatBttn>(Frame4, "cmdRemoteHelp", twipsRect(5640, 1200, 540, 540), QStringLiteral("help"));
    cmdSave =
        makePictureButton<asxToolButton>(Frame4, "cmdSave", twipsRect(2280, 2760, 1095, 615), QStringLiteral("save"));

    Keys::setDefaultButton(Frame4, cmdSave);
    QObject::connect(cmdSMTPhelp, &QToolButton::clicked, Frame4, &EmailInfoFrame::cmdSMTPhelp_Click);
    QObject::connect(cmdRemoteHelp, &QToolButton::clicked, Frame4, &EmailInfoFrame::cmdRemoteHelp_Click);
}

void EmailInfoFrame::saveEmailSettings(Connection& con, Recordset& rs)
{
    rs.Fields(QStringLiteral("SMTP")) = txtsmtp->text().trimmed();
    rs.Fields(QStringLiteral("YourEmail")) = txtYourEmail->text().trimmed();
    rs.Fields(QStringLiteral("Remote")) = txtHost->text().trimmed();
    rs.Fields(QStringLiteral("UserName")) = txtEmailUserName->text().trimmed();
    const QString password = txtPassword->text().trimmed();
    const QString store = con.path();
    saveMailRow(con, rs, password, Frame4, [this, store, password](const Secrets::Answer& answer) {
        if (answer.outcome == Secrets::Outcome::Failed)
            MsgBox(kNotKept.arg(answer.text), MsgButtons::OKOnly, MsgIcon::Exclamation);
        else if (answer.outcome == Secrets::Outcome::NoKeyring && !password.isEmpty()
                 && !std::exchange(m_toldWhereKept, true))
            MsgBox(kKeptInFile.arg(QDir::toNativeSeparators(store)), MsgButtons::OKOnly, MsgIcon::Information);
    });
}

void EmailInfoFrame::showStoredPassword(Connection& con, const MailSettings& settings)
{
    txtPassword->setText(settings.password);
    if (!settings.password.isEmpty() || !Secrets::exists())
        return;
    // Filled in when the keyring answers, unless the user typed meanwhile.
    readSecret(con, mailSecret(settings.key), Frame4, [this](const Secrets::Answer& answer) {
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
