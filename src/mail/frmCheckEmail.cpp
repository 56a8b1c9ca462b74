#include "mail/frmCheckEmail.h"
#include "store/RecordsChanged.h"
#include "store/SearchIndex.h"
#include "store/Statement.h"

#include <algorithm>
#include <optional>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QRadioButton>

#include "controls/Accessible.h"
#include "controls/Anchors.h"
#include "controls/Buttons.h"
#include "controls/Controls.h"
#include "controls/ListView.h"
#include "controls/Twips.h"
#include "kit/AppFolder.h"
#include "kit/AtomicFile.h"
#include "kit/ConnectionSettings.h"
#include "kit/MailSettings.h"
#include "kit/MsgBox.h"
#include "kit/StoreAccess.h"
#include "kit/Worker.h"
#include "mail/ConversationView.h"
#include "mail/HostPort.h"
#include "mail/InvitationBar.h"
#include "mail/MailConnection.h"
#include "mail/MailHtmlView.h"
#include "mail/MailNoticeBox.h"
#include "mail/MailPassword.h"
#include "mail/Pop3Check.h"
#include "mail/frmSendEmail.h"
#include "window/FileDialogs.h"

namespace {
const QString kCaption = QStringLiteral("Check Email");
// What a screen reader calls the boxes without a caption.
const QString kMessageName = QStringLiteral("Message");
const QString kAttachmentsName = QStringLiteral("Attachments");

// The list view's own width for a column added without one.
constexpr int kColumnTwips = 1440;

const QString kSaveTitle = QStringLiteral("Save Attachment");
const QString kInbox = QStringLiteral("&Inbox");
const QString kSentFolder = QStringLiteral("&Sent");
const QString kAsText = QStringLiteral("Show as te&xt");
const QString kFormattedName = QStringLiteral("Formatted message");
const QString kFolderName = QStringLiteral("Folder");
const QString kLocalSent = QStringLiteral("Sent (this computer)");
const QString kStatusColumn = QStringLiteral("Status");
const QString kUnread = QStringLiteral("Unread");
const QString kFlagged = QStringLiteral("Flagged");
const QString kAnswered = QStringLiteral("Answered");
const QString kSyncing = QStringLiteral("Synchronizing...");
const QString kFetchingBody = QStringLiteral("Fetching the message from the server...");
const QString kMoveTo = QStringLiteral("&Move to...");
const QString kMoveName = QStringLiteral("Move to");
const QString kMoveRefused = QStringLiteral("The IMAP server %1 said: %2");
const QString kAccountName = QStringLiteral("Account");
const QString kConversations = QStringLiteral("Show co&nversations");

// The account the screen opens on; the first account until another is chosen.
qint64 chosenAccount = 0;

// Asked once per server; the answer is kept with the mail. `command` is
// how the protocol asks for a secure connection (STLS, STARTTLS).
QString clearLoginQuestion(const QString& host, const QString& command)
{
    return QStringLiteral("The server %1 offers no secure connection (%2). Your user name and password would "
                          "cross the network as plain text, readable by anyone on the way. Nothing was sent.\n\n"
                          "Send them to %1 unprotected, now and at every later check?")
        .arg(host, command);
}

// Asked again, whatever was answered before, when a server that gave a
// secure connection on request no longer offers it: that is how someone on
// the way who took the offer out looks.
QString lostSecureQuestion(const QString& host, const QString& command)
{
    return QStringLiteral("The server %1 used to offer a secure connection (%2) and no longer does: someone on the "
                          "way may have taken the offer out. Your user name and password would cross the network as "
                          "plain text, readable by anyone on the way. Nothing was sent.\n\n"
                          "Send them to %1 unprotected, now and at every later check?")
        .arg(host, command);
}

// The Status column of an IMAP message: what its flags mean to the reader.
QString statusText(const QByteArrayList& flags)
{
    QStringList out;
    if (!flags.contains("\\Seen"))
        out << kUnread;
    if (flags.contains("\\Flagged"))
        out << kFlagged;
    if (flags.contains("\\Answered"))
        out << kAnswered;
    return out.join(QStringLiteral(", "));
}

QString deleteQuestion(int count, bool onServer = false, bool here = true)
{
    const QString where = !onServer ? QStringLiteral("this computer")
                          : here    ? QStringLiteral("the server and this computer")
                                    : QStringLiteral("the server");
    return count == 1 ? QStringLiteral("Delete the selected message from %1?").arg(where)
                      : QStringLiteral("Delete the %1 selected messages from %2?").arg(count).arg(where);
}
// An IMAP folder's message in the conversations is keyed by its UID; the
// answers beside it, from this computer's Sent folder, by their MailKey.
std::optional<quint32> uidOf(const QString& key)
{
    bool ok = false;
    const quint32 uid = key.toUInt(&ok);
    return ok && uid != 0 && key.at(0).isDigit() ? std::optional(uid) : std::nullopt;
}
}  // namespace

