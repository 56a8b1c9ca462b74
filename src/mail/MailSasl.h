#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QString>

// The SASL mechanisms that carry an OAuth2 access token: OAUTHBEARER
// (RFC 7628) where the server offers it, else XOAUTH2. An account that signs
// in with OAuth2 never falls back to a password mechanism.
enum class OAuthMechanism { None, OAuthBearer, XOAuth2 };

// `offered`: the server's mechanism names ("PLAIN", "XOAUTH2"), any case.
OAuthMechanism oauthMechanism(const QByteArrayList& offered);
QByteArray oauthMechanismName(OAuthMechanism mechanism);
// The client's first response, base64-encoded, ready for the wire.
QByteArray oauthResponse(OAuthMechanism mechanism, const QString& user, const QString& token, const QString& host);
// What answers the server's error challenge (a base64 JSON), so that it ends
// the exchange with its refusal: %x01 for OAUTHBEARER, empty for XOAUTH2.
QByteArray oauthErrorAck(OAuthMechanism mechanism);
