#pragma once

#include <QList>
#include <QSslCertificate>
#include <QSslConfiguration>

#include <chrono>
#include <optional>

// How long a connection to a server may take and whom it trusts: given to
// each mail connection and sync client when it is made, so none of them
// keeps a setting of its own.
struct ConnectionSettings {
    std::chrono::milliseconds connectLimit = std::chrono::seconds(30);  // for the connection to open
    std::chrono::milliseconds answerLimit = std::chrono::seconds(60);   // for an awaited answer
    QList<QSslCertificate> extraCaCertificates;                         // trusted besides the system's

    // The system's trust with the extra authorities added; nothing when there
    // are none, so the system's authorities are still looked up as needed
    // (a configuration given its own list stops that).
    std::optional<QSslConfiguration> sslConfiguration() const;
};

// What the screens give the connections they make. Tests shorten the limits
// or add their own authority here; the value stays until changed.
const ConnectionSettings& connectionSettings();
void setConnectionSettings(const ConnectionSettings& settings);
