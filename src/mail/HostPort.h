#pragma once

#include "mail/MailAction.h"

#include <QString>

constexpr quint16 kSmtpPort = 25;
constexpr quint16 kPop3Port = 110;
constexpr quint16 kImapPort = 993;  // an IMAP box without a port: TLS from the first byte

struct HostPort {
    QString host;
    quint16 port = 0;

    friend bool operator==(const HostPort&, const HostPort&) = default;
};

// Reads a host box: "host", "host:port", "[v6address]" or "[v6address]:port";
// blanks around it are ignored. Without a port, `defaultPort` is used. When
// what follows the colon is not a port (1 to 65535, digits only), the whole
// text stays the host, so a mistyped box fails at the connection with the
// socket's own message rather than reaching some other port. A bare IPv6
// address (more than one colon, no brackets) is a host without port.
HostPort splitHostPort(const QString& box, quint16 defaultPort);

// 465 and 995 speak TLS from the first byte; 587 (submission) never goes
// on in clear; on any other port TLS is used when the server offers it.
TlsMode smtpTlsMode(quint16 port);
TlsMode pop3TlsMode(quint16 port);
// 993 speaks TLS from the first byte; elsewhere STARTTLS when offered.
TlsMode imapTlsMode(quint16 port);