frmCheckEmail::frmCheckEmail()
{
    setObjectName(QStringLiteral("frmCheckEmail"));
    setWindowTitle(kCaption);
    resize(sizeHint());
    // Paints its own background, so the work area's blue never shows through.
    setAutoFillBackground(true);

    cmdCheckMail =
        makeCaptionButton<FlatBttn>(this, "cmdCheckMail", QStringLiteral("Check Mail"), twipsRect(120, 0, 1695, 615));
    cmdExit = makeCaptionButton<FlatBttn>(this, "cmdExit", QStringLiteral("&Exit"), twipsRect(5880, 0, 1455, 495));
    optInbox = makeControl<QRadioButton>(this, "optInbox", twipsRect(3960, 180, 900, 255), kInbox);
    optSent = makeControl<QRadioButton>(this, "optSent", twipsRect(4920, 180, 900, 255), kSentFolder);
    optInbox->setChecked(true);
    // Up to the option buttons, which it would otherwise cover.
    lblProgress = makeLabel(this, "lblProgress", QString(), twipsRect(1935, 180, 1965, 255));
    // Shown, with Check Mail above it, when there is more than one account.
    cboAccount = makeControl<QComboBox>(this, "cboAccount", twipsRect(120, 420, 1695, 345));
    Accessible::nameChoiceBox(cboAccount, kAccountName);
    cboAccount->hide();
    cboFolder = makeControl<QComboBox>(this, "cboFolder", twipsRect(3960, 120, 1860, 345));
    Accessible::nameChoiceBox(cboFolder, kFolderName);
    cboFolder->hide();
    // Below the progress line: answering and passing on the message shown.
    const std::tuple<FlatBttn**, const char*, const char*, QRect, const char*, ComposeKind> answers[] = {
        {&cmdReply, "cmdReply", "Reply", twipsRect(1935, 510, 750, 315), "Ctrl+R", ComposeKind::Reply},
        {&cmdReplyAll, "cmdReplyAll", "Reply All", twipsRect(2730, 510, 1005, 315), "Ctrl+Shift+R",
         ComposeKind::ReplyAll},
        {&cmdForward, "cmdForward", "Forward", twipsRect(3780, 510, 900, 315), "Ctrl+L", ComposeKind::Forward}};
    for (const auto& [button, name, caption, rect, keys, kind] : answers) {
        *button = makeCaptionButton<FlatBttn>(this, name, QLatin1String(caption), rect);
        const QKeySequence shortcut(QLatin1String(keys), QKeySequence::PortableText);
        (*button)->setAccessibleName(QLatin1String(caption));
        (*button)->setToolTip(QLatin1String(caption) + QLatin1String(" (") + shortcut.toString(QKeySequence::NativeText)
                              + QLatin1Char(')'));
        (*button)->setEnabled(false);
        // While the focus is anywhere in this screen, as other screens may take the same keys.
        auto* action = new QAction(this);
        action->setShortcut(shortcut);
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        addAction(action);
        connect(action, &QAction::triggered, *button, &QToolButton::click);
        connect(*button, &QToolButton::clicked, this, [this, kind = kind] { answer(kind); });
    }
    // IMAP only: the selected messages to another folder of the server, chosen from a menu
    // that the button, Alt+M and the list's context menu open.
    cmdMove = makeCaptionButton<FlatBttn>(this, "cmdMove", kMoveTo, twipsRect(4725, 510, 1050, 315));
    cmdMove->setAccessibleName(kMoveName);
    cmdMove->hide();
    mnuMove = new QMenu(this);
    mnuMove->setObjectName(QStringLiteral("mnuMove"));
    mnuMove->setAccessibleName(kMoveName);
    connect(cmdMove, &QToolButton::clicked, this, &frmCheckEmail::cmdMove_Click);
    connect(mnuMove, &QMenu::triggered, this, [this](QAction* a) { moveSelected(a->data().toByteArray()); });
    chkAsText = new QCheckBox(kAsText, this);
    chkAsText->setObjectName(QStringLiteral("chkAsText"));
    chkAsText->setGeometry(twipsRect(5835, 510, 1500, 315));
    chkAsText->setEnabled(false);
    connect(chkAsText, &QCheckBox::toggled, this, &frmCheckEmail::showBody);

    Frame4 = makeFrame(this, "Frame4", QStringLiteral("Messages"), twipsRect(0, 840, 7095, 1815));
    lvMessages = new ListView(Frame4);
    lvMessages->setObjectName(QStringLiteral("lvMessages"));
    lvMessages->setAccessibleName(Frame4->title());
    lvMessages->setGeometry(twipsRect(120, 240, 6855, 1455));
    for (const char* column : {"From", "Subject", "Date", "Size"})
        lvMessages->addColumn(QLatin1String(column), kColumnTwips);
    // Newest first, until a heading says otherwise.
    lvMessages->setSortAs(2, RowsModel::SortAs::Date);
    lvMessages->setSortAs(3, RowsModel::SortAs::Number);
    lvMessages->sortByColumn(2, Qt::DescendingOrder);
    tvConversations = new ConversationView(Frame4);
    tvConversations->setObjectName(QStringLiteral("tvConversations"));
    tvConversations->setAccessibleName(Frame4->title());
    tvConversations->setGeometry(lvMessages->geometry());
    tvConversations->hide();
    // In the frame's heading, right of its title.
    chkConversations =
        makeControl<QCheckBox>(Frame4, "chkConversations", twipsRect(4380, 0, 2595, 240), kConversations);

    txtBody = new QPlainTextEdit(this);
    txtBody->setObjectName(QStringLiteral("txtBody"));
    txtBody->setGeometry(twipsRect(120, 2760, 7095, 2655));
    txtBody->setFont(QFont(QStringLiteral("Courier New")));
    txtBody->setLineWrapMode(QPlainTextEdit::NoWrap);
    txtBody->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtBody->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    lstAttachments = new QListWidget(this);
    lstAttachments->setObjectName(QStringLiteral("lstAttachments"));
    lstAttachments->setGeometry(twipsRect(120, 4635, 7095, 780));
    lstAttachments->setToolTip(QStringLiteral("Double-click a file to save it"));
    lstAttachments->hide();
    htmlBody = new MailHtmlView(this);
    htmlBody->setObjectName(QStringLiteral("htmlBody"));
    htmlBody->setGeometry(txtBody->geometry());
    htmlBody->setAccessibleName(kFormattedName);
    htmlBody->hide();
    txtBody->setAccessibleName(kMessageName);
    lstAttachments->setAccessibleName(kAttachmentsName);
    lvMessages->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lvMessages->installEventFilter(this);
    tvConversations->installEventFilter(this);
    lvMessages->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(lvMessages, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        if (imapFolderShown() && !mnuMove->isEmpty())
            mnuMove->popup(lvMessages->viewport()->mapToGlobal(at));
    });

    Frame1 = makeFrame(this, "Frame1", QStringLiteral("Remote Host:"), twipsRect(120, 5640, 2295, 615));
    txtHost = makeTextBox(Frame1, "txtHost", twipsRect(120, 240, 2055, 285));
    Frame2 = makeFrame(this, "Frame2", QStringLiteral("User Name:"), twipsRect(2520, 5640, 2295, 615));
    txtUserName = makeTextBox(Frame2, "txtUserName", twipsRect(120, 240, 2055, 285));
    Frame3 = makeFrame(this, "Frame3", QStringLiteral("Password:"), twipsRect(4920, 5640, 2295, 615));
    txtPassword = makeTextBox(Frame3, "txtPassword", twipsRect(120, 240, 2055, 285), true);
    // The account's boxes are read from the settings; they are never shown.
    for (QWidget* frame : {Frame1, Frame2, Frame3})
        frame->hide();

    // Grown, the list and the message share the height; Exit keeps to the right.
    m_anchors = new Anchors(this);
    m_anchors->pin(cmdExit, Qt::TopEdge | Qt::RightEdge);
    m_anchors->pin(lvMessages, Qt::LeftEdge | Qt::TopEdge | Qt::RightEdge | Qt::BottomEdge);
    m_anchors->same(tvConversations, lvMessages);
    m_anchors->pin(chkConversations, Qt::TopEdge | Qt::RightEdge);
    m_anchors->split(Frame4, txtBody, 0.55);
    m_anchors->same(htmlBody, txtBody);
    m_anchors->pin(lstAttachments, Qt::LeftEdge | Qt::RightEdge | Qt::BottomEdge);
    frmInvitation = new InvitationBar(this, {txtBody, htmlBody});

    connect(&RecordsChanged::instance(), &RecordsChanged::changed, this, &frmCheckEmail::recordsChanged);

    Winsock1 = new MailConnection(session, connectionSettings(), this);
    Winsock1->setObjectName(QStringLiteral("Winsock1"));
    connect(Winsock1, &MailConnection::notice, this, &showMailNotice);
    m_check = std::make_unique<Pop3Check>(session, *Winsock1, m_mailbox);
    connect(m_check.get(), &Pop3Check::storeFailed, this, &reportStoreError);
    connect(m_check.get(), &Pop3Check::kept, this, [this](const QList<KeptMessage>& kept, const QString& progress) {
        // Fetched mail is received mail: listed when the received messages are.
        if (optInbox->isChecked())
            for (const KeptMessage& message : kept)
                addRow(message);
        // Threaded again at most once a second while a check brings mail.
        if (chkConversations->isChecked() && !m_rethread.isActive())
            m_rethread.start();
        lblProgress->setText(progress);
    });
    connect(m_check.get(), &Pop3Check::finished, this, [this] {
        // Asked once the connection is done with this answer.
        if (session.refusedInClear())
            QTimer::singleShot(0, this, [this, lost = session.lostStls()] { askLoginInClear(lost); });
    });

    imapLink = new MailConnection(imapSession, connectionSettings(), this);
    imapLink->setObjectName(QStringLiteral("imapLink"));
    connect(imapLink, &MailConnection::notice, this, &showMailNotice);
    // With OAuth2 the conversation says when the sync is over (a refused token is tried again).
    connect(imapLink, &MailConnection::finished, this, [this](bool ok) {
        if (!m_imapOAuth)
            imapSynced(ok);
    });
    connect(cboFolder, &QComboBox::activated, this, &frmCheckEmail::cboFolder_Click);
    connect(cboAccount, &QComboBox::activated, this, [this](int index) {
        if (cboAccount->itemData(index).toLongLong() != m_account)
            chooseAccount(cboAccount->itemData(index).toLongLong());
    });
    connect(&m_watch, &ImapWatch::folderChanged, this, [this] {
        if (m_watched == m_folder)
            refresh();
    });
    // A watch that ended (the server hung up, the network went) is started again by the next sync.
    connect(&m_watch, &ImapWatch::finished, this, [this] { m_watched.clear(); });

    connect(cmdCheckMail, &QToolButton::clicked, this, &frmCheckEmail::cmdCheckMail_Click);
    connect(cmdExit, &QToolButton::clicked, this, &frmCheckEmail::cmdExit_Click);
    connect(lvMessages, &ListView::ItemClick, this, &frmCheckEmail::lvMessages_ItemClick);
    connect(tvConversations, &ConversationView::messageChosen, this, &frmCheckEmail::conversationChosen);
    m_rethread.setSingleShot(true);
    m_rethread.setInterval(1000);
    connect(&m_rethread, &QTimer::timeout, this, &frmCheckEmail::showConversations);
    connect(chkConversations, &QCheckBox::toggled, this, [this](bool shown) {
        if (m_mailbox.isOpen())
            storeGuard([&] { m_mailbox.showConversations(shown); });
        showFolder();
    });
    connect(optSent, &QRadioButton::toggled, this, &frmCheckEmail::showFolder);
    connect(lstAttachments, &QListWidget::itemActivated, this,
            [this](QListWidgetItem* item) { lstAttachments_Save(lstAttachments->row(item)); });
}

