#include "account/frmMailAccounts.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>

#include "controls/Buttons.h"
#include "controls/Controls.h"
#include "controls/Twips.h"
#include "kit/AppFolder.h"
#include "kit/MsgBox.h"
#include "kit/StoreAccess.h"

namespace {
const QString kCaption = QStringLiteral("Mail Accounts");
const QString kAccountsName = QStringLiteral("Accounts");
const QString kSignatureName = QStringLiteral("Signature");
const QString kNoAddress = QStringLiteral("An account needs the e-mail address it sends from.");
const QString kNotKept = QStringLiteral("The keyring did not take the mail password (%1), so it is not kept.");

QString deleteQuestion(const QString& name)
{
    return QStringLiteral("Delete the account %1? Its settings, the mail kept of it on this computer and its "
                          "passwords in the keyring are removed; the mail on the server stays.")
        .arg(name);
}
}  // namespace

frmMailAccounts::frmMailAccounts()
{
    setObjectName(QStringLiteral("frmMailAccounts"));
    setWindowTitle(kCaption);
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowCloseButtonHint | Qt::WindowTitleHint);
    setFixedSize(twips(9060), twips(6000));

    lstAccounts = new QListWidget(this);
    lstAccounts->setObjectName(QStringLiteral("lstAccounts"));
    lstAccounts->setGeometry(twipsRect(120, 120, 2400, 3615));
    lstAccounts->setAccessibleName(kAccountsName);
    cmdNew = makeCommandButton(this, "cmdNew", QStringLiteral("&New"), twipsRect(120, 3840, 1140, 375));
    cmdDelete = makeCommandButton(this, "cmdDelete", QStringLiteral("&Delete"), twipsRect(1380, 3840, 1140, 375));

    lblName = makeLabel(this, "lblName", QStringLiteral("Account &name:"), twipsRect(2760, 180, 1455, 255));
    txtName = makeTextBox(this, "txtName", twipsRect(4320, 120, 3855, 345));
    lblName->setBuddy(txtName);
    auto* info = new QWidget(this);
    info->setGeometry(twipsRect(2640, 480, 6300, 3495));
    createEmailInfo(info, 0, Layout::Setup, "txtEmailUserName");

    lblIdentities = makeLabel(this, "lblIdentities", QStringLiteral("&Identities (name, address, signature):"),
                              twipsRect(120, 4320, 4215, 255));
    lstIdentities = new QListWidget(this);
    lstIdentities->setObjectName(QStringLiteral("lstIdentities"));
    lstIdentities->setGeometry(twipsRect(120, 4620, 2400, 1215));
    lblIdentities->setBuddy(lstIdentities);
    txtIdentityName = makeTextBox(this, "txtIdentityName", twipsRect(2640, 4620, 2415, 345));
    txtIdentityAddress = makeTextBox(this, "txtIdentityAddress", twipsRect(5160, 4620, 2415, 345));
    txtIdentityName->setAccessibleName(QStringLiteral("Identity name"));
    txtIdentityAddress->setAccessibleName(QStringLiteral("Identity address"));
    txtSignature = new QPlainTextEdit(this);
    txtSignature->setObjectName(QStringLiteral("txtSignature"));
    txtSignature->setGeometry(twipsRect(2640, 5040, 4935, 795));
    txtSignature->setAccessibleName(kSignatureName);
    txtSignature->setTabChangesFocus(true);
    cmdAddIdentity =
        makeCommandButton(this, "cmdAddIdentity", QStringLiteral("&Add"), twipsRect(7680, 4620, 1260, 345));
    cmdRemoveIdentity =
        makeCommandButton(this, "cmdRemoveIdentity", QStringLiteral("Re&move"), twipsRect(7680, 5040, 1260, 345));

    connect(lstAccounts, &QListWidget::currentRowChanged, this, &frmMailAccounts::showAccount);
    connect(lstIdentities, &QListWidget::currentRowChanged, this, [this](int row) {
        const MailIdentity shown = m_shown.identities.value(row);
        txtIdentityName->setText(shown.name);
        txtIdentityAddress->setText(shown.address);
        txtSignature->setPlainText(shown.signature);
    });
    connect(txtIdentityName, &QLineEdit::textEdited, this, &frmMailAccounts::identityEdited);
    connect(txtIdentityAddress, &QLineEdit::textEdited, this, &frmMailAccounts::identityEdited);
    connect(txtSignature, &QPlainTextEdit::textChanged, this, [this] {
        if (txtSignature->hasFocus())
            identityEdited();
    });
    connect(cmdNew, &QPushButton::clicked, this, &frmMailAccounts::cmdNew_Click);
    connect(cmdDelete, &QPushButton::clicked, this, &frmMailAccounts::cmdDelete_Click);
    connect(cmdSave, &QToolButton::clicked, this, &frmMailAccounts::cmdSave_Click);
    connect(cmdAddIdentity, &QPushButton::clicked, this, &frmMailAccounts::cmdAddIdentity_Click);
    connect(cmdRemoveIdentity, &QPushButton::clicked, this, &frmMailAccounts::cmdRemoveIdentity_Click);
}

void frmMailAccounts::Form_Load()
{
    if (connectStore(Con))
        listAccounts(0);
}

void frmMailAccounts::Form_Unload()
{
    Con.Close();
}

