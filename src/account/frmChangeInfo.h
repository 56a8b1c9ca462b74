#pragma once

#include "account/EmailInfoFrame.h"
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
class frmChangeInfo : public Form, public EmailInfoFrame {
    Q_OBJECT
public:
    frmChangeInfo();
    void Form_Load() override;
    void Form_Unload() override;

    void cmdSave_Click();

    QLineEdit* txtID;

private:
    void LoadContact();
    bool EmailSave();

    Connection Con;
    Recordset rst;
};
