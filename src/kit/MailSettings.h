#pragma once

#include <QString>

#include <optional>

class Connection;

// The e-mail settings: one row of tblEmail. The settings screens may have
// left more than one row behind; the last one is what every screen uses.
struct MailSettings {
    qint64 key = 0;     // EmailInfo
    QString smtp;       // outgoing server
    QString yourEmail;  // the sender's address
    QString remote;     // POP3 server
    QString userName;   // mailbox user name, also the SMTP login
    QString password;   // mailbox password, also the SMTP login's
};

// The last row of tblEmail, or nothing when there is none. A store failure
// is reported to the user (as every read is) and also gives nothing.
std::optional<MailSettings> readMailSettings(Connection& con);
