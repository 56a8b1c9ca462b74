#include "mail/frmCheckEmail.h"

#include <QGroupBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTcpSocket>

#include "kit/StoreAccess.h"
#include "controls/Buttons.h"
#include "controls/ListView.h"
#include "controls/Twips.h"
#include "mail/HostPort.h"
#include "mail/MailSocket.h"

namespace {
const QString kCaption = QStringLiteral("Check Email");

// The list view's own width for a column added without one.
constexpr int kColumnTwips = 1440;

FlatBttn* flatButton(QWidget* parent, const char* name, const QString& caption, const QRect& rect)
{
    auto* b = new FlatBttn(parent);
    b->setObjectName(QLatin1String(name));
    b->setText(caption);
    b->setGeometry(rect);
    return b;
}

QGroupBox* frame(QWidget* parent, const char* name, const QString& caption, const QRect& rect)
{
    auto* f = new QGroupBox(caption, parent);
    f->setObjectName(QLatin1String(name));
    f->setGeometry(rect);
    return f;
}

QLineEdit* textBox(QWidget* parent, const char* name, const QRect& rect)
{
    auto* box = new QLineEdit(parent);
    box->setObjectName(QLatin1String(name));
    box->setGeometry(rect);
    return box;
}
}  // namespace

frmCheckEmail::frmCheckEmail()
{
    setObjectName(QStringLiteral("frmCheckEmail"));
    setWindowTitle(kCaption);
    resize(sizeHint());
    // Paints its own background, so the work area's blue never shows through.
    setAutoFillBackground(true);

    cmdCheckMail = flatButton(this, "cmdCheckMail", QStringLiteral("Check Mail"), twipsRect(120, 0, 1695, 615));
    cmdExit = flatButton(this, "cmdExit", QStringLiteral("&Exit"), twipsRect(5880, 0, 1455, 495));

    Frame4 = frame(this, "Frame4", QStringLiteral("Messages"), twipsRect(0, 840, 7095, 1815));
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

    Frame1 = frame(this, "Frame1", QStringLiteral("Remote Host:"), twipsRect(120, 5640, 2295, 615));
    txtHost = textBox(Frame1, "txtHost", twipsRect(120, 240, 2055, 285));
    Frame2 = frame(this, "Frame2", QStringLiteral("User Name:"), twipsRect(2520, 5640, 2295, 615));
    txtUserName = textBox(Frame2, "txtUserName", twipsRect(120, 240, 2055, 285));
    Frame3 = frame(this, "Frame3", QStringLiteral("Password:"), twipsRect(4920, 5640, 2295, 615));
    txtPassword = textBox(Frame3, "txtPassword", twipsRect(120, 240, 2055, 285));
    txtPassword->setEchoMode(QLineEdit::Password);

    Winsock1 = new QTcpSocket(this);
    Winsock1->setObjectName(QStringLiteral("Winsock1"));
    MailSocket::attach(Winsock1, session, [this](const QStringList& keys) { ShowMessages(keys); });

    connect(cmdCheckMail, &QToolButton::clicked, this, &frmCheckEmail::cmdCheckMail_Click);
    connect(cmdExit, &QToolButton::clicked, this, &frmCheckEmail::cmdExit_Click);
    connect(lvMessages, &ListView::ItemClick, this, &frmCheckEmail::lvMessages_ItemClick);
}

frmCheckEmail::~frmCheckEmail()
{
    // The session goes before the socket: nothing the socket does on its way
    // out may reach it.
    MailSocket::drop(Winsock1);
}

QSize frmCheckEmail::sizeHint() const
{
    // The account frames lie below this height: out of view until the
    // window is made taller.
    return {twips(7365), twips(5490)};
}

void frmCheckEmail::Form_Load()
{
    connectStore(Con);
    OpenInfo();
}

void frmCheckEmail::Form_Unload()
{
    // A check still running is abandoned without a message box.
    MailSocket::drop(Winsock1);
    rst.Close();
    Con.Close();
}

// Every row is read in turn, so the last one's settings remain.
void frmCheckEmail::OpenInfo()
{
    storeGuard([&] {
        rst.Open(Con, QStringLiteral("tblEmail"));
        for (; !rst.isEOF(); rst.MoveNext()) {
            txtHost->setText(rst.Fields(QStringLiteral("Remote")).toString());
            txtUserName->setText(rst.Fields(QStringLiteral("UserName")).toString());
            txtPassword->setText(rst.Fields(QStringLiteral("Password")).toString());
        }
    });
    rst.Close();
}

void frmCheckEmail::cmdExit_Click()
{
    Screens::unload<frmCheckEmail>();
}

void frmCheckEmail::cmdCheckMail_Click()
{
    if (const std::optional<MailNotice> empty =
            Pop3Session::emptyBoxNotice(txtHost->text(), txtUserName->text(), txtPassword->text())) {
        MailSocket::showNotice(*empty);
        return;
    }
    // A check still running is given up; what it fetched is listed at the
    // end of this one.
    MailSocket::drop(Winsock1);
    session.start(txtUserName->text(), txtPassword->text());
    const HostPort server = splitHostPort(txtHost->text(), kPop3Port);
    Winsock1->connectToHost(server.host, server.port);
}

// Adds a row for each newly held message; rows already listed stay.
void frmCheckEmail::ShowMessages(const QStringList& keys)
{
    for (const QString& key : keys) {
        if (!colMessages.Contains(key))
            continue;
        const QStringList columns = Pop3Session::listRow(*colMessages.Item(key));
        const int row = lvMessages->addItem(columns.value(0), key);
        if (row < 0)
            continue;
        for (int n = 1; n < columns.size(); ++n)
            lvMessages->setSubItem(row, n, columns[n]);
    }
}

void frmCheckEmail::lvMessages_ItemClick(int row)
{
    const QString key = lvMessages->itemKey(row);
    if (colMessages.Contains(key))
        txtBody->setPlainText(colMessages.Item(key)->MessageBody());
}
