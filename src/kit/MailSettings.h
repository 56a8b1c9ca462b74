#pragma once

#include <QString>

#include <functional>
#include <optional>

class Connection;
class Recordset;
class StoreError;

// The e-mail settings: one row of tblEmail. The settings screens may have
// left more than one row behind; the last one is what every screen uses.
//
// The mailbox password lives in the desktop's keyring when one answers, and
// the row's Password column then holds nothing; without a keyring the column
// holds it, as it always did. A password found in its column while a keyring
// answers moves there.
struct MailSettings {
    qint64 key = 0;     // EmailInfo
    QString smtp;       // outgoing server
    QString yourEmail;  // the sender's address
    QString remote;     // POP3 server
    QString userName;   // mailbox user name, also the SMTP login
    QString password;   // mailbox password, also the SMTP login's
};

// The last row of tblEmail, or nothing when there is none. Each store
// failure goes to `report` (the screen's reportStoreError); one in the read
// also gives nothing.
std::optional<MailSettings> readMailSettings(Connection& con, const std::function<void(const StoreError&)>& report);

// Saves the row `rs` stands on (Update) with `password` as its mailbox
// password, which goes to the keyring when one takes it. True when it did.
// Throws StoreError as Update does.
bool saveMailRow(Connection& con, Recordset& rs, const QString& password);

// The keyring entry of a secret of the database `con` has open, e.g. "mail 3"
// for the password of row 3 of tblEmail: two data folders never share one.
QString secretKey(const Connection& con, const QString& name);
