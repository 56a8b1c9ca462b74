#include "mail/frmSendEmail.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QCompleter>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QStringListModel>
#include <QTemporaryDir>

#include "controls/Anchors.h"
#include "controls/Buttons.h"
#include "controls/Controls.h"
#include "controls/Twips.h"
#include "kit/AppFolder.h"
#include "kit/AtomicFile.h"
#include "kit/Clock.h"
#include "kit/ConnectionSettings.h"
#include "kit/MailSettings.h"
#include "kit/MsgBox.h"
#include "kit/StoreAccess.h"
#include "mail/HostPort.h"
#include "mail/ImapSentCopy.h"
#include "mail/MailConnection.h"
#include "mail/MailNoticeBox.h"
#include "mail/MailPassword.h"
#include "mail/frmTo.h"
#include "mail/mdlMUUEncode.h"
#include "window/FileDialogs.h"

namespace {
const QString kCaption = QStringLiteral("Send Email");
// What a screen reader calls the boxes without a caption.
const QString kMessageName = QStringLiteral("Message");
const QString kAttachmentsName = QStringLiteral("Attachments");
const QString kSeparator = QStringLiteral("; ");
const QString kCopying = QStringLiteral("Sent. Keeping a copy in the server's Sent folder...");
const QString kCopied = QStringLiteral("Sent. A copy is in the server's folder %1.");
// Short enough for the line; a long reason of the server's is read whole in the tip.
const QString kNotCopied = QStringLiteral("Sent; kept on this computer only: %1");

const QString kFromCaption = QStringLiteral("&From:");
// The line that starts a signature, as mail readers know it.
const QString kSignatureLine = QStringLiteral("-- \n");
constexpr int kIdentityRole = Qt::UserRole + 1;

QString unwrittenFile(const QString& name, const QString& why)
{
    return QStringLiteral("The attached file %1 could not be prepared for sending: %2").arg(name, why);
}
}  // namespace