frmCheckEmail::~frmCheckEmail()
{
    // The session goes before the connection: nothing the socket does on
    // its way out may reach it.
    Winsock1->drop();
    imapLink->drop();
}

QSize frmCheckEmail::sizeHint() const
{
    // The account frames lie below this height (and stay hidden).
    return {twips(7365), twips(5490)};
}

void frmCheckEmail::Form_Load()
{
    if (!connectStore(Con))
        return OpenInfo();
    const QString maildir = AppFolder::dataFolder() + QStringLiteral("/Mail");
    m_accounts = MailAccounts::read(Con, reportStoreError);
    m_account = m_accounts.isEmpty() ? 0 : m_accounts.first().key;
    for (const MailAccount& a : std::as_const(m_accounts))
        if (a.key == chosenAccount)
            m_account = a.key;
    const QString folder = MailAccounts::mailFolder(m_account);
    storeGuard([&] { m_mailbox.open(Con, maildir, folder, MailAccounts::mailKeyPrefix(m_account)); });
    OpenInfo();
    showAccounts();
    {
        const QSignalBlocker quiet(chkConversations);
        bool shown = false;
        if (m_mailbox.isOpen())
            storeGuard([&] { shown = m_mailbox.showsConversations(); });
        chkConversations->setChecked(shown);
    }
    if (m_settings.incoming == IncomingKind::Imap) {
        optInbox->hide();
        optSent->hide();
        cboFolder->show();
        cmdMove->show();
        lvMessages->addColumn(kStatusColumn, kColumnTwips);
        std::vector<ImapFolder> held;
        m_imapOpen = storeGuard([&] {
            m_imap.open(Con, maildir, folder, MailAccounts::mailKeyPrefix(m_account).toUtf8());
            held = m_imap.folders();
        });
        imapSession.spillTo(maildir + QLatin1Char('/') + folder + QStringLiteral("tmp"));
        showImapFolders(std::move(held));
        // What is held shows first; what changed follows once the window is up.
        QTimer::singleShot(0, this, &frmCheckEmail::refresh);
    }
    showFolder();
}

