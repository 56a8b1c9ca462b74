#pragma once

#include "kit/MailAccounts.h"
#include "kit/MailSettings.h"
#include "mail/CMessages.h"
#include "mail/ImapMailbox.h"
#include "mail/ImapSession.h"
#include "mail/ImapWatch.h"
#include "mail/MailCompose.h"
#include "mail/MailStore.h"
#include "mail/MimeMessage.h"
#include "mail/OAuthConversation.h"
#include "mail/Pop3Session.h"
#include "store/Connection.h"
#include "window/Screens.h"

#include <QTimer>

#include <memory>

struct RecordsChange;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QPlainTextEdit;
class QRadioButton;
class FlatBttn;
class ListView;
class MailConnection;
class Anchors;
class MailHtmlView;
class Pop3Check;
class InvitationBar;
class ConversationView;

// Keeps the messages of the POP3 mailbox of the e-mail settings on this
// computer (MailStore), lists them with sender, subject, date and size, and
// shows the decoded text and attached files of the one clicked. A check
// fetches only what is new; nothing is deleted on the server. The Delete
// key removes the selected messages from this computer, after asking. The
// conversation itself is Pop3Session's; this screen shows what it says,
// each message as it arrives. The two option buttons above the list switch
// it between the received messages and those sent (the Sent folder).
//
// With an IMAP account the mail stays on the server: a folder chooser takes
// the option buttons' place (the server's folders, INBOX first, then the
// Sent folder of this computer), the list shows at once what ImapMailbox holds
// of the open folder, and a sync (ImapSession) brings what changed. A
// message is fetched whole when first opened and kept for reading offline;
// opening marks it \Seen, Delete removes it on the server and "Move to..."
// sends it to another of the server's folders, each at the next sync, which
// starts at once. What the user asked of a folder waits in the mailbox
// (ImapMailbox) until a sync has done it; a failed sync changes nothing
// there, and a move the server refused leaves the message where it was,
// with the server's words.
//
// "Show conversations" lists the kept mail, or the IMAP folder, as
// conversations (ConversationView), the user's own sent answers (this
// computer's Sent folder) under what they answer.
//
// With more than one mail account an account box (cboAccount) below Check
// Mail chooses whose mail is listed and checked; the screen opens again on
// the account chosen, each account's mail in its own place (MailAccounts).
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
    // The kept message of that tblMailbox row, selected and shown.
    // A message found by the search: its folder ("Inbox", "Sent", or the
    // IMAP server's) and its key in the list (MailKey, or the UID).
    void showMessage(const QByteArray& folder, const QString& key, bool imap);
    void lvMessages_Delete();
    void lstAttachments_Save(int index);
    // Lists the folder the option buttons name.
    void showFolder();
    // The send screen opened on an answer to the shown message, or on a
    // forward of it, from the account and identity it was sent to.
    void answer(ComposeKind kind);
    // The account whose mail the screen shows, and the one it opens on next.
    qint64 account() const { return m_account; }
    static void chooseAccount(qint64 key);
    // HTML mail shows formatted unless chkAsText asks for its plain text.
    void showBody();
    // Syncs the open IMAP folder again, as when new mail is announced; with
    // a POP3 account, nothing. Asked during a sync, one more follows it.
    void refresh();
    // The folder the chooser names opens: its held messages, then a sync.
    void cboFolder_Click();
    // The chooser of the folder the selected messages go to (IMAP only).
    void cmdMove_Click();

    FlatBttn *cmdCheckMail, *cmdExit, *cmdReply, *cmdReplyAll, *cmdForward, *cmdMove;
    QMenu* mnuMove;  // the account's other folders, each action's data the name as the server spells it
    QCheckBox* chkAsText;
    MailHtmlView* htmlBody;  // in txtBody's place for HTML mail
    QGroupBox *Frame4, *Frame1, *Frame2, *Frame3;
    ListView* lvMessages;
    // In lvMessages' place while chkConversations is checked.
    ConversationView* tvConversations;
    QCheckBox* chkConversations;
    QPlainTextEdit* txtBody;
    QLineEdit *txtHost, *txtUserName, *txtPassword;
    QLabel* lblProgress;          // "Message k of n" while a check runs
    QListWidget* lstAttachments;  // the files of the shown message, below its text
    QRadioButton *optInbox, *optSent;
    QComboBox* cboAccount;  // with several accounts: each entry's data is the account's key
    QComboBox* cboFolder;   // IMAP only: each entry's data is the folder's name as the server spells it
    MailConnection* Winsock1;
    MailConnection* imapLink;      // the IMAP account's conversations
    InvitationBar* frmInvitation;  // above the text of a message that carries a meeting invitation