frmSendEmail::frmSendEmail()
{
    setObjectName(QStringLiteral("frmSendEmail"));
    setWindowTitle(kCaption);
    resize(sizeHint());
    // Paints its own background, so the work area's blue never shows through.
    setAutoFillBackground(true);

    cmdSend = makeCaptionButton<FlatBttn>(this, "cmdSend", QStringLiteral("Send"), twipsRect(0, 0, 975, 495));
    cmdNew = makeCaptionButton<FlatBttn>(this, "cmdNew", QStringLiteral("New Messages"), twipsRect(1560, 0, 1695, 495));
    cmdAddFile =
        makeCaptionButton<FlatBttn>(this, "cmdAddFile", QStringLiteral("Insert File"), twipsRect(3840, 0, 1335, 495));
    cmdRemove =
        makeCaptionButton<FlatBttn>(this, "cmdRemove", QStringLiteral("&Remove"), twipsRect(5640, 0, 1455, 495));
    cmdClose = makeCaptionButton<FlatBttn>(this, "cmdClose", QStringLiteral("Close"), twipsRect(7680, 0, 1335, 495));

    prgSend = new QProgressBar(this);
    prgSend->setObjectName(QStringLiteral("prgSend"));
    prgSend->setGeometry(twipsRect(960, 570, 8175, 195));
    prgSend->setTextVisible(false);
    prgSend->hide();

    // In the progress bar's place once the message is gone.
    lblStatus = makeLabel(this, "lblStatus", QString(), twipsRect(960, 540, 8175, 255));
    lblStatus->hide();

    cmdTo = makeCommandButton(this, "cmdTo", QStringLiteral("To"), twipsRect(120, 840, 735, 255));
    txtRecipient = makeTextBox(this, "txtRecipient", twipsRect(960, 840, 8175, 285));
    Label4 = makeLabel(this, "Label4", QStringLiteral("Subject:"), twipsRect(120, 1440, 780, 195));
    txtSubject = makeTextBox(this, "txtSubject", twipsRect(960, 1320, 8175, 285));
    // Shown, above the subject, when there is more than one identity to send from.
    lblFrom = makeLabel(this, "lblFrom", kFromCaption, twipsRect(120, 1320, 780, 195));
    cboFrom = makeControl<QComboBox>(this, "cboFrom", twipsRect(960, 1260, 8175, 345));
    lblFrom->setBuddy(cboFrom);
    lblFrom->hide();
    cboFrom->hide();

    txtMessage = new QPlainTextEdit(this);
    txtMessage->setObjectName(QStringLiteral("txtMessage"));
    txtMessage->setGeometry(twipsRect(0, 1800, 9015, 2775));
    // Lines break only where the user pressed Enter.
    txtMessage->setLineWrapMode(QPlainTextEdit::NoWrap);
    txtMessage->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtMessage->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

    Frame1 = makeFrame(this, "Frame1", QString(), twipsRect(0, 4680, 9015, 1335));
    lstAttachments = new QListWidget(Frame1);
    lstAttachments->setObjectName(QStringLiteral("lstAttachments"));
    lstAttachments->setGeometry(twipsRect(120, 240, 8775, 1035));

    Label1 = makeLabel(this, "Label1", QStringLiteral("SMTP Host:"), twipsRect(780, 6240, 945, 195));
    txtHost = makeTextBox(this, "txtHost", twipsRect(1740, 6240, 3015, 285));
    Label2 = makeLabel(this, "Label2", QStringLiteral("Your e-mail address:"), twipsRect(240, 6600, 1575, 195));
    txtSender = makeTextBox(this, "txtSender", twipsRect(1860, 6600, 3015, 285));

    txtRecipient->setAccessibleName(cmdTo->text());
    Label4->setBuddy(txtSubject);
    txtMessage->setAccessibleName(kMessageName);
    lstAttachments->setAccessibleName(kAttachmentsName);
    Keys::setDeleteButton(lstAttachments, cmdRemove);
    Label1->setBuddy(txtHost);
    Label2->setBuddy(txtSender);
    // The host and sender come from the settings; their boxes are never shown.
    for (QWidget* hidden : std::initializer_list<QWidget*>{Label1, txtHost, Label2, txtSender})
        hidden->hide();

    // Grown, the message takes the room; the attachments keep to the bottom, Close to the right.
    auto* anchors = m_anchors = new Anchors(this);
    anchors->pin(cmdClose, Qt::TopEdge | Qt::RightEdge);
    for (QWidget* line : std::initializer_list<QWidget*>{prgSend, lblStatus, txtRecipient, txtSubject, cboFrom})
        anchors->pin(line, Qt::LeftEdge | Qt::TopEdge | Qt::RightEdge);
    anchors->pin(txtMessage, Qt::LeftEdge | Qt::TopEdge | Qt::RightEdge | Qt::BottomEdge);
    anchors->pin(Frame1, Qt::LeftEdge | Qt::RightEdge | Qt::BottomEdge);
    anchors->pin(lstAttachments, Qt::LeftEdge | Qt::TopEdge | Qt::RightEdge | Qt::BottomEdge);

    // Typing a recipient offers the contacts whose name or address starts so;
    // Enter or a click puts the address in place of what was typed.
    m_recipients = new QCompleter(new QStringListModel(this), this);
    m_recipients->setWidget(txtRecipient);
    m_recipients->setCompletionMode(QCompleter::UnfilteredPopupCompletion);
    connect(txtRecipient, &QLineEdit::textEdited, this, &frmSendEmail::offerRecipients);
    connect(m_recipients, qOverload<const QModelIndex&>(&QCompleter::activated), this, [this](const QModelIndex& i) {
        if (i.row() < m_offered.size())
            txtRecipient->setText(AddressCompletion::withCompleted(txtRecipient->text(), m_offered[i.row()].address));
    });

    Winsock1 = new MailConnection(session, connectionSettings(), this);
    Winsock1->setObjectName(QStringLiteral("Winsock1"));
    connect(Winsock1, &MailConnection::notice, this, &showMailNotice);
    connect(Winsock1, &MailConnection::written, this, [this](qint64 done, qint64 total) {
        prgSend->setMaximum(1000);
        prgSend->setValue(total > 0 ? int(done * 1000 / total) : 0);
    });
    // With OAuth2 the conversation says when the send is over (a refused token is tried again).
    connect(Winsock1, &MailConnection::finished, this, [this](bool sent) {
        if (!m_oauth)
            sessionEnded(sent);
    });
    m_serverCopy = new ImapSentCopy(connectionSettings(), this);
    connect(m_serverCopy, &ImapSentCopy::finished, this, &frmSendEmail::serverCopyDone);

    connect(cmdSend, &QToolButton::clicked, this, &frmSendEmail::cmdSend_Click);
    connect(cmdNew, &QToolButton::clicked, this, &frmSendEmail::cmdNew_Click);
    connect(cmdAddFile, &QToolButton::clicked, this, &frmSendEmail::cmdAddFile_Click);
    connect(cmdRemove, &QToolButton::clicked, this, &frmSendEmail::cmdRemove_Click);
    connect(cmdClose, &QToolButton::clicked, this, &frmSendEmail::cmdClose_Click);
    connect(cmdTo, &QPushButton::clicked, this, &frmSendEmail::cmdTo_Click);
    connect(cboFrom, &QComboBox::activated, this, &frmSendEmail::cboFrom_Click);
    Keys::setCancelButton(this, cmdClose);
}