void frmCheckEmail::Form_Unload()
{
    // A check still running is abandoned without a message box; what it kept stays.
    Winsock1->drop();
    imapLink->drop();
    m_watch.stop();
    m_watched.clear();
    m_imapOpen = false;  // a sync asked for before the screen left finds nothing to do
    m_check->stop();
    m_rethread.stop();
    Con.Close();
}

void frmCheckEmail::OpenInfo()
{
    std::optional<MailSettings> settings;
    if (!Con.isOpen())
        settings = readMailSettings(Con, reportStoreError);
    for (const MailAccount& a : std::as_const(m_accounts))
        if (a.key == m_account)
            settings = a.settings;
    if (settings) {
        m_settings = *settings;
        txtHost->setText(settings->remote);
        txtUserName->setText(settings->userName);
        txtPassword->setText(settings->password);
        if (settings->signIn == SignInKind::OAuth2)
            signInWithOAuth();
    }
}

void frmCheckEmail::showAccounts()
{
    cboAccount->clear();
    for (const MailAccount& a : std::as_const(m_accounts))
        cboAccount->addItem(a.name, a.key);
    cboAccount->setCurrentIndex(cboAccount->findData(m_account));
    const bool several = m_accounts.size() > 1;
    cboAccount->setVisible(several);
    cmdCheckMail->setGeometry(twipsRect(120, 0, 1695, several ? 375 : 615));
}

void frmCheckEmail::chooseAccount(qint64 key)
{
    chosenAccount = key;
    // The screen opens again on it, once the box that asked has returned.
    if (Screens::isLoaded<frmCheckEmail>())
        QTimer::singleShot(0, QCoreApplication::instance(), [] {
            Screens::unload<frmCheckEmail>();
            Screens::show<frmCheckEmail>();
        });
}

void frmCheckEmail::signInWithOAuth()
{
    if (m_imapOAuth)
        return;
    OAuthSignIn& signIn = accountSignIn(Con, m_settings);
    connect(&signIn, &OAuthSignIn::granted, this, [this](const QString& token) { m_token = token; });
    m_pop3OAuth = new OAuthConversation(signIn, session, *Winsock1, this);
    m_imapOAuth = new OAuthConversation(signIn, imapSession, *imapLink, this);
    connect(m_imapOAuth, &OAuthConversation::finished, this, &frmCheckEmail::imapSynced);
    for (OAuthConversation* conversation : {m_pop3OAuth, m_imapOAuth})
        connect(conversation, &OAuthConversation::signInFailed, this,
                [](const QString& message) { MsgBox(message, MsgButtons::OKOnly, MsgIcon::Exclamation); });
}

void frmCheckEmail::cmdExit_Click()
{
    Screens::unload<frmCheckEmail>();
}

void frmCheckEmail::cmdCheckMail_Click()
{
    if (m_settings.incoming == IncomingKind::Imap)
        return refresh();
    session.setMessageLimit(messageLimitOctets(Con));
    if (m_pop3OAuth) {
        const HostPort server = splitHostPort(txtHost->text(), kPop3Port);
        return m_pop3OAuth->run([this, server](const QString& token) {
            m_check->start(server.host, server.port, txtUserName->text(), token);
        });
    }
    if (!readyToConnect(kPop3Port, &frmCheckEmail::cmdCheckMail_Click))
        return;
    // A check still running is given up; what it fetched is listed already.
    const HostPort server = splitHostPort(txtHost->text(), kPop3Port);
    m_check->start(server.host, server.port, txtUserName->text(), txtPassword->text());
}

// Whether the boxes say enough to connect. The password of the settings is
// fetched from the keyring at the first check, or asked for when none is
// stored here, and `again` runs once it is in; a box left empty is said.
bool frmCheckEmail::readyToConnect(quint16 defaultPort, void (frmCheckEmail::*again)())
{
    if (txtPassword->text().isEmpty() && !txtHost->text().isEmpty() && !txtUserName->text().isEmpty()) {
        withMailPassword(this, Con, m_settings, splitHostPort(txtHost->text(), defaultPort).host,
                         [this, again](const QString& password) {
                             txtPassword->setText(password);
                             (this->*again)();
                         });
        return false;
    }
    if (const std::optional<MailNotice> bad =
            Pop3Session::inputNotice(txtHost->text(), txtUserName->text(), txtPassword->text())) {
        showMailNotice(*bad);
        return false;
    }
    return true;
}

