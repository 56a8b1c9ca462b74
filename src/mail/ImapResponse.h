#pragma once

#include <QFile>

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <vector>

// One value of a server's response: an atom (a number or a flag included),
// a string (quoted or a literal, its bytes as sent), NIL, or a parenthesised
// list of values.
struct ImapValue {
    enum class Kind { Atom, String, Nil, List };
    Kind kind = Kind::Atom;
    QByteArray text;               // of an atom or a string
    std::vector<ImapValue> items;  // of a list

    bool isList() const { return kind == Kind::List; }
    // An atom's text upper-cased, for comparing names; empty for anything else.
    QByteArray name() const;
    // A number that fits in 32 bits (UIDs, counts, sizes); nothing otherwise.
    std::optional<quint32> number() const;
    friend bool operator==(const ImapValue&, const ImapValue&) = default;
};

// One whole response, literals included.
struct ImapResponse {
    enum class Kind { Tagged, Untagged, Continuation };
    Kind kind = Kind::Untagged;
    QByteArray tag;                   // of a tagged response
    std::optional<quint32> number;    // "* 3 EXISTS": 3
    QByteArray name;                  // upper-cased: OK NO BAD BYE PREAUTH, CAPABILITY, LIST, FETCH, EXISTS ...
    QByteArray code;                  // the response code of a status, upper-cased: "UIDVALIDITY"
    std::vector<ImapValue> codeData;  // what follows the code's name inside the brackets
    QByteArray text;                  // the human-readable text of a status, or of a continuation
    std::vector<ImapValue> data;      // the values of any other response
    // Files holding the literals too large to hold (ImapReader::spillTo), in
    // their order; each such literal reads as an empty string. Whoever
    // takes the response removes those it does not keep.
    QStringList spilled;

    bool isStatus() const;  // OK, NO, BAD, BYE or PREAUTH
};

// Takes the server's bytes as they come, cut anywhere, and hands back each
// response once it has arrived whole. A response past `limit` octets, or a
// literal announcing more, is an error at once, so memory stays bounded
// whatever the server sends; so is a response that cannot be read.
// With a folder to spill to, a literal past 256 KB (a message fetched
// whole) is not held either: its bytes go to a file there as they come.
class ImapReader {
public:
    static constexpr qsizetype kDefaultLimit = qsizetype(64) * 1024 * 1024;
    static constexpr qsizetype kHeldLiteral = qsizetype(256) * 1024;
    explicit ImapReader(qsizetype limit = kDefaultLimit)
        : m_limit(limit)
    {
    }
    ~ImapReader();
    ImapReader(ImapReader&&) = default;
    ImapReader& operator=(ImapReader&&) = default;
    void setLimit(qsizetype limit) { m_limit = limit; }
    // Spilled files are named `<folder>/<prefix>XXXXXX`; an empty folder holds every literal.
    void spillTo(const QString& folder, const QString& prefix)
    {
        m_spillFolder = folder;
        m_spillPrefix = prefix;
    }

    // The responses completed by `bytes`, in order. After an error nothing
    // more is read and error() says why.
    std::vector<ImapResponse> feed(QByteArrayView bytes);
    const QByteArray& error() const { return m_error; }
    // Bytes of a response begun but not finished.
    bool midResponse() const { return !m_buffer.isEmpty(); }
    void reset();

    // Reads one complete response (without its final CRLF it still reads);
    // nothing when it is malformed, with `why` saying where.
    static std::optional<ImapResponse> parse(QByteArrayView raw, QByteArray* why = nullptr);

private:
    qsizetype m_limit;
    QByteArray m_buffer;      // the response so far
    qsizetype m_scanned = 0;  // where to look for the next line end
    qsizetype m_literal = 0;  // literal octets still to come
    QByteArray m_error;
    QString m_spillFolder, m_spillPrefix;
    std::unique_ptr<QFile> m_spill;  // where the literal coming goes, when it is not held
    QStringList m_spilled;           // of the response so far
    void spillBegin();
};

// A string as an IMAP command argument: an atom-safe quoted string, or
// nothing when it holds what no quoted string may (CR, LF, NUL, 8-bit).
std::optional<QByteArray> imapQuoted(QByteArrayView text);

// Folder names travel in modified UTF-7: "Entw&APw-rfe" is "Entwürfe", "&-"
// is "&". What is not that encoding (an unclosed or malformed run, 8-bit
// bytes) is kept as it came, 8-bit bytes read as UTF-8.
QString imapFolderName(QByteArrayView wire);
QByteArray imapFolderWire(const QString& name);
