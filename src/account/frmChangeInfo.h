#pragma once

#include "kit/Screens.h"
#include "store/Connection.h"
#include "store/Recordset.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class asxToolButton;
class FlatBttn;

// The e-mail settings: outgoing and incoming servers, the user's own
// address, and the mailbox user name and password.
class frmChangeInfo : public Form {
    Q_OBJECT
public:
    frmChangeInfo();
    void Form_Load() override;
    void Form_Unload() override;

    void cmdSave_Click();
    void cmdSMTPhelp_Click();
    void cmdRemoteHelp_Click();

    QGroupBox* Frame4;
    QLabel *Label7, *Label9, *Label8, *Label10, *Label11;
    QLineEdit *txtsmtp, *txtHost, *txtYourEmail, *txtEmailUserName, *txtPassword, *txtID;
    FlatBttn *cmdSMTPhelp, *cmdRemoteHelp;
    asxToolButton* cmdSave;

private:
    void LoadContact();
    bool EmailSave();

    Connection Con;
    Recordset rst;
};