private:
    void OpenInfo();
    MailSettings m_settings;
    QList<MailAccount> m_accounts;
    qint64 m_account = 0;
    void showAccounts();
    void addRow(const KeptMessage& message);
    // `lostSecure`: the server used to offer a secure connection.
    void askLoginInClear(bool lostSecure);
    void showAttachments(bool shown);
    void clearShown();
    // The kept mail of the folder shown, as rows.
    void listKept();
    // The kept mail as conversations, the other folder's messages among them, when chosen.
    void showConversations();
    void showKept(const QString& key);
    // A message chosen among the conversations: an IMAP folder's is opened
    // as a click in its list opens it.
    void conversationChosen(const QString& key);
    // Mail stored elsewhere (another process, another screen) shows in the list.
    void recordsChanged(const RecordsChange& change);
    bool eventFilter(QObject* watched, QEvent* event) override;
    QByteArray shownRaw();
    void showRaw(const QByteArray& raw, const QString& key);
    // A folder of the IMAP server is listed (not this computer's Sent folder).
    bool imapFolderShown() const;
    void showImapFolders(std::vector<ImapFolder> folders);
    void showImapFolder();
    void openImapMessage(quint32 uid);
    void deleteOnServer(const QList<int>& rows);
    void deleteThreaded(const QStringList& keys);
    // The IMAP folder's messages among the conversations selected.
    QList<quint32> selectedUids() const;
    void fillMoveMenu();
    void moveSelected(const QByteArray& to);
    void imapSynced(bool ok);
    bool readyToConnect(quint16 defaultPort, void (frmCheckEmail::*again)());
    void syncWith(const QString& password);
    void signInWithOAuth();
    void watchFolder(const QByteArray& folder);
    // Whether the user allowed the login in clear, and the server offered a secure connection before.
    struct ClearLogin {
        bool allowed = false;
        bool offeredBefore = false;
    };
    ClearLogin loginInClear(const QString& host) const;

    // Left empty: the kept messages live in the mailbox, one in memory at a time.
    CMessages colMessages;
    QList<MimeAttachment> m_attachments;  // of the shown message
    QString m_shownKey, m_shownHtml;
    Pop3Session session{colMessages};
    ImapSession imapSession;
    Connection Con;
    MailStore m_mailbox;  // after Con: it goes first
    Anchors* m_anchors = nullptr;
    std::unique_ptr<Pop3Check> m_check;  // after the session and the mailbox it uses
    ImapMailbox m_imap;
    bool m_imapOpen = false;
    QByteArray m_folder = "INBOX";  // the IMAP folder listed
    bool m_syncAgain = false;
    // The folder listed, kept in IDLE on a conversation of its own: what the
    // server says changed there is synced at once.
    ImapWatch m_watch;
    QByteArray m_watched;
    // An OAuth2 account's conversations sign in through these (none for a password).
    OAuthConversation* m_pop3OAuth = nullptr;
    OAuthConversation* m_imapOAuth = nullptr;
    QString m_token;         // the last access token granted, for the IDLE that follows a sync
    quint32 m_shownUid = 0;  // the IMAP message opened, shown once its body is here
    QTimer m_rethread;       // the conversations made again after fetched mail
};