frmSendEmail::~frmSendEmail()
{
    // The session goes before the connection: nothing the socket does on
    // its way out may reach it.
    Winsock1->drop();
    m_serverCopy->stop();  // before the cache it writes to goes
}

QSize frmSendEmail::sizeHint() const
{
    // The host and sender boxes lie below this height (and stay hidden).
    return {twips(9210), twips(6105)};
}

void frmSendEmail::Form_Load()
{
    const QString maildir = AppFolder::dataFolder() + QStringLiteral("/Mail");
    const bool connected = connectStore(Con);
    if (connected)
        m_accounts = MailAccounts::read(Con, reportStoreError);
    if (m_accounts.isEmpty()) {
        if (connected)
            storeGuard([&] { m_sent.open(Con, maildir); });
        OpenInfo();
        if (connected && m_settings.incoming == IncomingKind::Imap)
            m_imapOpen = storeGuard([&] { m_imap.open(Con, maildir); });
    } else {
        useAccount(m_accounts.first());
    }
    showIdentities();
}

void frmSendEmail::showIdentities()
{
    cboFrom->clear();
    for (const MailAccount& a : std::as_const(m_accounts))
        for (qsizetype i = 0; i < a.identities.size(); ++i) {
            const QString shown = a.identities[i].from();
            cboFrom->addItem(m_accounts.size() > 1 ? QStringLiteral("%1 (%2)").arg(shown, a.name) : shown, a.key);
            cboFrom->setItemData(cboFrom->count() - 1, int(i), kIdentityRole);
        }
    const bool several = cboFrom->count() > 1;
    lblFrom->setVisible(several);
    cboFrom->setVisible(several);
    // The subject and the message make room for the box.
    const int down = several ? 420 : 0;
    Label4->setGeometry(twipsRect(120, 1440 + down, 780, 195));
    m_anchors->setFirst(txtSubject, twipsRect(960, 1320 + down, 8175, 285));
    m_anchors->setFirst(txtMessage, twipsRect(0, 1800 + down, 9015, 2775 - down));
    if (several)
        setTabOrder(txtRecipient, cboFrom);
    if (several)
        setTabOrder(cboFrom, txtSubject);
    cboFrom_Click();
}

