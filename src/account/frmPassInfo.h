#pragma once

#include "account/EmailInfoFrame.h"
#include "store/Connection.h"
#include "store/Recordset.h"
#include "window/Screens.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class asxPowerButton;
class asxToolButton;
class FlatBttn;

// First-run setup: the account (user name and password) and the e-mail
// settings, two halves saved independently.
class frmPassInfo : public Form, public EmailInfoFrame {
    Q_OBJECT
public:
    frmPassInfo();
    void Form_Load() override;
    void Form_Unload() override;

    void cmdOkay_Click();
    void cmdSave_Click();

    QGroupBox* Frame5;
    QLabel *Label6, *Label1, *Label4, *Label2, *Label5, *Label3;
    QLineEdit *txtUserName, *txtPass, *txtRePass;
    asxPowerButton* cmdOkay;
    // This screen's name for the frame's mailbox user name box.
    QLineEdit* EmailUserName;

private:
    bool PassSaving();
    bool PassFileSave();
    bool EmailSave();

    Connection Con;
    Recordset rst;
};
