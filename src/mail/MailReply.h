#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QByteArrayView>

#include <optional>

// One SMTP reply: its code, the text of each line without code and
// separator, and the bytes as they came (what a message box shows).
struct SmtpReply {
    int code = 0;  // 0 when the final line carries no three-digit code
    QByteArrayList lines;
    QByteArray raw;

    int kind() const { return code / 100; }  // 2 done, 3 go on, 4 and 5 refused
    // What the first steps of a conversation take as "go on".
    bool isGoOn() const { return code == 220 || code == 250 || code == 354; }
};

// One line of a reply: "250-..." is not final, "250 ..." and anything that
// does not continue is.
struct SmtpReplyLine {
    int code = 0;
    bool final = true;
    QByteArrayView text;
};
SmtpReplyLine parseSmtpReplyLine(QByteArrayView line);

// Collects arriving bytes into replies: a reply is taken when its final
// line is whole, however TCP cut it.
class SmtpReplyReader {
public:
    void add(const QByteArray& bytes) { m_in += bytes; }
    std::optional<SmtpReply> take();
    QByteArray takeRest();
    qsizetype pending() const { return m_in.size(); }

private:
    QByteArray m_in;
    qsizetype m_scan = 0;  // lines before this offset belong to the reply being read
    SmtpReply m_reply;
};

// A POP3 status line: "+OK ..." or anything else (a refusal).
struct Pop3Status {
    bool ok = false;
    QByteArrayView text;  // after "+OK " / "-ERR ", line end removed
};
Pop3Status parsePop3Status(QByteArrayView line);