void frmSendEmail::chooseFrom(qint64 account, int identity)
{
    for (int i = 0; i < cboFrom->count(); ++i)
        if (cboFrom->itemData(i).toLongLong() == account && cboFrom->itemData(i, kIdentityRole).toInt() == identity) {
            cboFrom->setCurrentIndex(i);
            cboFrom_Click();
        }
}

// The identity's address goes into the sender box, its signature below the
// text in place of the last one's, and its account's servers are used.
void frmSendEmail::cboFrom_Click()
{
    const int at = cboFrom->currentIndex();
    if (at < 0)
        return;
    const qint64 key = cboFrom->itemData(at).toLongLong();
    const int index = cboFrom->itemData(at, kIdentityRole).toInt();
    for (const MailAccount& a : std::as_const(m_accounts)) {
        if (a.key != key || index >= a.identities.size())
            continue;
        if (a.key != m_settings.account)
            useAccount(a);
        const MailIdentity& identity = a.identities[index];
        txtSender->setText(identity.from());
        const QString old = m_signature.isEmpty() ? QString() : kSignatureLine + m_signature;
        QString text = txtMessage->toPlainText();
        if (!old.isEmpty() && text.endsWith(old))
            text.chop(old.size());
        m_signature = identity.signature;
        if (!m_signature.isEmpty()) {
            if (!text.isEmpty() && !text.endsWith(QLatin1Char('\n')))
                text += QLatin1Char('\n');
            text += kSignatureLine + m_signature;
        }
        if (text != txtMessage->toPlainText())
            txtMessage->setPlainText(text);
    }
}

void frmSendEmail::useAccount(const MailAccount& account)
{
    const QString maildir = AppFolder::dataFolder() + QStringLiteral("/Mail");
    const QString folder = MailAccounts::mailFolder(account.key);
    const QString prefix = MailAccounts::mailKeyPrefix(account.key);
    delete std::exchange(m_oauth, nullptr);
    storeGuard([&] { m_sent.open(Con, maildir, folder, prefix); });
    m_imapOpen = account.settings.incoming == IncomingKind::Imap
                 && storeGuard([&] { m_imap.open(Con, maildir, folder, prefix.toUtf8()); });
    m_settings = account.settings;
    txtHost->setText(m_settings.smtp);
    txtSender->setText(m_settings.yourEmail);
    loginUser = m_settings.userName;
    loginPassword = m_settings.password;
    if (m_settings.signIn == SignInKind::OAuth2)
        OpenInfo();
}

void frmSendEmail::Form_Unload()
{
    // A message still on its way is abandoned without a message box.
    Winsock1->drop();
    m_serverCopy->stop();
    m_imapOpen = false;
    m_copy.reset();
    Con.Close();
    m_forwarded.reset();
}

void frmSendEmail::OpenInfo()
{
    std::optional<MailSettings> settings = m_settings;
    if (m_accounts.isEmpty())
        settings = readMailSettings(Con, reportStoreError);
    if (settings) {
        m_settings = *settings;
        txtHost->setText(settings->smtp);
        txtSender->setText(settings->yourEmail);
        loginUser = settings->userName;
        loginPassword = settings->password;
        if (settings->signIn == SignInKind::OAuth2 && !m_oauth) {
            OAuthSignIn& signIn = accountSignIn(Con, m_settings);
            connect(&signIn, &OAuthSignIn::granted, this, [this](const QString& token) { m_token = token; });
            m_oauth = new OAuthConversation(signIn, session, *Winsock1, this);
            connect(m_oauth, &OAuthConversation::finished, this, &frmSendEmail::sessionEnded);
            connect(m_oauth, &OAuthConversation::signInFailed, this,
                    [](const QString& message) { MsgBox(message, MsgButtons::OKOnly, MsgIcon::Exclamation); });
        }
    }
}

void frmSendEmail::cmdAddFile_Click()
{
    const std::optional<QString> path = getOpenFileName(QString(), QString(), QString());
    if (path && !path->isEmpty())
        lstAttachments->addItem(*path);
}

