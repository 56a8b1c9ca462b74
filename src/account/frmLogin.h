#pragma once

#include "store/Connection.h"
#include "store/Recordset.h"
#include "window/Screens.h"

class QLabel;
class QLineEdit;
class asxGenericContainer;
class asxToolButton;

// The gate in front of the main window: the user name and password are
// checked against the first account record.
class frmLogin : public Form {
    Q_OBJECT
public:
    frmLogin();
    void Form_Load() override;
    void Form_Unload() override;

    void cmdLogin_Click();
    void cmdExit_Click();

    asxGenericContainer* asxGenericContainer1;
    QLabel *Label1, *Label2;
    QLineEdit *txtUserName, *txtPassword;
    asxToolButton *cmdLogin, *cmdExit;

private:
    void CheckEmpty();
    void lockMainWindow();

    Connection Con;
    Recordset rst;
    bool m_loggedIn = false;
};
