#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

// The protocol machines own neither a socket nor a window: they take the
// server's bytes and answer with what the owning screen must do, in order.
// That keeps every conversation testable byte for byte without a network.

enum class MailIcon { None, Information, Exclamation, Critical };

// One message box, ready to show: the screens add nothing to it.
struct MailNotice {
    QString text;
    QString title;
    MailIcon icon = MailIcon::None;

    friend bool operator==(const MailNotice&, const MailNotice&) = default;
};

struct MailAction {
    enum class Kind {
        Send,      // write `bytes` to the socket; `tracked`: show how much is written
        StartTls,  // begin TLS on the open connection; the machine waits for tlsReady()
        Close,     // close the socket
        Notify,    // show `notice`
        List,      // add a list row for each collection key in `keys`, in order
        Progress,  // now fetching message `current` of `total`
        Finished,  // the session is over; `ok` is false when it ended in an error
    };

    Kind kind = Kind::Send;
    QByteArray bytes;
    bool tracked = false;
    MailNotice notice;
    QStringList keys;
    int current = 0;
    int total = 0;
    bool ok = false;

    static MailAction send(const QByteArray& bytes, bool tracked = false);
    static MailAction startTls();
    static MailAction progress(int current, int total);
    static MailAction close();
    static MailAction notify(const MailNotice& notice);
    static MailAction list(const QStringList& keys);
    static MailAction finished(bool ok);
};

using MailActions = std::vector<MailAction>;

// Whether and how a connection is secured.
enum class TlsMode {
    Offered,   // upgrade (STARTTLS, STLS) when the server offers it, else go on in clear
    Required,  // upgrade, or send nothing at all
    Implicit,  // TLS from the first byte
};
