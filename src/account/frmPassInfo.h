#pragma once

#include "kit/Screens.h"
#include "store/Connection.h"
#include "store/Recordset.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class asxPowerButton;
class asxToolButton;
class FlatBttn;

// First-run setup: the account (user name and password) and the e-mail
// settings, two halves saved independently.
class frmPassInfo : public Form {
    Q_OBJECT
public:
    frmPassInfo();
    void Form_Load() override;
    void Form_Unload() override;

    void cmdOkay_Click();
    void cmdSave_Click();
    void cmdSMTPhelp_Click();
    void cmdRemoteHelp_Click();

    QGroupBox *Frame5, *Frame4;
    QLabel *Label6, *Label1, *Label4, *Label2, *Label5, *Label3;
    QLineEdit *txtUserName, *txtPass, *txtRePass;
    asxPowerButton* cmdOkay;
    QLabel *Label7, *Label8, *Label9, *Label10, *Label11;
    QLineEdit *txtsmtp, *txtYourEmail, *txtHost, *EmailUserName, *txtPassword;
    FlatBttn *cmdSMTPhelp, *cmdRemoteHelp;
    asxToolButton* cmdSave;

private:
    bool PassSaving();
    bool PassFileSave();
    bool EmailSave();

    Connection Con;
    Recordset rst;
};

// The help texts of the two host boxes, shared with the settings screen.
extern const QString kSmtpHelp;
extern const QString kRemoteHelp;
