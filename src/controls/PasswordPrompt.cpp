#include "controls/PasswordPrompt.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <utility>

#include "controls/Controls.h"
#include "controls/Twips.h"

const QString PasswordPrompt::kWaiting = QStringLiteral("Waiting for the keyring to give the password of %1 ...");
const QString PasswordPrompt::kKeepIt = QStringLiteral("&Keep it");

namespace {
const QString kCaption = QStringLiteral("Password");
const QString kAsk = QStringLiteral("The password of %1 is not stored on this computer. Please enter it.");
}  // namespace

PasswordPrompt::PasswordPrompt(QWidget* owner, const QString& what)
    : QWidget(owner, Qt::Dialog)
    , m_what(what)
{
    setObjectName(QStringLiteral("PasswordPrompt"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowModality(Qt::WindowModal);
    setWindowTitle(kCaption);
    setFixedSize(twips(5625), twips(1920));
    lblPrompt = makeLabel(this, "lblPrompt", QString(), twipsRect(120, 120, 5385, 615));
    lblPrompt->setWordWrap(true);
    txtPassword = makeTextBox(this, "txtPassword", twipsRect(120, 840, 5385, 345), true);
    txtPassword->setAccessibleName(kCaption);
    chkKeep = makeControl<QCheckBox>(this, "chkKeep", twipsRect(120, 1380, 2400, 345), kKeepIt);
    chkKeep->setChecked(true);
    cmdOK = makeCommandButton(this, "cmdOK", QStringLiteral("OK"), twipsRect(3000, 1380, 1200, 345));
    cmdCancel = makeCommandButton(this, "cmdCancel", QStringLiteral("&Cancel"), twipsRect(4305, 1380, 1200, 345));
    cmdOK->setDefault(true);
    cmdOK->setEnabled(false);  // an empty password is never sent
    connect(txtPassword, &QLineEdit::textChanged, cmdOK, [this](const QString& t) { cmdOK->setEnabled(!t.isEmpty()); });
    connect(cmdOK, &QPushButton::clicked, this, [this] {
        m_answered = true;
        emit entered(txtPassword->text(), chkKeep->isChecked());
        close();
    });
    connect(cmdCancel, &QPushButton::clicked, this, &QWidget::close);
}

void PasswordPrompt::waitForKeyring()
{
    lblPrompt->setText(kWaiting.arg(m_what));
    for (QWidget* w :
         {static_cast<QWidget*>(txtPassword), static_cast<QWidget*>(chkKeep), static_cast<QWidget*>(cmdOK)})
        w->hide();
    show();
}

void PasswordPrompt::ask()
{
    lblPrompt->setText(kAsk.arg(m_what));
    for (QWidget* w :
         {static_cast<QWidget*>(txtPassword), static_cast<QWidget*>(chkKeep), static_cast<QWidget*>(cmdOK)})
        w->show();
    show();
    txtPassword->setFocus();
}

void PasswordPrompt::closeEvent(QCloseEvent* event)
{
    if (!std::exchange(m_answered, true))
        emit cancelled();
    event->accept();
}
