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

    friend bool operator==(const MailNotice &, const MailNotice &) = default;
};

struct MailAction {
    enum class Kind {
        Send,      // write `bytes` to the socket
        Close,     // close the socket
        Notify,    // show `notice`
        List,      // add a list row for each collection key in `keys`, in order
        Finished,  // the session is over; `ok` is false when it ended in an error
    };

    Kind kind = Kind::Send;
    QByteArray bytes;
    MailNotice notice;
    QStringList keys;
    bool ok = false;

    static MailAction send(const QByteArray &bytes);
    static MailAction close();
    static MailAction notify(const MailNotice &notice);
    static MailAction list(const QStringList &keys);
    static MailAction finished(bool ok);
};

using MailActions = std::vector<MailAction>;
