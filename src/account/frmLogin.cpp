#include "account/frmLogin.h"

#include <QAction>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>

#include "account/PasswordHash.h"
#include "account/frmNoPassword.h"
#include "controls/Buttons.h"
#include "controls/Controls.h"
#include "controls/Twips.h"
#include "kit/MsgBox.h"
#include "kit/ProgramLock.h"
#include "kit/StoreAccess.h"

namespace {
const QString kInvalid = QStringLiteral("Invalid User Name or Password, try again!");
const QString kNoAccount = QStringLiteral("No user account is stored in the database, so the login cannot be checked. "
                                          "The program stays locked.");
}  // namespace

frmLogin::frmLogin()
{
    setObjectName(QStringLiteral("frmLogin"));
    setWindowTitle(QStringLiteral("Login"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowCloseButtonHint | Qt::WindowTitleHint);
    setFixedSize(twips(4875), twips(1320));

    asxGenericContainer1 = makeControl<asxGenericContainer>(this, "asxGenericContainer1", twipsRect(0, 0, 4935, 1335));
    asxGenericContainer1->setBackColor(bgrColor(0x00C00000));

    auto label = [&](const char* name, const QString& text, const QRect& rect) {
        QLabel* l = makeLabel(asxGenericContainer1, name, text, rect);
        QPalette p = l->palette();
        p.setColor(QPalette::WindowText, bgrColor(0x0000FFFF));
        l->setPalette(p);
        return l;
    };
    Label1 = label("Label1", QStringLiteral("User Name"), twipsRect(0, 240, 975, 255));
    Label2 = label("Label2", QStringLiteral("Password"), twipsRect(0, 840, 735, 255));

    txtUserName = makeTextBox(asxGenericContainer1, "txtUserName", twipsRect(960, 120, 2175, 375));
    txtPassword = makeTextBox(asxGenericContainer1, "txtPassword", twipsRect(960, 720, 2175, 375), true);
    Label1->setBuddy(txtUserName);
    Label2->setBuddy(txtPassword);
    setTabOrder(txtUserName, txtPassword);

    auto button = [&](const char* name, const QString& caption, const QRect& rect) {
        auto* b = makeControl<asxToolButton>(asxGenericContainer1, name, rect);
        b->setText(caption);
        b->setAutoRaise(false);
        return b;
    };
    cmdLogin = button("cmdLogin", QStringLiteral("Login"), twipsRect(3480, 120, 975, 375));
    cmdExit = button("cmdExit", QStringLiteral("Exit"), twipsRect(3480, 720, 975, 375));
    connect(cmdLogin, &QToolButton::clicked, this, &frmLogin::cmdLogin_Click);
    connect(cmdExit, &QToolButton::clicked, this, &frmLogin::cmdExit_Click);
    Keys::setDefaultButton(this, cmdLogin);
    Keys::setCancelButton(this, cmdExit);
}

void frmLogin::Form_Load()
{
    connectStore(Con);
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void frmLogin::cmdLogin_Click()
{
    bool noAccount = false;
    bool match = false;
    const bool read = storeGuard([&] {
        rst.Open(Con, QStringLiteral("tblPass"));
        if (rst.isEOF()) {
            noAccount = true;
            return;
        }
        match = accountMatches(rst, txtUserName->text(), txtPassword->text());
    });
    if (!read)
        return;
    if (noAccount) {
        MsgBox(kNoAccount, MsgButtons::OKOnly, MsgIcon::Critical, QStringLiteral("Login"));
        Screens::unload<frmLogin>();
        return;
    }
    if (match) {
        m_loggedIn = true;
        Screens::unload<frmLogin>();
        return;
    }
    MsgBox(kInvalid, MsgButtons::OKOnly, MsgIcon::Critical, QStringLiteral("Login"));
    txtUserName->setFocus();
    txtUserName->selectAll();
}

void frmLogin::cmdExit_Click()
{
    CheckEmpty();
}

void frmLogin::Form_Unload()
{
    rst.Close();
    Con.Close();
    // Nobody gets past this screen without a successful test; after one, an
    // empty pair of boxes still locks, as it always has.
    if (m_loggedIn)
        CheckEmpty();
    else
        lockMainWindow();
}

void frmLogin::CheckEmpty()
{
    if (txtUserName->text().isEmpty() && txtPassword->text().isEmpty())
        lockMainWindow();
}

void frmLogin::lockMainWindow()
{
    Screens::load<frmNoPassword>();
    Screens::unload<frmLogin>();
    ProgramLock::lock();
}