void frmSendEmail::cmdRemove_Click()
{
    const QList<QListWidgetItem*> selected = lstAttachments->selectedItems();
    if (!selected.isEmpty())
        delete selected.first();
}

void frmSendEmail::offerRecipients(const QString& boxText)
{
    m_offered.clear();
    storeGuard([&] { m_offered = AddressCompletion::matching(Con, AddressCompletion::typedPart(boxText)); });
    QStringList shown;
    for (const AddressCompletion::Match& m : std::as_const(m_offered))
        shown << m.shown;
    static_cast<QStringListModel*>(m_recipients->model())->setStringList(shown);
    if (shown.isEmpty())
        m_recipients->popup()->hide();
    else
        m_recipients->complete();
}

void frmSendEmail::cmdNew_Click()
{
    txtRecipient->clear();
    txtSubject->clear();
    txtMessage->clear();
    m_inReplyTo.clear();
    m_references.clear();
}

void frmSendEmail::compose(const MailDraft& draft)
{
    cmdNew_Click();
    txtRecipient->setText(draft.to);
    txtSubject->setText(draft.subject);
    txtMessage->setPlainText(draft.text);
    m_inReplyTo = draft.inReplyTo;
    m_references = draft.references;
    lstAttachments->clear();
    if (!draft.attachments.isEmpty() && !m_forwarded)
        m_forwarded = std::make_unique<QTemporaryDir>();  // readable by this user only
    // A folder for each file, as two may bear the same name; and one for each
    // forward, as the one before may still be on its way.
    ++m_forwards;
    for (qsizetype i = 0; i < draft.attachments.size(); ++i) {
        const QString& name = draft.attachments[i].name;
        const QString folder = m_forwarded->filePath(QStringLiteral("%1/%2").arg(m_forwards).arg(i + 1));
        const QString path = folder + QLatin1Char('/') + name;
        QDir().mkpath(folder);  // else the write says why
        const QString failure = AtomicFile::write(path, draft.attachments[i].data);
        if (!failure.isEmpty())
            MsgBox(unwrittenFile(name, failure), MsgButtons::OKOnly, MsgIcon::Exclamation);
        else
            lstAttachments->addItem(path);
    }
    txtMessage->moveCursor(QTextCursor::Start);
}

void frmSendEmail::cmdTo_Click()
{
    frmTo* picker = Screens::show<frmTo>();
    if (picker)
        connect(picker, &frmTo::picked, this, &frmSendEmail::addRecipient, Qt::UniqueConnection);
}

void frmSendEmail::addRecipient(const QString& address)
{
    if (txtRecipient->text().isEmpty()) {
        txtRecipient->setText(address);
    } else {
        txtRecipient->end(false);
        txtRecipient->insert(kSeparator + address);
    }
}

void frmSendEmail::cmdClose_Click()
{
    Screens::unload<frmSendEmail>();
}

