#include "mail/frmCheckEmail.h"
#include "store/Statement.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QRadioButton>

#include "controls/Buttons.h"
#include "controls/Controls.h"
#include "controls/ListView.h"
#include "controls/Twips.h"
#include "kit/AppFolder.h"
#include "kit/AtomicFile.h"
#include "kit/ConnectionSettings.h"
#include "kit/FileDialogs.h"
#include "kit/MailSettings.h"
#include "kit/MsgBox.h"
#include "kit/StoreAccess.h"
#include "mail/HostPort.h"
#include "mail/MailConnection.h"
#include "mail/MailHtmlView.h"
#include "mail/MailNoticeBox.h"
#include "mail/MailPassword.h"
#include "mail/frmSendEmail.h"

namespace {
const QString kCaption = QStringLiteral("Check Email");
// What a screen reader calls the boxes without a caption.
const QString kMessageName = QStringLiteral("Message");
const QString kAttachmentsName = QStringLiteral("Attachments");

// The list view's own width for a column added without one.
constexpr int kColumnTwips = 1440;

// How often a running check commits and lists what it has kept.
constexpr int kShowEveryMs = 250;

const QString kSaveTitle = QStringLiteral("Save Attachment");
const QString kInbox = QStringLiteral("&Inbox");
const QString kSentFolder = QStringLiteral("&Sent");
const QString kAsText = QStringLiteral("Show as te&xt");
const QString kFormattedName = QStringLiteral("Formatted message");

// Asked once per server; the answer is kept with the mail.
QString clearLoginQuestion(const QString& host)
{
    return QStringLiteral("The server %1 offers no secure connection (STLS). Your user name and password would "
                          "cross the network as plain text, readable by anyone on the way. Nothing was sent.\n\n"
                          "Send them to %1 unprotected, now and at every later check?")
        .arg(host);
}

QString deleteQuestion(int count)
{
    return count == 1 ? QStringLiteral("Delete the selected message from this computer?")
                      : QStringLiteral("Delete the %1 selected messages from this computer?").arg(count);
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
    lblProgress = makeLabel(this, "lblProgress", QString(), twipsRect(1935, 180, 1935, 255));
    optInbox = makeControl<QRadioButton>(this, "optInbox", twipsRect(3960, 180, 900, 255), kInbox);
    optSent = makeControl<QRadioButton>(this, "optSent", twipsRect(4920, 180, 900, 255), kSentFolder);
    optInbox->setChecked(true);
    lblProgress = makeLabel(this, "lblProgress", QString(), twipsRect(1935, 180, 3825, 255));
    // Below the progress line: answering and passing on the message shown.
    const std::tuple<FlatBttn**, const char*, const char*, QRect, const char*, ComposeKind> answers[] = {
        {&cmdReply, "cmdReply", "Reply", twipsRect(1935, 510, 900, 315), "Ctrl+R", ComposeKind::Reply},
        {&cmdReplyAll, "cmdReplyAll", "Reply All", twipsRect(2895, 510, 1140, 315), "Ctrl+Shift+R",
         ComposeKind::ReplyAll},
        {&cmdForward, "cmdForward", "Forward", twipsRect(4095, 510, 1035, 315), "Ctrl+L", ComposeKind::Forward}};
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
    chkAsText = new QCheckBox(kAsText, this);
    chkAsText->setObjectName(QStringLiteral("chkAsText"));
    chkAsText->setGeometry(twipsRect(5280, 510, 2055, 315));
    chkAsText->setEnabled(false);
    connect(chkAsText, &QCheckBox::toggled, this, &frmCheckEmail::showBody);

    Frame4 = makeFrame(this, "Frame4", QStringLiteral("Messages"), twipsRect(0, 840, 7095, 1815));
    lvMessages = new ListView(Frame4);
    lvMessages->setObjectName(QStringLiteral("lvMessages"));
    lvMessages->setGeometry(twipsRect(120, 240, 6855, 1455));
    for (const char* column : {"From", "Subject", "Date", "Size"})
        lvMessages->addColumn(QLatin1String(column), kColumnTwips);

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

    Frame1 = makeFrame(this, "Frame1", QStringLiteral("Remote Host:"), twipsRect(120, 5640, 2295, 615));
    txtHost = makeTextBox(Frame1, "txtHost", twipsRect(120, 240, 2055, 285));
    Frame2 = makeFrame(this, "Frame2", QStringLiteral("User Name:"), twipsRect(2520, 5640, 2295, 615));
    txtUserName = makeTextBox(Frame2, "txtUserName", twipsRect(120, 240, 2055, 285));
    Frame3 = makeFrame(this, "Frame3", QStringLiteral("Password:"), twipsRect(4920, 5640, 2295, 615));
    txtPassword = makeTextBox(Frame3, "txtPassword", twipsRect(120, 240, 2055, 285), true);

    Winsock1 = new MailConnection(session, connectionSettings(), this);
    Winsock1->setObjectName(QStringLiteral("Winsock1"));
    connect(Winsock1, &MailConnection::notice, this, &showMailNotice);
    m_showing.setSingleShot(true);
    m_showing.setInterval(kShowEveryMs);
    connect(&m_showing, &QTimer::timeout, this, [this] { showFetched(false); });
    connect(Winsock1, &MailConnection::listed, this, &frmCheckEmail::ShowMessages);
    connect(Winsock1, &MailConnection::fetching, this, [this](int current, int total) {
        m_progress = QStringLiteral("Message %1 of %2").arg(current).arg(total);
        if (!m_showing.isActive())
            m_showing.start();
    });
    connect(Winsock1, &MailConnection::finished, this, [this] {
        m_progress.clear();
        showFetched(true);
        storeGuard([&] {
            if (const std::optional<QSet<QString>>& listed = session.listedKeys(); listed && m_mailbox.isOpen())
                m_mailbox.forgetRemoved(*listed);
        });
        // Asked once the connection is done with this answer.
        if (session.refusedInClear())
            QTimer::singleShot(0, this, &frmCheckEmail::askLoginInClear);
    });

    connect(cmdCheckMail, &QToolButton::clicked, this, &frmCheckEmail::cmdCheckMail_Click);
    connect(cmdExit, &QToolButton::clicked, this, &frmCheckEmail::cmdExit_Click);
    connect(lvMessages, &ListView::ItemClick, this, &frmCheckEmail::lvMessages_ItemClick);
    connect(optSent, &QRadioButton::toggled, this, &frmCheckEmail::showFolder);
    connect(lstAttachments, &QListWidget::itemActivated, this,
            [this](QListWidgetItem* item) { lstAttachments_Save(lstAttachments->row(item)); });
}

frmCheckEmail::~frmCheckEmail()
{
    // The session goes before the connection: nothing the socket does on
    // its way out may reach it.
    Winsock1->drop();
}

QSize frmCheckEmail::sizeHint() const
{
    // The account frames lie below this height: out of view until the
    // window is made taller.
    return {twips(7365), twips(5490)};
}

void frmCheckEmail::Form_Load()
{
    if (connectStore(Con)) {
        storeGuard([&] { m_mailbox.open(Con, AppFolder::dataFolder() + QStringLiteral("/Mail")); });
        showFolder();
    }
    OpenInfo();
}

void frmCheckEmail::Form_Unload()
{
    // A check still running is abandoned without a message box; what it kept stays.
    Winsock1->drop();
    m_showing.stop();
    storeGuard([&] { m_mailbox.commit(); });
    Con.Close();
}

void frmCheckEmail::OpenInfo()
{
    if (const std::optional<MailSettings> settings = readMailSettings(Con, reportStoreError)) {
        m_settings = *settings;
        txtHost->setText(settings->remote);
        txtUserName->setText(settings->userName);
        txtPassword->setText(settings->password);
    }
}

void frmCheckEmail::cmdExit_Click()
{
    Screens::unload<frmCheckEmail>();
}

void frmCheckEmail::cmdCheckMail_Click()
{
    // The password of the settings is fetched from the keyring at the first
    // check, or asked for when none is stored here.
    if (txtPassword->text().isEmpty() && !txtHost->text().isEmpty() && !txtUserName->text().isEmpty()) {
        withMailPassword(this, Con, m_settings, splitHostPort(txtHost->text(), kPop3Port).host,
                         [this](const QString& password) {
                             txtPassword->setText(password);
                             cmdCheckMail_Click();
                         });
        return;
    }
    if (const std::optional<MailNotice> bad =
            Pop3Session::inputNotice(txtHost->text(), txtUserName->text(), txtPassword->text())) {
        showMailNotice(*bad);
        return;
    }
    // A check still running is given up; what it fetched is listed already.
    const HostPort server = splitHostPort(txtHost->text(), kPop3Port);
    if (!m_mailbox.isOpen())
        return;
    QSet<QString> known;
    if (!storeGuard([&] { known = m_mailbox.keys(); }))
        return;
    session.keepIn(
        [this](const QString& key, const QByteArray& raw) {
            bool kept = false;
            storeGuard([&] { kept = m_mailbox.keep(key, raw); });
            return kept;
        },
        std::move(known));
    bool inClear = false;
    if (!storeGuard([&] { inClear = m_mailbox.mayLogInClear(server.host); }))
        return;
    session.allowLoginInClear(inClear);
    session.start(txtUserName->text(), txtPassword->text(), server.host, pop3TlsMode(server.port));
    Winsock1->open(server.host, server.port, pop3TlsMode(server.port));
}

void frmCheckEmail::askLoginInClear()
{
    const QString host = splitHostPort(txtHost->text(), kPop3Port).host;
    if (MsgBox(clearLoginQuestion(host), MsgButtons::YesNo, MsgIcon::Exclamation) == MsgResult::Yes
        && storeGuard([&] { m_mailbox.allowLoginInClear(host); }))
        cmdCheckMail_Click();
}

// The messages the check has just kept get their rows once committed.
void frmCheckEmail::ShowMessages(const QStringList&)
{
    if (!m_showing.isActive())
        m_showing.start();
}

void frmCheckEmail::showFetched(bool all)
{
    m_showing.stop();
    QList<KeptMessage> kept;
    storeGuard([&] { kept = all ? m_mailbox.commit() : m_mailbox.commitWritten(); });
    // Fetched mail is received mail: listed when the received messages are.
    for (const KeptMessage& message : kept)
        if (optInbox->isChecked())
            addRow(message);
    lblProgress->setText(m_progress);
    // Rows still being written are listed at the next showing.
    if (!all && !m_progress.isEmpty())
        m_showing.start();
}

void frmCheckEmail::showFolder()
{
    lvMessages->clearItems();
    clearShown();
    if (m_mailbox.isOpen())
        storeGuard([&] {
            for (const KeptMessage& message :
                 m_mailbox.messages(optSent->isChecked() ? MailFolder::Sent : MailFolder::Inbox))
                addRow(message);
        });
}

void frmCheckEmail::clearShown()
{
    txtBody->clear();
    m_shownKey.clear();
    m_shownHtml.clear();
    showBody();
    m_attachments.clear();
    lstAttachments->clear();
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

void frmCheckEmail::showMessage(qint64 rowid)
{
    optInbox->setChecked(true);  // the search finds received mail
    QString key;
    storeGuard([&] {
        Statement s(Con.handle(), QStringLiteral("SELECT MailKey FROM tblMailbox WHERE rowid = ?"));
        if (s.bind(1, rowid).step())
            key = s.text(0);
    });
    for (int row = 0; row < lvMessages->itemCount(); ++row)
        if (!key.isEmpty() && lvMessages->itemKey(row) == key) {
            lvMessages->setCurrentIndex(lvMessages->model()->index(row, 0));
            lvMessages_ItemClick(row);
            return;
        }
}

void frmCheckEmail::lvMessages_ItemClick(int row)
{
    QByteArray raw;
    if (!storeGuard([&] { raw = m_mailbox.raw(lvMessages->itemKey(row)); }))
        return;
    MimeMessage message = decodeMime(raw);
    txtBody->setPlainText(message.text);
    m_shownKey = lvMessages->itemKey(row);
    m_shownHtml = message.html;
    showBody();
    m_attachments = std::move(message.attachments);
    lstAttachments->clear();
    for (qsizetype i = 0; i < m_attachments.size(); ++i) {
        lstAttachments->addItem(QStringLiteral("%1 (%2 bytes)")
                                    .arg(attachmentFileName(m_attachments[i].name, int(i + 1)))
                                    .arg(m_attachments[i].data.size()));
    }
    showAttachments(!m_attachments.isEmpty());
}

void frmCheckEmail::showAttachments(bool shown)
{
    txtBody->setGeometry(twipsRect(120, 2760, 7095, shown ? 1815 : 2655));
    htmlBody->setGeometry(txtBody->geometry());
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
    QByteArray raw;
    if (m_shownKey.isEmpty() || !storeGuard([&] { raw = m_mailbox.raw(m_shownKey); }))
        return;
    const MailDraft draft = composeDraft(kind, decodeMime(raw), m_settings.yourEmail);
    if (frmSendEmail* screen = Screens::show<frmSendEmail>())
        screen->compose(draft);
}

void frmCheckEmail::lstAttachments_Save(int index)
{
    if (index < 0 || index >= m_attachments.size())
        return;
    const MimeAttachment& file = m_attachments[index];
    // The message names the file, never the folder it goes to.
    const std::optional<QString> path = getSaveFileName(
        kSaveTitle, QDir::home().filePath(attachmentFileName(file.name, index + 1)), QStringLiteral("All Files (*)"));
    if (!path)
        return;
    const QString failure = AtomicFile::write(*path, file.data);
    if (!failure.isEmpty())
        MsgBox(QStringLiteral("The file %1 could not be saved: %2").arg(*path, failure), MsgButtons::OKOnly,
               MsgIcon::Exclamation);
}

bool frmCheckEmail::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == lvMessages && event->type() == QEvent::KeyPress
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
    if (selected.isEmpty() || !m_mailbox.isOpen()
        || MsgBox(deleteQuestion(int(selected.size())), MsgButtons::YesNo, MsgIcon::Question) != MsgResult::Yes)
        return;
    for (int row : selected) {
        if (!storeGuard([&] { m_mailbox.remove(lvMessages->itemKey(row)); }))
            return;
        lvMessages->removeItem(row);
    }
    clearShown();
}
