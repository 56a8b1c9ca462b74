#pragma once

#include "account/EmailInfoFrame.h"
#include "store/Connection.h"
#include "store/Recordset.h"
#include "window/Screens.h"

class QGroupBox;
class QLabel;
class QComboBox;
class QSpinBox;
class QLineEdit;
class asxToolButton;
class FlatBttn;

// The e-mail settings: outgoing and incoming servers, the user's own
// address, the mailbox user name and password, and the form attachments
// go out in, and the largest message a check fetches.
class frmChangeInfo : public Form, public EmailInfoFrame {
    Q_OBJECT
public:
    frmChangeInfo();
    void Form_Load() override;
    void Form_Unload() override;

    void cmdSave_Click();

    QLineEdit* txtID;
    QLabel* lblAttachments;
    QComboBox* cboAttachments;  // uuencoded in the text (the first), or MIME parts
    QLabel* lblMessageLimit;
    QSpinBox* spnMessageLimit;  // the largest message to fetch, in MB

private:
    void LoadContact();
    bool EmailSave();

    Connection Con;
    Recordset rst;
};
