#pragma once

#include "kit/OAuth2.h"
#include "store/Connection.h"
#include "window/Screens.h"

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class asxToolButton;
class FlatBttn;

// The sync settings: the address of the CardDAV/CalDAV server and the login there.
class frmSyncSettings : public Form {
    Q_OBJECT
public:
    frmSyncSettings();
    void Form_Load() override;
    void Form_Unload() override;

    void cmdSave_Click();
    static void cmdServerHelp_Click();

    QGroupBox* Frame1;
    QLabel *Label1, *Label2, *Label3;
    QLineEdit *txtServer, *txtSyncUserName, *txtSyncPassword;
    QComboBox* cboSignIn;
    FlatBttn* cmdServerHelp;
    asxToolButton* cmdSave;

private:
    Connection Con;
    OAuthProvider m_oauth;  // the stored provider, kept while it stays chosen
};