void frmCheckEmail::askLoginInClear(bool lostSecure)
{
    const QString host = splitHostPort(txtHost->text(), kPop3Port).host;
    const bool imap = m_settings.incoming == IncomingKind::Imap;
    const QString command = imap ? QStringLiteral("STARTTLS") : QStringLiteral("STLS");
    if (MsgBox(lostSecure ? lostSecureQuestion(host, command) : clearLoginQuestion(host, command), MsgButtons::YesNo,
               MsgIcon::Exclamation)
            == MsgResult::Yes
        && storeGuard([&] { m_mailbox.allowLoginInClear(host); }))
        cmdCheckMail_Click();
}

void frmCheckEmail::showFolder()
{
    if (imapFolderShown())
        return showImapFolder();
    lvMessages->clearItems();
    clearShown();
    listKept();
}

void frmCheckEmail::listKept()
{
    const bool sent = optSent->isChecked() || m_settings.incoming == IncomingKind::Imap;
    if (m_mailbox.isOpen())
        storeGuard([&] {
            for (const KeptMessage& message : m_mailbox.messages(sent ? MailFolder::Sent : MailFolder::Inbox))
                addRow(message);
        });
    showConversations();
}

void frmCheckEmail::showConversations()
{
    const bool shown = chkConversations->isChecked() && m_mailbox.isOpen();
    lvMessages->setHidden(shown);
    tvConversations->setVisible(shown);
    if (!shown)
        return;
    if (imapFolderShown()) {
        storeGuard([&] {
            const ImapMailbox::Threads threads = m_imap.threads(m_folder, m_mailbox.messages(MailFolder::Sent));
            tvConversations->show(threads.listed, threads.beside);
        });
        return;
    }
    // With an IMAP account the list here is this computer's Sent folder.
    const bool sent = optSent->isChecked() || m_settings.incoming == IncomingKind::Imap;
    storeGuard([&] {
        tvConversations->show(m_mailbox.messages(sent ? MailFolder::Sent : MailFolder::Inbox),
                              m_mailbox.messages(sent ? MailFolder::Inbox : MailFolder::Sent));
    });
}

void frmCheckEmail::recordsChanged(const RecordsChange& change)
{
    // This screen's own checks list their mail as it is committed; a screen
    // unloaded and not yet gone reads nothing.
    if (!change.touches(RecordsChange::Mail) || !Con.isOpen() || change.from(Con))
        return;
    if (Screens::waitForAnswer(this, [this, change] { recordsChanged(change); }))
        return;
    if (imapFolderShown())
        return showImapFolder();  // the message open stays open
    const int current = lvMessages->currentIndex().row();
    const QString chosen = current >= 0 ? lvMessages->itemKey(current) : QString();
    lvMessages->clearItems();
    listKept();
    if (!tvConversations->isHidden()) {
        if (!tvConversations->contains(m_shownKey))
            clearShown();
        return;
    }
    for (int row = 0; row < lvMessages->itemCount(); ++row)
        if (!chosen.isEmpty() && lvMessages->itemKey(row) == chosen) {
            lvMessages->setCurrentIndex(lvMessages->model()->index(row, 0));
            return;
        }
    if (!m_shownKey.isEmpty())
        clearShown();  // its message is gone
}

void frmCheckEmail::clearShown()
{
    txtBody->clear();
    m_shownKey.clear();
    m_shownUid = 0;
    m_shownHtml.clear();
    showBody();
    m_attachments.clear();
    lstAttachments->clear();
    frmInvitation->showFor({}, m_settings, Con);
    showAttachments(false);
}

void frmCheckEmail::addRow(const KeptMessage& message)
{
    const int row = lvMessages->addItem(message.from, message.key);
    if (row < 0)
        return;
    lvMessages->setSubItem(row, 1, message.subject);
    lvMessages->setSubItem(row, 2, message.date);
    lvMessages->setSubItem(row, 3, QString::number(message.size));
}

void frmCheckEmail::showMessage(const QByteArray& stored, const QString& storedKey, bool imap)
{
    // A message of another account opens that account first.
    const std::pair<qint64, QString> split = MailAccounts::splitMailKey(imap ? QString::fromUtf8(stored) : storedKey);
    const qint64 account = split.first;
    const QString& name = split.second;
    if (account != m_account) {
        if (std::none_of(m_accounts.cbegin(), m_accounts.cend(),
                         [&](const MailAccount& a) { return a.key == account; }))
            return;
        chosenAccount = account;
        QTimer::singleShot(0, QCoreApplication::instance(), [stored, storedKey, imap] {
            Screens::unload<frmCheckEmail>();
            if (frmCheckEmail* screen = Screens::show<frmCheckEmail>())
                screen->showMessage(stored, storedKey, imap);
        });
        return;
    }
    const QByteArray folder = imap ? name.toUtf8() : stored;
    const QString key = imap ? storedKey : name;
    if (m_imapOpen) {
        // This computer's Sent folder is the list's last, with no server name.
        const int at = imap ? cboFolder->findData(folder) : cboFolder->count() - 1;
        if (at < 0 || (!imap && folder != "Sent"))
            return;
        cboFolder->setCurrentIndex(at);
        cboFolder_Click();
        if (!tvConversations->isHidden())
            return void(tvConversations->choose(key));
    } else {
        (folder == "Sent" ? optSent : optInbox)->setChecked(true);
        if (!tvConversations->isHidden())
            return void(tvConversations->choose(key));
    }
    for (int row = 0; row < lvMessages->itemCount(); ++row)
        if (!key.isEmpty() && lvMessages->itemKey(row) == key) {
            lvMessages->setCurrentIndex(lvMessages->model()->index(row, 0));
            lvMessages_ItemClick(row);
            return;
        }
}