void frmMailAccounts::listAccounts(qint64 chosen)
{
    m_accounts = MailAccounts::read(Con, reportStoreError);
    const QSignalBlocker quiet(lstAccounts);
    lstAccounts->clear();
    int row = 0;
    for (const MailAccount& a : std::as_const(m_accounts)) {
        if (a.key == chosen)
            row = lstAccounts->count();
        lstAccounts->addItem(a.name);
    }
    if (m_accounts.isEmpty())
        return cmdNew_Click();
    lstAccounts->setCurrentRow(row);
    showAccount(row);
}

void frmMailAccounts::showAccount(int row)
{
    if (row < 0 || row >= m_accounts.size())
        return;
    m_shown = m_accounts[row];
    m_adding = false;
    // The first account's settings are Change Info's; here only its identities change.
    const bool first = m_shown.key == 0;
    settingsEnabled(!first);
    const MailSettings& s = m_shown.settings;
    txtName->setText(m_shown.name);
    txtsmtp->setText(s.smtp);
    txtYourEmail->setText(s.yourEmail);
    txtHost->setText(s.remote);
    cboIncoming->setCurrentIndex(s.incoming == IncomingKind::Imap ? 1 : 0);
    txtEmailUserName->setText(s.userName);
    showStoredPassword(Con, s);
    showIdentities();
}

void frmMailAccounts::settingsEnabled(bool enabled)
{
    for (QWidget* w : std::initializer_list<QWidget*>{txtName, txtsmtp, txtYourEmail, txtHost, cboIncoming,
                                                      txtEmailUserName, txtPassword, cboSignIn, cmdDelete})
        w->setEnabled(enabled);
}

void frmMailAccounts::showIdentities()
{
    const QSignalBlocker quiet(lstIdentities);
    lstIdentities->clear();
    for (const MailIdentity& i : std::as_const(m_shown.identities))
        lstIdentities->addItem(i.from());
    lstIdentities->setCurrentRow(-1);
    txtIdentityName->clear();
    txtIdentityAddress->clear();
    txtSignature->clear();
}

void frmMailAccounts::identityEdited()
{
    const int row = lstIdentities->currentRow();
    if (row < 0 || row >= m_shown.identities.size())
        return;
    m_shown.identities[row] = {txtIdentityName->text(), txtIdentityAddress->text(), txtSignature->toPlainText()};
    lstIdentities->item(row)->setText(m_shown.identities[row].from());
}

void frmMailAccounts::cmdNew_Click()
{
    m_shown = MailAccount();
    m_adding = true;
    settingsEnabled(true);
    lstAccounts->setCurrentRow(-1);
    for (QLineEdit* box : {txtName, txtsmtp, txtYourEmail, txtHost, txtEmailUserName, txtPassword})
        box->clear();
    cboIncoming->setCurrentIndex(0);
    cboSignIn->setCurrentIndex(0);
    m_oauth = OAuthProvider();
    showIdentities();
    txtName->setFocus();
}

void frmMailAccounts::cmdAddIdentity_Click()
{
    if (txtIdentityAddress->text().trimmed().isEmpty())
        return;
    m_shown.identities.append({txtIdentityName->text(), txtIdentityAddress->text(), txtSignature->toPlainText()});
    showIdentities();
}

void frmMailAccounts::cmdRemoveIdentity_Click()
{
    const int row = lstIdentities->currentRow();
    if (row >= 0 && row < m_shown.identities.size()) {
        m_shown.identities.removeAt(row);
        showIdentities();
    }
}

void frmMailAccounts::cmdSave_Click()
{
    MailAccount account = m_shown;
    if (!m_adding && account.key == 0) {
        if (storeGuard([&] { MailAccounts::save(Con, account, false); }))
            listAccounts(0);
        return;
    }
    MailSettings& s = account.settings;
    account.name = txtName->text().trimmed();
    s.smtp = txtsmtp->text().trimmed();
    s.yourEmail = txtYourEmail->text().trimmed();
    s.remote = txtHost->text().trimmed();
    s.userName = txtEmailUserName->text().trimmed();
    s.incoming = cboIncoming->currentIndex() == 1 ? IncomingKind::Imap : IncomingKind::Pop3;
    const int signIn = cboSignIn->currentIndex();
    s.signIn = signIn == 0 ? SignInKind::Password : SignInKind::OAuth2;
    const auto chosen = OAuthProviderKind(std::max(0, signIn - 1));
    s.oauth = m_oauth.kind == chosen ? m_oauth : oauthPreset(chosen);
    if (s.yourEmail.isEmpty()) {
        MsgBox(kNoAddress, MsgButtons::OKOnly, MsgIcon::Exclamation);
        return txtYourEmail->setFocus();
    }
    qint64 key = 0;
    if (!storeGuard([&] { key = MailAccounts::save(Con, account, m_adding); }))
        return;
    s.key = s.account = key;
    const QString password = txtPassword->text().trimmed();
    if (!password.isEmpty())
        MailAccounts::keepPassword(Con, s, password, this, [](const Secrets::Answer& answer) {
            if (answer.outcome == Secrets::Outcome::Failed)
                MsgBox(kNotKept.arg(answer.text), MsgButtons::OKOnly, MsgIcon::Exclamation);
        });
    listAccounts(key);
}

void frmMailAccounts::cmdDelete_Click()
{
    if (m_shown.key == 0
        || MsgBox(deleteQuestion(m_shown.name), MsgButtons::YesNo, MsgIcon::Question) != MsgResult::Yes)
        return;
    const QString maildir = AppFolder::dataFolder() + QStringLiteral("/Mail");
    if (storeGuard([&] { MailAccounts::remove(Con, m_shown.key, maildir); }))
        listAccounts(0);
}
