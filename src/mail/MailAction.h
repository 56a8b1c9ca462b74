#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
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

// Bytes to send that are made as they go out, a slice at a time as the
// connection takes them, so that a long message is never held whole.
class MailData {
public:
    virtual ~MailData() = default;
    virtual qint64 size() const = 0;  // of all the slices
    // The next slice; empty at the end, and when it cannot go on.
    virtual QByteArray next() = 0;
    // Why it could not go on; none while it can, and at a proper end.
    virtual std::optional<MailNotice> failure() const = 0;
};

struct MailAction {
    enum class Kind {
        Send,      // write `bytes`, or all of `data`, to the socket; `tracked`: show how much is written
        StartTls,  // begin TLS on the open connection; the machine waits for tlsReady()
        Close,     // close the socket
        Notify,    // show `notice`
        List,      // add a list row for each collection key in `keys`, in order
        Progress,  // now fetching message `current` of `total`
        Finished,  // the session is over; `ok` is false when it ended in an error
        Changed,   // the server says what was synced has changed since (new, gone or flagged messages)
    };

    Kind kind = Kind::Send;
    QByteArray bytes;
    std::shared_ptr<MailData> data;
    bool tracked = false;
    MailNotice notice;
    QStringList keys;
    int current = 0;
    int total = 0;
    bool ok = false;

    static MailAction send(const QByteArray& bytes, bool tracked = false);
    static MailAction send(std::shared_ptr<MailData> data);  // tracked
    static MailAction startTls();
    static MailAction progress(int current, int total);
    static MailAction close();
    static MailAction notify(const MailNotice& notice);
    static MailAction list(const QStringList& keys);
    static MailAction finished(bool ok);
    static MailAction changed();
};

using MailActions = std::vector<MailAction>;

// Whether and how a connection is secured.
enum class TlsMode {
    Offered,   // upgrade (STARTTLS, STLS) when the server offers it, else go on in clear
    Required,  // upgrade, or send nothing at all
    Implicit,  // TLS from the first byte
};
