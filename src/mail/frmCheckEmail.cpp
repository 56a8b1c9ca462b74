#include "mail/frmCheckEmail.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>

#include "controls/Buttons.h"
#include "controls/Controls.h"
#include "controls/ListView.h"
#include "controls/Twips.h"
#include "kit/MailSettings.h"
#include "kit/StoreAccess.h"
#include "mail/HostPort.h"
#include "mail/MailConnection.h"

namespace {
const QString kCaption = QStringLiteral("Check Email");

// The list view's own width for a column added without one.
constexpr int kColumnTwips = 1440;

// From, Subject, Date and Size: the columns of a message's row.
QStringList listRow(const CMessage& message)
{
    return {message.From(), message.Subject(), message.SendDate(), QString::number(message.Size())};
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
    lblProgress = makeLabel(this, "lblProgress", QString(), twipsRect(1935, 180, 3825, 255));

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

    Frame1 = makeFrame(this, "Frame1", QStringLiteral("Remote Host:"), twipsRect(120, 5640, 2295, 615));
    txtHost = makeTextBox(Frame1, "txtHost", twipsRect(120, 240, 2055, 285));
    Frame2 = makeFrame(this, "Frame2", QStringLiteral("User Name:"), twipsRect(2520, 5640, 2295, 615));
    txtUserName = makeTextBox(Frame2, "txtUserName", twipsRect(120, 240, 2055, 285));
    Frame3 = makeFrame(this, "Frame3", QStringLiteral("Password:"), twipsRect(4920, 5640, 2295, 615));
    txtPassword = makeTextBox(Frame3, "txtPassword", twipsRect(120, 240, 2055, 285), true);

    Winsock1 = new MailConnection(session, this);
    Winsock1->setObjectName(QStringLiteral("Winsock1"));
    connect(Winsock1, &MailConnection::listed, this, &frmCheckEmail::ShowMessages);
    connect(Winsock1, &MailConnection::fetching, this, [this](int current, int total) {
        lblProgress->setText(QStringLiteral("Message %1 of %2").arg(current).arg(total));
    });
    connect(Winsock1, &MailConnection::finished, lblProgress, &QLabel::clear);

    connect(cmdCheckMail, &QToolButton::clicked, this, &frmCheckEmail::cmdCheckMail_Click);
    connect(cmdExit, &QToolButton::clicked, this, &frmCheckEmail::cmdExit_Click);
    connect(lvMessages, &ListView::ItemClick, this, &frmCheckEmail::lvMessages_ItemClick);
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
    connectStore(Con);
    OpenInfo();
}

void frmCheckEmail::Form_Unload()
{
    // A check still running is abandoned without a message box.
    Winsock1->drop();
    Con.Close();
}

void frmCheckEmail::OpenInfo()
{
    if (const std::optional<MailSettings> settings = readMailSettings(Con)) {
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
    if (const std::optional<MailNotice> bad =
            Pop3Session::inputNotice(txtHost->text(), txtUserName->text(), txtPassword->text())) {
        MailConnection::showNotice(*bad);
        return;
    }
    // A check still running is given up; what it fetched is listed already.
    const HostPort server = splitHostPort(txtHost->text(), kPop3Port);
    session.start(txtUserName->text(), txtPassword->text(), server.host, pop3TlsMode(server.port));
    Winsock1->open(server.host, server.port, pop3TlsMode(server.port));
}

// Adds a row for each newly held message; rows already listed stay.
void frmCheckEmail::ShowMessages(const QStringList& keys)
{
    for (const QString& key : keys) {
        if (!colMessages.Contains(key))
            continue;
        const QStringList columns = listRow(*colMessages.Item(key));
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
