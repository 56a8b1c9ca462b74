#include "mail/frmSendEmail.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTcpSocket>

#include "kit/Clock.h"
#include "kit/FileDialogs.h"
#include "kit/StoreAccess.h"
#include "controls/Buttons.h"
#include "controls/Twips.h"
#include "mail/HostPort.h"
#include "mail/MailSocket.h"
#include "mail/MailTexts.h"
#include "mail/frmTo.h"
#include "mail/mdlMUUEncode.h"

namespace {
const QString kCaption = QStringLiteral("Send Email");

FlatBttn* flatButton(QWidget* parent, const char* name, const QString& caption, const QRect& rect)
{
    auto* b = new FlatBttn(parent);
    b->setObjectName(QLatin1String(name));
    b->setText(caption);
    b->setGeometry(rect);
    return b;
}

QLineEdit* textBox(QWidget* parent, const char* name, const QRect& rect)
{
    auto* box = new QLineEdit(parent);
    box->setObjectName(QLatin1String(name));
    box->setGeometry(rect);
    return box;
}

// The captions are laid out for a face a little narrower than ours: the
// font is narrowed until the whole caption fits its place.
QLabel* label(QWidget* parent, const char* name, const QString& text, const QRect& rect)
{
    auto* l = new QLabel(text, parent);
    l->setObjectName(QLatin1String(name));
    l->setGeometry(rect);
    QFont font = l->font();
    while (QFontMetrics(font).horizontalAdvance(text) > rect.width() && font.pointSizeF() > 6)
        font.setPointSizeF(font.pointSizeF() - 0.25);
    l->setFont(font);
    return l;
}
}  // namespace

