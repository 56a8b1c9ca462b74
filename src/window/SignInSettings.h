#pragma once

#include <QWidget>

#include "kit/OAuth2.h"

class QLabel;
class QLineEdit;
class QPushButton;

// The details of an OAuth2 sign-in, shown when the user picks a provider:
// the client ID (the build's, or one the user registered), the client
// secret a provider may ask of an installed program, and for a custom
// provider its two addresses and its scope. Not modal: entered() gives the
// provider as typed, and the window closes itself.
class SignInSettings : public QWidget {
    Q_OBJECT
public:
    SignInSettings(QWidget* owner, const OAuthProvider& provider);

    QLabel *lblClientId, *lblClientSecret, *lblAuthorizationUrl, *lblTokenUrl, *lblScope, *lblWhy;
    QLineEdit *txtClientId, *txtClientSecret, *txtAuthorizationUrl, *txtTokenUrl, *txtScope;
    QPushButton *cmdOK, *cmdCancel;

signals:
    void entered(const OAuthProvider& provider);

private:
    OAuthProvider typed() const;
    void check();

    OAuthProvider m_provider;
};