void frmCheckEmail::lvMessages_ItemClick(int row)
{
    if (imapFolderShown())
        return openImapMessage(lvMessages->itemKey(row).toUInt());
    showKept(lvMessages->itemKey(row));
}

void frmCheckEmail::conversationChosen(const QString& key)
{
    if (!imapFolderShown())
        return showKept(key);
    if (const std::optional<quint32> uid = uidOf(key))
        return openImapMessage(*uid);
    clearShown();  // a sent answer, kept here
    showKept(key);
}

void frmCheckEmail::showKept(const QString& key)
{
    QByteArray raw;
    if (!storeGuard([&] { raw = m_mailbox.raw(key); }))
        return;
    showRaw(raw, key);
}

void frmCheckEmail::showRaw(const QByteArray& raw, const QString& key)
{
    MimeMessage message = decodeMime(raw);
    txtBody->setPlainText(message.text);
    m_shownKey = key;
    m_shownHtml = message.html;
    showBody();
    m_attachments = std::move(message.attachments);
    // A calendar part that is no invitation is a file to save, wherever it was.
    if (!frmInvitation->showFor(message.calendar, m_settings, Con)
        && std::none_of(m_attachments.begin(), m_attachments.end(),
                        [&](const MimeAttachment& a) { return a.data == message.calendar; }))
        m_attachments.append({QStringLiteral("invite.ics"), message.calendar});
    lstAttachments->clear();
    for (const MimeAttachment& file : std::as_const(m_attachments))
        lstAttachments->addItem(QStringLiteral("%1 (%2 bytes)").arg(file.name).arg(file.data.size()));
    showAttachments(!m_attachments.isEmpty());
}

void frmCheckEmail::showAttachments(bool shown)
{
    const int bar = frmInvitation->isHidden() ? 0 : InvitationBar::kTwips;
    for (QWidget* body : {static_cast<QWidget*>(txtBody), static_cast<QWidget*>(htmlBody)})
        m_anchors->setFirst(body, twipsRect(120, 2760 + bar, 7095, (shown ? 1815 : 2655) - bar));
    lstAttachments->setVisible(shown);
}

void frmCheckEmail::showBody()
{
    const bool formatted = !m_shownHtml.isEmpty() && !chkAsText->isChecked();
    // Set only when shown: a message never asked to show formatted is never laid out as HTML.
    htmlBody->setHtml(formatted ? m_shownHtml : QString());
    htmlBody->setVisible(formatted);
    txtBody->setVisible(!formatted);
    chkAsText->setEnabled(!m_shownHtml.isEmpty());
    for (FlatBttn* b : {cmdReply, cmdReplyAll, cmdForward})
        b->setEnabled(!m_shownKey.isEmpty());
}

void frmCheckEmail::answer(ComposeKind kind)
{
    const QByteArray raw = shownRaw();
    if (raw.isEmpty())
        return;
    const MimeMessage message = decodeMime(raw);
    QStringList recipients;
    for (const QList<MimeAddress>* list : {&message.to, &message.cc})
        for (const MimeAddress& a : *list)
            recipients << a.address;
    const auto [account, identity] = MailAccounts::answeringIdentity(m_accounts, recipients, m_account);
    QString own = m_settings.yourEmail;
    for (const MailAccount& a : std::as_const(m_accounts))
        if (a.key == account && identity < a.identities.size())
            own = a.identities[identity].address;
    const MailDraft draft = composeDraft(kind, message, own);
    if (frmSendEmail* screen = Screens::show<frmSendEmail>()) {
        screen->compose(draft);
        screen->chooseFrom(account, identity);
    }
}

void frmCheckEmail::lstAttachments_Save(int index)
{
    if (index < 0 || index >= m_attachments.size())
        return;
    const MimeAttachment& file = m_attachments[index];
    // The message names the file (a plain name, see decodeMime), never the folder it goes to.
    const std::optional<QString> path =
        getSaveFileName(kSaveTitle, QDir::home().filePath(file.name), QStringLiteral("All Files (*)"));
    if (!path)
        return;
    const QString failure = AtomicFile::write(*path, file.data);
    if (!failure.isEmpty())
        MsgBox(QStringLiteral("The file %1 could not be saved: %2").arg(*path, failure), MsgButtons::OKOnly,
               MsgIcon::Exclamation);
}

bool frmCheckEmail::eventFilter(QObject* watched, QEvent* event)
{
    if ((watched == lvMessages || watched == tvConversations) && event->type() == QEvent::KeyPress
        && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete) {
        lvMessages_Delete();
        return true;
    }
    return Form::eventFilter(watched, event);
}

// Only here does a message go: from the list and from this computer, never from the server.
void frmCheckEmail::lvMessages_Delete()
{
    const QList<int> selected = lvMessages->selectedRowsFromLast();
    const bool threaded = !tvConversations->isHidden();
    const QStringList keys = threaded ? tvConversations->selectedKeys() : QStringList();
    if (imapFolderShown())
        return threaded ? deleteThreaded(keys) : deleteOnServer(selected);
    const int count = threaded ? int(keys.size()) : int(selected.size());
    if (count == 0 || !m_mailbox.isOpen()
        || MsgBox(deleteQuestion(count), MsgButtons::YesNo, MsgIcon::Question) != MsgResult::Yes)
        return;
    if (threaded) {
        for (const QString& key : keys)
            if (!storeGuard([&] { m_mailbox.remove(key); }))
                break;
        clearShown();
        return showFolder();
    }
    for (int row : selected) {
        if (!storeGuard([&] { m_mailbox.remove(lvMessages->itemKey(row)); }))
            return;
        lvMessages->removeItem(row);
    }
    clearShown();
}