frmSendEmail::frmSendEmail()
{
    setObjectName(QStringLiteral("frmSendEmail"));
    setWindowTitle(kCaption);
    resize(sizeHint());
    // Paints its own background, so the work area's blue never shows through.
    setAutoFillBackground(true);

    cmdSend = flatButton(this, "cmdSend", QStringLiteral("Send"), twipsRect(0, 0, 975, 495));
    cmdNew = flatButton(this, "cmdNew", QStringLiteral("New Messages"), twipsRect(1560, 0, 1695, 495));
    cmdAddFile = flatButton(this, "cmdAddFile", QStringLiteral("Insert File"), twipsRect(3840, 0, 1335, 495));
    cmdRemove = flatButton(this, "cmdRemove", QStringLiteral("&Remove"), twipsRect(5640, 0, 1455, 495));
    cmdClose = flatButton(this, "cmdClose", QStringLiteral("Close"), twipsRect(7680, 0, 1335, 495));

    cmdTo = new QPushButton(QStringLiteral("To"), this);
    cmdTo->setObjectName(QStringLiteral("cmdTo"));
    cmdTo->setGeometry(twipsRect(120, 840, 735, 255));
    txtRecipient = textBox(this, "txtRecipient", twipsRect(960, 840, 8175, 285));
    Label4 = label(this, "Label4", QStringLiteral("Subject:"), twipsRect(120, 1440, 585, 195));
    txtSubject = textBox(this, "txtSubject", twipsRect(960, 1320, 8175, 285));

    txtMessage = new QPlainTextEdit(this);
    txtMessage->setObjectName(QStringLiteral("txtMessage"));
    txtMessage->setGeometry(twipsRect(0, 1800, 9015, 2775));
    // Lines break only where the user pressed Enter.
    txtMessage->setLineWrapMode(QPlainTextEdit::NoWrap);
    txtMessage->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtMessage->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

    Frame1 = new QGroupBox(this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Frame1->setGeometry(twipsRect(0, 4680, 9015, 1335));
    lstAttachments = new QListWidget(Frame1);
    lstAttachments->setObjectName(QStringLiteral("lstAttachments"));
    lstAttachments->setGeometry(twipsRect(120, 240, 8775, 1035));

    Label1 = label(this, "Label1", QStringLiteral("SMTP Host:"), twipsRect(780, 6240, 870, 195));
    txtHost = textBox(this, "txtHost", twipsRect(1740, 6240, 3015, 285));
    Label2 = label(this, "Label2", QStringLiteral("Your e-mail address:"), twipsRect(345, 6600, 1425, 195));
    txtSender = textBox(this, "txtSender", twipsRect(1860, 6600, 3015, 285));

    Winsock1 = new QTcpSocket(this);
    Winsock1->setObjectName(QStringLiteral("Winsock1"));
    MailSocket::attach(Winsock1, session);

    connect(cmdSend, &QToolButton::clicked, this, &frmSendEmail::cmdSend_Click);
    connect(cmdNew, &QToolButton::clicked, this, &frmSendEmail::cmdNew_Click);
    connect(cmdAddFile, &QToolButton::clicked, this, &frmSendEmail::cmdAddFile_Click);
    connect(cmdRemove, &QToolButton::clicked, this, &frmSendEmail::cmdRemove_Click);
    connect(cmdClose, &QToolButton::clicked, this, &frmSendEmail::cmdClose_Click);
    connect(cmdTo, &QPushButton::clicked, this, &frmSendEmail::cmdTo_Click);
}

frmSendEmail::~frmSendEmail()
{
    // The session goes before the socket: nothing the socket does on its way
    // out may reach it.
    MailSocket::drop(Winsock1);
}

QSize frmSendEmail::sizeHint() const
{
    // The host and sender boxes lie below this height: out of view until the
    // window is made taller.
    return {twips(9210), twips(6105)};
}

void frmSendEmail::Form_Load()
{
    connectStore(Con);
    OpenInfo();
}

void frmSendEmail::Form_Unload()
{
    // A message still on its way is abandoned without a message box.
    MailSocket::drop(Winsock1);
    rst.Close();
    Con.Close();
}

// Every row is read in turn, so the last one's settings remain.
void frmSendEmail::OpenInfo()
{
    storeGuard([&] {
        rst.Open(Con, QStringLiteral("tblEmail"));
        for (; !rst.isEOF(); rst.MoveNext()) {
            txtHost->setText(rst.Fields(QStringLiteral("SMTP")).toString());
            txtSender->setText(rst.Fields(QStringLiteral("YourEmail")).toString());
        }
    });
    rst.Close();
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

void frmSendEmail::cmdNew_Click()
{
    txtRecipient->clear();
    txtSubject->clear();
    txtMessage->clear();
}

void frmSendEmail::cmdTo_Click()
{
    Screens::show<frmTo>();
}

void frmSendEmail::cmdClose_Click()
{
    Screens::unload<frmSendEmail>();
}

void frmSendEmail::cmdSend_Click()
{
    // Every file is read now, before anything goes to the server: one that
    // cannot be read stops the Send with its name, selected in the list.
    QByteArray attachments;
    for (int i = 0; i < lstAttachments->count(); ++i) {
        lstAttachments->setCurrentRow(i);
        const QString path = lstAttachments->item(i)->text();
        QString why;
        const std::optional<QByteArray> block = UUEncodeFile(path, &why);
        if (!block) {
            MailSocket::showNotice(MailTexts::attachmentUnreadable(path, why));
            return;
        }
        attachments += *block;
        attachments += "\r\n";
    }

    // A session still running is given up, so two conversations never share the socket.
    MailSocket::drop(Winsock1);

    SmtpMessage message;
    message.sender = txtSender->text();
    message.recipients = txtRecipient->text();
    message.subject = txtSubject->text();
    message.text = txtMessage->toPlainText();
    message.attachments = std::move(attachments);
    message.date = Clock::now();
    session.start(message);

    const HostPort server = splitHostPort(txtHost->text(), kSmtpPort);
    Winsock1->connectToHost(server.host, server.port);
}
