#pragma once

#include <QString>

#include "kit/OAuth2.h"

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QWidget;
class Connection;
class Recordset;
struct MailSettings;
class asxToolButton;
class FlatBttn;
class MailDiscovery;
struct FoundSettings;

// The "Email Info" frame that the first-run setup and the e-mail settings
// screen both carry: the five settings boxes with their captions, the two
// help buttons and the save button.
struct EmailInfoFrame {
    QGroupBox* Frame4;
    QLabel *Label7, *Label8, *Label9, *Label10, *Label11;
    QLineEdit *txtsmtp, *txtYourEmail, *txtHost, *txtEmailUserName, *txtPassword;
    QComboBox* cboIncoming;  // beside the incoming server: "POP3" (the first) or "IMAP"
    QComboBox* cboSignIn;    // beside the password: "Password" (the first), "Google", "Microsoft", "OAuth2"
    FlatBttn *cmdSMTPhelp, *cmdRemoteHelp;
    asxToolButton* cmdSave;
    // Looks up the settings of an address typed into txtYourEmail once the
    // user leaves the box; what it finds is shown, and put into the boxes
    // only when the user says yes (nothing is saved until Save).
    MailDiscovery* discovery;

    enum class Layout {
        Setup,     // the user's address above the incoming server
        Settings,  // the incoming server above the user's address
    };
    // Creates the frame at `top` (twips) in `parent`; the mailbox user name
    // box is named `userNameBox`. The help buttons are connected.
    void createEmailInfo(QWidget* parent, int top, Layout layout, const char* userNameBox);

    // Assigns the five settings of the current row of `rs`, each trimmed, and
    // saves the row with its kind of incoming server beside it: the password
    // goes to the keyring when one answers. When it went into the database
    // file, the screen's first such save says so.
    void saveEmailSettings(Connection& con, Recordset& rs);
    // The password of the settings in its box; from the keyring once it answers.
    void showStoredPassword(Connection& con, const MailSettings& settings);

    // Asks whether the found settings go into the boxes, and puts them there.
    void offerFoundSettings(const FoundSettings& found);

    static void cmdSMTPhelp_Click();
    bool m_toldWhereKept = false;
    OAuthProvider m_oauth;  // the row's provider, kept while it stays chosen
    static void cmdRemoteHelp_Click();
};

// The help texts of the two host boxes.
extern const QString kSmtpHelp;
extern const QString kRemoteHelp;
