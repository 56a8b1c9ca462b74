#pragma once

#include "store/Connection.h"
#include "store/Recordset.h"
#include "window/Screens.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class asxPowerButton;

// Replaces the user name and password of the account. The user first proves
// the current pair; only then does the window grow to show the new one.
class frmChangePass : public Form {
    Q_OBJECT
public:
    frmChangePass();
    void Form_Load() override;
    void Form_Unload() override;

    void cmdTest_Click();
    void cmdOkay_Click();

    // The window's outer height in twips, title bar and border included.
    int Height() const;
    void setHeight(int outerTwips);

    QGroupBox* fraPassLook;
    QLabel *Label1, *Label2, *Label5;
    QLineEdit *txtcurrentUserName, *txtCurrentPass, *txtID;
    QPushButton* cmdTest;

    QGroupBox* fraNew;
    QLabel *Label6, *Label4, *Label3;
    QLineEdit *txtUserName, *txtPass, *txtRePass;
    asxPowerButton* cmdOkay;

private:
    void Updating();

    Connection Con;
    Recordset rst;
    int m_outerHeight = 0;
};