QByteArray frmCheckEmail::shownRaw()
{
    QByteArray raw;
    if (m_shownKey.isEmpty())
        return raw;
    if (imapFolderShown() && uidOf(m_shownKey))
        storeGuard([&] { raw = m_imap.body(m_folder, m_shownKey.toUInt()); });
    else
        storeGuard([&] { raw = m_mailbox.raw(m_shownKey); });
    return raw;
}

bool frmCheckEmail::imapFolderShown() const
{
    return m_imapOpen && cboFolder->currentIndex() >= 0 && !cboFolder->currentData().isNull();
}

// INBOX first, then the others as held, then this computer's Sent folder;
// the open one stays chosen.
void frmCheckEmail::showImapFolders(std::vector<ImapFolder> folders)
{
    std::stable_partition(folders.begin(), folders.end(), [](const ImapFolder& f) { return f.name == "INBOX"; });
    if (folders.empty() || folders.front().name != "INBOX")
        folders.insert(folders.begin(), ImapFolder{"INBOX", "/", true});
    const bool local = cboFolder->currentIndex() >= 0 && cboFolder->currentData().isNull();
    cboFolder->clear();
    for (const ImapFolder& f : folders)
        if (f.selectable)
            cboFolder->addItem(imapFolderName(f.name), f.name);
    cboFolder->addItem(kLocalSent);
    const int open = local ? cboFolder->count() - 1 : cboFolder->findData(m_folder);
    cboFolder->setCurrentIndex(open >= 0 ? open : 0);
    if (open < 0)
        m_folder = "INBOX";  // the folder open went on the server
    fillMoveMenu();
}

// The server's folders but the one listed; nothing while this computer's Sent folder is.
void frmCheckEmail::fillMoveMenu()
{
    mnuMove->clear();
    for (int i = 0; imapFolderShown() && i < cboFolder->count(); ++i) {
        const QVariant name = cboFolder->itemData(i);
        if (!name.isNull() && name.toByteArray() != m_folder)
            mnuMove->addAction(cboFolder->itemText(i))->setData(name);
    }
    cmdMove->setEnabled(!mnuMove->isEmpty());
}

void frmCheckEmail::cmdMove_Click()
{
    if (!mnuMove->isEmpty())
        mnuMove->popup(cmdMove->mapToGlobal(QPoint(0, cmdMove->height())));
}

// Queued like a delete: gone from this list at once, moved by the sync that follows.
void frmCheckEmail::moveSelected(const QByteArray& to)
{
    const QList<int> rows = lvMessages->selectedRowsFromLast();
    const bool threaded = !tvConversations->isHidden();
    QList<quint32> uids;
    if (threaded)
        uids = selectedUids();
    else
        for (int row : rows)
            uids << lvMessages->itemKey(row).toUInt();
    if (!imapFolderShown() || to.isEmpty() || to == m_folder || uids.isEmpty())
        return;
    for (int row : rows)
        lvMessages->removeItem(row);
    m_imap.move(m_folder, uids, to);
    clearShown();
    if (threaded)
        showImapFolder();
    refresh();
}

void frmCheckEmail::cboFolder_Click()
{
    if (imapFolderShown())
        m_folder = cboFolder->currentData().toByteArray();
    fillMoveMenu();
    clearShown();
    showFolder();
    if (imapFolderShown())
        refresh();
}

