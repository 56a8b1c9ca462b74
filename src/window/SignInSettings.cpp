#include "window/SignInSettings.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "controls/Controls.h"
#include "controls/Twips.h"

namespace {
const QString kCaption = QStringLiteral("%1 Sign-in");
const QString kNoClientId = QStringLiteral("Enter the client ID the provider gave when the program was registered.");
const QString kNotSecure = QStringLiteral("The sign-in addresses must begin with https://.");
}  // namespace

SignInSettings::SignInSettings(QWidget* owner, const OAuthProvider& provider)
    : QWidget(owner, Qt::Dialog)
    , m_provider(provider)
{
    setObjectName(QStringLiteral("SignInSettings"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowModality(Qt::WindowModal);
    setWindowTitle(kCaption.arg(oauthProviderName(provider.kind)));
    const bool custom = provider.kind == OAuthProviderKind::Custom;
    setFixedSize(twips(6255), twips(custom ? 3240 : 1800));
    int top = 120;
    const auto row = [&top, this](const char* label, const char* box, const QString& caption, const QString& text) {
        auto* l = makeLabel(this, label, caption, twipsRect(120, top + 60, 1815, 255));
        auto* t = makeTextBox(this, box, twipsRect(1980, top, 4155, 345));
        t->setText(text);
        l->setBuddy(t);
        top += 480;
        return std::pair(l, t);
    };
    std::tie(lblClientId, txtClientId) =
        row("lblClientId", "txtClientId", QStringLiteral("Client &ID"), provider.clientId);
    std::tie(lblClientSecret, txtClientSecret) =
        row("lblClientSecret", "txtClientSecret", QStringLiteral("Client &secret"), provider.clientSecret);
    std::tie(lblAuthorizationUrl, txtAuthorizationUrl) =
        row("lblAuthorizationUrl", "txtAuthorizationUrl", QStringLiteral("Sign-in &page"),
            provider.authorizationUrl.toString());
    std::tie(lblTokenUrl, txtTokenUrl) =
        row("lblTokenUrl", "txtTokenUrl", QStringLiteral("&Token address"), provider.tokenUrl.toString());
    std::tie(lblScope, txtScope) = row("lblScope", "txtScope", QStringLiteral("S&cope"), provider.scope);
    if (!custom) {
        for (QWidget* w : {static_cast<QWidget*>(lblAuthorizationUrl), static_cast<QWidget*>(txtAuthorizationUrl),
                           static_cast<QWidget*>(lblTokenUrl), static_cast<QWidget*>(txtTokenUrl),
                           static_cast<QWidget*>(lblScope), static_cast<QWidget*>(txtScope)})
            w->hide();
        top = 1080;
    }
    lblWhy = makeLabel(this, "lblWhy", QString(), twipsRect(120, top, 3500, 525));
    lblWhy->setWordWrap(true);
    cmdOK = makeCommandButton(this, "cmdOK", QStringLiteral("OK"), twipsRect(3735, top, 1140, 345));
    cmdCancel = makeCommandButton(this, "cmdCancel", QStringLiteral("&Cancel"), twipsRect(4995, top, 1140, 345));
    cmdOK->setDefault(true);
    for (QLineEdit* box : {txtClientId, txtAuthorizationUrl, txtTokenUrl})
        connect(box, &QLineEdit::textChanged, this, &SignInSettings::check);
    connect(cmdOK, &QPushButton::clicked, this, [this] {
        emit entered(typed());
        close();
    });
    connect(cmdCancel, &QPushButton::clicked, this, &QWidget::close);
    check();
}

OAuthProvider SignInSettings::typed() const
{
    OAuthProvider p = m_provider;
    p.clientId = txtClientId->text().trimmed();
    p.clientSecret = txtClientSecret->text().trimmed();
    if (p.kind == OAuthProviderKind::Custom) {
        p.authorizationUrl = QUrl(txtAuthorizationUrl->text().trimmed());
        p.tokenUrl = QUrl(txtTokenUrl->text().trimmed());
        p.scope = txtScope->text().simplified();
    }
    return p;
}

// Nothing is taken that could not sign in, or would send the code in clear.
void SignInSettings::check()
{
    const OAuthProvider p = typed();
    const QString why = p.clientId.isEmpty()                                                             ? kNoClientId
                        : !oauthEndpointAllowed(p.authorizationUrl) || !oauthEndpointAllowed(p.tokenUrl) ? kNotSecure
                                                                                                         : QString();
    lblWhy->setText(why);
    cmdOK->setEnabled(why.isEmpty());
}
