#pragma once

#include "kit/Screens.h"
#include "mail/CMessages.h"
#include "mail/Pop3Session.h"
#include "store/Connection.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class FlatBttn;
class ListView;
class MailConnection;

// Fetches every message of the POP3 mailbox of the e-mail settings, lists
// them with sender, subject, date and size, and shows the body of the one
// clicked. Nothing is deleted on the server. The conversation itself is
// Pop3Session's; this screen shows what it says, each message as it arrives.
class frmCheckEmail : public Form {
    Q_OBJECT
public:
    frmCheckEmail();
    ~frmCheckEmail() override;
    void Form_Load() override;
    void Form_Unload() override;
    bool isChildWindow() const override { return true; }
    // The window opens at its designed size and may be made larger.
    QSize sizeHint() const override;

    void cmdCheckMail_Click();
    void cmdExit_Click();
    void lvMessages_ItemClick(int row);

    FlatBttn *cmdCheckMail, *cmdExit;
    QGroupBox *Frame4, *Frame1, *Frame2, *Frame3;
    ListView* lvMessages;
    QPlainTextEdit* txtBody;
    QLineEdit *txtHost, *txtUserName, *txtPassword;
    QLabel* lblProgress;  // "Message k of n" while a check runs
    MailConnection* Winsock1;

private:
    void OpenInfo();
    void ShowMessages(const QStringList& keys);

    // Every message fetched while the screen is open, keyed as listed.
    CMessages colMessages;
    Pop3Session session{colMessages};
    Connection Con;
};
