#pragma once

#include <QString>

constexpr quint16 kSmtpPort = 25;
constexpr quint16 kPop3Port = 110;

struct HostPort {
    QString host;
    quint16 port = 0;

    friend bool operator==(const HostPort &, const HostPort &) = default;
};

// Reads a host box: "host", "host:port", "[v6address]" or "[v6address]:port";
// blanks around it are ignored. Without a port, `defaultPort` is used. When
// what follows the colon is not a port (1 to 65535, digits only), the whole
// text stays the host, so a mistyped box fails at the connection with the
// socket's own message rather than reaching some other port. A bare IPv6
// address (more than one colon, no brackets) is a host without port.
HostPort splitHostPort(const QString &box, quint16 defaultPort);
