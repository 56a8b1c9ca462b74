#pragma once

#include "account/EmailInfoFrame.h"
#include "kit/MailAccounts.h"
#include "store/Connection.h"
#include "window/Screens.h"

class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;

// The mail accounts: each one's name, the "Email Info" boxes, and its
// sender identities (name, address, signature). The first account's
// settings are Change Info's, so only its identities change here. New
// starts an empty account that Save adds; Delete asks, then removes the
// account with its mail on this computer and its passwords in the keyring.
class frmMailAccounts : public Form, public EmailInfoFrame {
    Q_OBJECT
public:
    frmMailAccounts();
    void Form_Load() override;
    void Form_Unload() override;

    void cmdNew_Click();
    void cmdSave_Click();
    void cmdDelete_Click();
    void cmdAddIdentity_Click();
    void cmdRemoveIdentity_Click();

    QListWidget *lstAccounts, *lstIdentities;
    QLabel *lblName, *lblIdentities;
    QLineEdit *txtName, *txtIdentityName, *txtIdentityAddress;
    QPlainTextEdit* txtSignature;
    QPushButton *cmdNew, *cmdDelete, *cmdAddIdentity, *cmdRemoveIdentity;

private:
    void listAccounts(qint64 chosen);
    void showAccount(int row);
    void showIdentities();
    void settingsEnabled(bool enabled);
    void identityEdited();

    Connection Con;
    QList<MailAccount> m_accounts;  // the first, then the others
    MailAccount m_shown;
    bool m_adding = false;  // the boxes hold an account not saved yet
};
