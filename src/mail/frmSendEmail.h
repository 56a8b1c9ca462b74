#pragma once

#include "kit/MailAccounts.h"
#include "kit/MailSettings.h"
#include "mail/AddressCompletion.h"
#include "mail/HostPort.h"
#include "mail/ImapCache.h"
#include "mail/MailCompose.h"
#include "mail/MailStore.h"
#include "mail/OAuthConversation.h"
#include "mail/SmtpSession.h"
#include "store/Connection.h"
#include "window/Screens.h"

#include <memory>

class Anchors;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class FlatBttn;
class ImapSentCopy;
class MailConnection;
class QCompleter;
class QTemporaryDir;

// Writes one plain-text message with files attached and sends it through
// the SMTP server of the e-mail settings. The conversation itself is
// SmtpSession's; this screen shows what it says and how far the message is.
// With an IMAP account a copy of what the server took also goes to the
// account's Sent folder, in the background (ImapSentCopy); the status line
// says how that went, and the message counts as sent either way.
//
// With more than one sender identity (MailAccounts) a From box (cboFrom)
// lists them all; the message goes through the SMTP server of the chosen
// identity's account, from its address, with its signature below the text.
class frmSendEmail : public Form {
    Q_OBJECT
public:
    frmSendEmail();
    ~frmSendEmail() override;
    void Form_Load() override;
    void Form_Unload() override;
    bool isChildWindow() const override { return true; }
    // The window opens at its designed size and may be made larger.
    QSize sizeHint() const override;

    void cmdSend_Click();
    void cmdNew_Click();
    void cmdAddFile_Click();
    void cmdRemove_Click();
    void cmdClose_Click();
    void cmdTo_Click();
    // A picked address joins the recipients, after "; " when there are some.
    void addRecipient(const QString& address);
    // Starts over with an answer or a forward in the boxes; the files it
    // carries are written to a folder of this screen's own and listed.
    void compose(const MailDraft& draft);
    // The From box set to `identity` of `account` (an answer's), when it lists it.
    void chooseFrom(qint64 account, int identity);
    void cboFrom_Click();

    FlatBttn *cmdSend, *cmdNew, *cmdAddFile, *cmdRemove, *cmdClose;
    QPushButton* cmdTo;
    QLineEdit *txtRecipient, *txtSubject, *txtHost, *txtSender;
    QLabel *Label4, *Label1, *Label2, *lblFrom;
    QComboBox* cboFrom;  // each entry's data: the account's key, and (the next role) the identity's place
    QLabel* lblStatus;   // how the copy for the server's Sent folder went
    QPlainTextEdit* txtMessage;
    QGroupBox* Frame1;
    QListWidget* lstAttachments;
    QProgressBar* prgSend;  // share of the message written
    MailConnection* Winsock1;

private:
    void OpenInfo();
    void useAccount(const MailAccount& account);
    void showIdentities();
    QList<MailAccount> m_accounts;
    QString m_signature;  // the chosen identity's, as put below the text
    Anchors* m_anchors = nullptr;
    void sessionEnded(bool sent);
    void sendWith(const SmtpMessage& message, const HostPort& server);
    void copyToServer(const QString& key);
    void serverCopyDone(const QString& folder, const QString& failure);
    void offerRecipients(const QString& boxText);

    QCompleter* m_recipients;                   // the address book's matches below the To box
    QList<AddressCompletion::Match> m_offered;  // in the completer's order

    SmtpSession session;
    Connection Con;
    QString loginUser, loginPassword;  // of the e-mail settings, never shown
    MailSettings m_settings;
    // What was sent is kept in the Sent folder; a copy grows as the message goes out.
    MailStore m_sent;  // after Con: it goes first
    std::unique_ptr<SentCopy> m_copy;
    QString m_sentText;  // of the message on its way, for the search once it is kept
    ImapCache m_imap;    // what the check screen holds of the IMAP account, kept current by the copy's syncs
    bool m_imapOpen = false;
    ImapSentCopy* m_serverCopy;
    OAuthConversation* m_oauth = nullptr;        // an OAuth2 account's sends sign in through it
    QString m_token;                             // the last access token, for the server's Sent copy
    QString m_inReplyTo, m_references;           // of the draft answering a message
    std::unique_ptr<QTemporaryDir> m_forwarded;  // the forwards' files, until the screen closes
    int m_forwards = 0;
};
