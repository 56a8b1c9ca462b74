#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// What the sign-in reads from outside: the browser's request to the loopback
// redirect, and the token endpoint's JSON. Both are read in step with their
// size and never trusted further than these fields.

// The request line of the redirect: "GET /?code=..&state=.. HTTP/1.1".
struct OAuthRedirect {
    bool readable = false;  // a GET of the redirect's path with a query
    QString code;
    QString state;
    QString error;  // the authorization server's "error", e.g. access_denied
    QString errorDescription;
};
// `head`: what the browser sent up to the end of its header (or the first 8 KB).
OAuthRedirect readRedirect(const QByteArray& head);

// The token endpoint's answer (RFC 6749 5.1 and 5.2).
struct OAuthTokenAnswer {
    QString accessToken;
    QString refreshToken;             // empty: the old one stays
    std::optional<qint64> expiresIn;  // seconds
    QString scope;
    QString error;  // "invalid_grant"; "unreadable" when it is no token answer at all
    QString errorDescription;

    bool ok() const { return error.isEmpty(); }
};
// `status`: the HTTP status. An answer that is no JSON object, or a success
// without a Bearer access token, is "unreadable".
OAuthTokenAnswer readTokenAnswer(const QByteArray& body, int status);