// The rows of the held messages; a message waiting to be deleted or moved is already gone.
void frmCheckEmail::showImapFolder()
{
    const quint32 opened = m_shownUid;
    const QString shown = m_shownKey;
    std::vector<ImapCachedMessage> held;
    if (!storeGuard([&] { held = m_imap.listed(m_folder); }))
        return;
    // The messages chosen stay chosen while the list is read again (a flag
    // changed, mail came in), so "Move to..." still takes all of them.
    QSet<QString> chosen;
    for (int row : lvMessages->selectedRowsFromLast())
        chosen << lvMessages->itemKey(row);
    lvMessages->clearItems();
    int again = -1;
    QItemSelection keep;
    showConversations();
    // A sent answer shown beside the folder's messages stays while its conversation does.
    const bool answerShown = !tvConversations->isHidden() && opened == 0 && tvConversations->contains(shown);
    for (const ImapCachedMessage& m : held) {
        const int row = lvMessages->addItem(m.from, QString::number(m.uid));
        lvMessages->setSubItem(row, 1, m.subject);
        lvMessages->setSubItem(row, 2, m.date);
        lvMessages->setSubItem(row, 3, QString::number(m.size));
        lvMessages->setSubItem(row, 4, statusText(m.flags));
        if (m.uid == opened)
            again = row;
        if (chosen.contains(QString::number(m.uid)))
            keep.select(lvMessages->model()->index(row, 0), lvMessages->model()->index(row, 0));
    }
    if (again >= 0)
        lvMessages->setCurrentIndex(lvMessages->model()->index(again, 0));
    if (!keep.isEmpty())
        lvMessages->selectionModel()->select(keep, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    if (again < 0)
        return answerShown ? void() : clearShown();
    // The message asked for is shown once its body is here; one shown stays as it is.
    if (shown.isEmpty()) {
        QByteArray raw;
        storeGuard([&] { raw = m_imap.body(m_folder, opened); });
        if (!raw.isEmpty())
            showRaw(raw, QString::number(opened));
    }
}

void frmCheckEmail::openImapMessage(quint32 uid)
{
    clearShown();
    m_shownUid = uid;
    ImapMailbox::Opened opened;
    if (!storeGuard([&] { opened = m_imap.open(m_folder, uid); }))
        return;
    if (opened.raw.isEmpty())
        txtBody->setPlainText(kFetchingBody);
    else
        showRaw(opened.raw, QString::number(uid));
    if (opened.sync)
        refresh();
}

void frmCheckEmail::deleteOnServer(const QList<int>& rows)
{
    if (rows.isEmpty()
        || MsgBox(deleteQuestion(int(rows.size()), true, false), MsgButtons::YesNo, MsgIcon::Question)
               != MsgResult::Yes)
        return;
    QList<quint32> uids;
    for (int row : rows) {
        uids << lvMessages->itemKey(row).toUInt();
        lvMessages->removeItem(row);
    }
    m_imap.remove(m_folder, uids);
    clearShown();
    refresh();
}

QList<quint32> frmCheckEmail::selectedUids() const
{
    QList<quint32> uids;
    for (const QString& key : tvConversations->selectedKeys())
        if (const std::optional<quint32> uid = uidOf(key))
            uids << *uid;
    return uids;
}

// A conversation chosen stands for all its messages: the folder's go on the
// server, the sent answers among them from this computer.
void frmCheckEmail::deleteThreaded(const QStringList& keys)
{
    const QList<quint32> uids = selectedUids();
    const int here = int(keys.size() - uids.size());
    if (keys.isEmpty()
        || MsgBox(deleteQuestion(int(keys.size()), !uids.isEmpty(), here > 0), MsgButtons::YesNo, MsgIcon::Question)
               != MsgResult::Yes)
        return;
    for (const QString& key : keys)
        if (!uidOf(key) && !storeGuard([&] { m_mailbox.remove(key); }))
            break;
    clearShown();
    if (uids.isEmpty())
        return showImapFolder();
    m_imap.remove(m_folder, uids);
    showImapFolder();
    refresh();
}

void frmCheckEmail::refresh()
{
    if (!imapFolderShown())
        return;
    if (!imapLink->isIdle() || (m_imapOAuth && m_imapOAuth->isRunning())) {
        m_syncAgain = true;
        return;
    }
    if (m_imapOAuth)
        return m_imapOAuth->run([this](const QString& token) { syncWith(token); });
    if (!readyToConnect(kImapPort, &frmCheckEmail::refresh))
        return;
    syncWith(txtPassword->text());
}

void frmCheckEmail::syncWith(const QString& password)
{
    const HostPort server = splitHostPort(txtHost->text(), kImapPort);
    ImapPlan plan;
    ClearLogin inClear;
    if (!storeGuard([&] {
            plan = m_imap.startSync(m_folder);
            inClear = loginInClear(server.host);
        }))
        return;
    lblProgress->setText(kSyncing);
    imapSession.setResponseLimit(messageLimitOctets(Con));
    imapSession.allowLoginInClear(inClear.allowed);
    imapSession.setOfferedStartTlsBefore(inClear.offeredBefore);
    imapSession.start(txtUserName->text(), password, plan, server.host, imapTlsMode(server.port));
    imapLink->open(server.host, server.port, imapTlsMode(server.port));
}

namespace {
// The new headers' search entries, which the cache left for later: put on a
// thread of their own, on a connection of their own. One that fails waits
// for the next sync, or the program's next start.
void putSearchEntries(const QString& store)
{
    Worker::forProgram().post([store] {
        try {
            Connection con;
            con.Open(store);
            SearchIndex::putLeftEntries(con.handle());
        } catch (const StoreError&) {
        }
    });
}
}  // namespace

// Only a sync that ended well, and was kept whole, counts as done: else the
// cache and what waits stay as they were, for the next sync.
void frmCheckEmail::imapSynced(bool ok)
{
    lblProgress->clear();
    const ImapResult& found = imapSession.result();
    QStringList refused;
    const bool kept = storeGuard([&] { refused = m_imap.finishSync(ok, found); }) && ok;
    if (kept) {
        if (!refused.isEmpty()) {
            // Said once the connection is done with this answer.
            const QString text =
                kMoveRefused.arg(splitHostPort(txtHost->text(), kImapPort).host, refused.join(QLatin1Char('\n')));
            QTimer::singleShot(0, this, [text] { MsgBox(text, MsgButtons::OKOnly, MsgIcon::Exclamation); });
        }
        if (!found.headers.empty())
            putSearchEntries(Con.path());
        if (!found.folders.empty())
            showImapFolders(found.folders);
        if (imapFolderShown() && m_imap.syncing() == m_folder) {
            showImapFolder();
            if (m_watched != m_folder)
                watchFolder(m_folder);
        }
    }
    if (imapSession.offeredStartTls() && m_mailbox.isOpen())
        storeGuard([&] { m_mailbox.noteStartTls(splitHostPort(txtHost->text(), kImapPort).host); });
    if (imapSession.refusedInClear())
        QTimer::singleShot(0, this, [this, lost = imapSession.lostStartTls()] { askLoginInClear(lost); });
    else if ((std::exchange(m_syncAgain, false) || found.firstLeft != 0) && kept)
        // New mail past what one sync holds is fetched by the next.
        QTimer::singleShot(0, this, &frmCheckEmail::refresh);
}

// Whether `host` may have the login in clear (throws StoreError).
frmCheckEmail::ClearLogin frmCheckEmail::loginInClear(const QString& host) const
{
    return {m_mailbox.isOpen() && m_mailbox.mayLogInClear(host), m_mailbox.isOpen() && m_mailbox.offeredStartTls(host)};
}

void frmCheckEmail::watchFolder(const QByteArray& folder)
{
    const HostPort server = splitHostPort(txtHost->text(), kImapPort);
    ImapPlan plan;
    ClearLogin inClear;
    if (!storeGuard([&] {
            plan = m_imap.held(folder);
            inClear = loginInClear(server.host);
        }))
        return;
    m_watch.allowLoginInClear(inClear.allowed, inClear.offeredBefore);
    m_watch.setOAuth(m_imapOAuth != nullptr);
    m_watch.start(connectionSettings(), server.host, server.port, imapTlsMode(server.port), txtUserName->text(),
                  m_imapOAuth ? m_token : txtPassword->text(), plan);
    m_watched = folder;
}
