#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

#include "kit/MailSettings.h"

// Mail settings found from an e-mail address (MailDiscovery does the looking):
// the value, the providers this program knows, and the pure readers of what a
// domain publishes. Nothing here touches the network.

enum class FoundTls {
    Tls,       // from the first byte
    StartTls,  // STARTTLS (STLS) after the greeting
    None,      // in clear
};

struct FoundServer {
    QString host;  // empty: none found
    quint16 port = 0;
    FoundTls tls = FoundTls::Tls;

    friend bool operator==(const FoundServer&, const FoundServer&) = default;
};

struct FoundSettings {
    enum class SignIn { Password, OAuth2 };
    enum class Source {
        BuiltIn,     // this program's list of providers
        Autoconfig,  // the domain's settings document (`from`: its URL)
        Dns,         // the domain's SRV records (`from`: the domain)
    };

    IncomingKind incoming = IncomingKind::Imap;
    FoundServer in;   // IMAP or POP3, as `incoming` says
    FoundServer out;  // SMTP submission
    QString userName;
    // Only shown: the settings keep no sign-in kind of their own here.
    SignIn signIn = SignIn::Password;
    Source source = Source::BuiltIn;
    QString from;

    bool any() const { return !in.host.isEmpty() || !out.host.isEmpty(); }
};

// The domain of an address ("anna@Example.COM " -> "example.com"); empty when
// it is no address or its domain is no host name.
QString addressDomain(const QString& address);

// A host name as the boxes take it: letters, digits, dots and hyphens.
bool isHostName(const QString& text);

// The settings of the big providers, by the address's domain.
std::optional<FoundSettings> builtInSettings(const QString& address);

// Reads a Mozilla-style autoconfig document (clientConfig, version 1.1) for
// `address`: the first IMAP or POP3 incomingServer that uses TLS (else the
// first at all), the same of the SMTP outgoingServers; the placeholders
// %EMAILADDRESS%, %EMAILLOCALPART% and %EMAILDOMAIN% are filled in. A server
// with another socket type, a bad host or port, or only sign-ins this program
// does not know is passed over. Nothing when the bytes are no such document
// (a parse error anywhere) or name neither server. Linear in the input.
std::optional<FoundSettings> readAutoconfig(const QByteArray& xml, const QString& address);

// The services of RFC 6186 in the order they are preferred, with how each
// one speaks: IMAP, then POP3, each TLS first; submission likewise.
struct SrvService {
    const char* label;  // "_imaps._tcp"
    bool incoming;
    IncomingKind kind;
    FoundTls tls;
};
const QList<SrvService>& srvServices();

// The settings from the first answer of each service of srvServices() (an
// empty host where that service gave none, or its target was "."): the first
// one of each direction in that order. The user name is the address.
std::optional<FoundSettings> settingsFromSrv(const QList<FoundServer>& firstAnswers, const QString& address);

// What was found, a line each: the servers with port and TLS, the user name,
// the sign-in kind and where it came from.
QString describeFound(const FoundSettings& found);

// The host box's text of a server: "host:port" (a found host is a name, never an address with colons).
QString hostBoxText(const FoundServer& server);