void frmSendEmail::cmdSend_Click()
{
    // A login never goes out with an empty password: the keyring's, or the
    // user's answer when none is stored here.
    if (!m_oauth && !loginUser.isEmpty() && loginPassword.isEmpty()) {
        withMailPassword(this, Con, m_settings, splitHostPort(txtHost->text(), kSmtpPort).host,
                         [this, account = m_settings.account](const QString& password) {
                             // Another account chosen meanwhile never gets this one's password.
                             if (account != m_settings.account)
                                 return;
                             loginPassword = password;
                             cmdSend_Click();
                         });
        return;
    }
    // Every file is opened now, before anything goes to the server: one that
    // cannot be read stops the Send with its name, selected in the list.
    // They are read as the message goes out.
    QStringList paths;
    for (int i = 0; i < lstAttachments->count(); ++i)
        paths << lstAttachments->item(i)->text();
    MailNotice failure;
    qsizetype failedAt = -1;
    if (!UUEncodeStream(paths).open(&failure, &failedAt)) {
        lstAttachments->setCurrentRow(int(failedAt));
        showMailNotice(failure);
        return;
    }
    lstAttachments->setCurrentRow(lstAttachments->count() - 1);

    const HostPort server = splitHostPort(txtHost->text(), kSmtpPort);
    SmtpMessage message;
    message.sender = txtSender->text();
    message.recipients = txtRecipient->text();
    message.subject = txtSubject->text();
    message.text = txtMessage->toPlainText();
    m_sentText = message.text;
    message.attachments = paths;
    message.mimeParts = m_settings.mimeAttachments;
    message.inReplyTo = m_inReplyTo;
    message.references = m_references;
    message.date = Clock::now();
    message.host = server.host;
    message.tls = smtpTlsMode(server.port);
    message.userName = loginUser;
    message.password = loginPassword;
    message.copy = [this](const QByteArray& slice) {
        if (m_copy)
            m_copy->append(slice);
    };

    // One conversation at a time: Send waits until this one has ended, and
    // the message goes from the account it started with.
    cmdSend->setEnabled(false);
    cboFrom->setEnabled(false);
    lblStatus->hide();
    prgSend->setValue(0);
    prgSend->show();
    if (!m_oauth)
        return sendWith(message, server);
    m_oauth->run([this, message, server](const QString& token) {
        SmtpMessage signedIn = message;
        signedIn.password = token;
        sendWith(signedIn, server);
    });
}

void frmSendEmail::sendWith(const SmtpMessage& message, const HostPort& server)
{
    // Without a copy (the box said why) the message still goes; only the Sent folder misses it.
    m_copy.reset();
    if (m_sent.isOpen())
        storeGuard([&] { m_copy = m_sent.beginSent(); });
    session.start(message);
    Winsock1->open(server.host, server.port, message.tls);
}

// A message the server refused stays in the boxes as it was, and its copy goes.
void frmSendEmail::sessionEnded(bool sent)
{
    KeptMessage kept;
    if (sent && m_copy)
        storeGuard([&] { kept = m_sent.keepSent(*m_copy, m_sentText); });
    m_copy.reset();
    cmdSend->setEnabled(true);
    cboFrom->setEnabled(true);
    prgSend->hide();
    // The server's copy is the one kept here, byte for byte; without one (a box said why) there is none.
    if (sent && !kept.key.isEmpty() && m_settings.incoming == IncomingKind::Imap)
        copyToServer(kept.key);
    // The copy goes to the account it was sent from.
    cboFrom->setEnabled(!m_serverCopy->isRunning());
}

void frmSendEmail::copyToServer(const QString& key)
{
    const HostPort server = splitHostPort(m_settings.remote, kImapPort);
    if (loginPassword.isEmpty() && !m_oauth) {
        withMailPassword(this, Con, m_settings, server.host,
                         [this, key, account = m_settings.account](const QString& password) {
                             if (account != m_settings.account)
                                 return;
                             loginPassword = password;
                             copyToServer(key);
                         });
        return;
    }
    ImapAccount account{server.host, server.port, imapTlsMode(server.port), loginUser,
                        m_oauth ? m_token : loginPassword};
    account.oauth = m_oauth != nullptr;
    QByteArray raw;
    if (!storeGuard([&] {
            raw = m_sent.raw(key);
            account.loginInClear = m_sent.mayLogInClear(server.host);
            account.offeredStartTls = m_sent.offeredStartTls(server.host);
        })
        || raw.isEmpty())
        return;
    lblStatus->setText(kCopying);
    lblStatus->show();
    m_serverCopy->start(account, m_imapOpen ? &m_imap : nullptr, raw);
}

void frmSendEmail::serverCopyDone(const QString& folder, const QString& failure)
{
    cboFrom->setEnabled(cmdSend->isEnabled());
    lblStatus->setText(failure.isEmpty() ? kCopied.arg(folder) : kNotCopied.arg(failure));
    lblStatus->setToolTip(lblStatus->text());
    lblStatus->show();
}
