#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

// A small reader and writer of vCard files: reads versions 2.1, 3.0 and
// 4.0, writes 4.0 (RFC 6350). It knows lines, parameters, folding, escaping
// and 2.1's quoted-printable values and character sets; what the properties
// mean is the business of ContactMap.
namespace VCard {

struct Property {
    QString name;                           // upper case, group prefix removed
    QString group;                          // "item1" of item1.EMAIL, as written
    QList<QPair<QString, QString>> params;  // name upper case, value unquoted
    QString value;                          // as written on the line, still escaped (quoted-printable undone)
    QByteArray head;                        // the line up to its value's ':', as written
    qsizetype begin = 0, end = 0;           // its bytes in Card::raw, folds and line end included

    // Every value of a parameter, commas split, lower case: TYPE=HOME,VOICE
    // and TYPE=home;TYPE=voice both give {"home", "voice"}. A bare parameter
    // of version 2.1 style (";HOME") counts as a TYPE.
    QStringList types() const;
    QString param(const QString& name) const;
};

struct Card {
    QList<Property> props;  // all but VERSION
    QString version;
    QByteArray raw;         // the card's bytes as read, BEGIN to END with their line ends
    qsizetype endLine = 0;  // where its END line starts in raw
    // The first property of that name, or nullptr.
    const Property* find(const QString& name) const;
};

struct ReadResult {
    QList<Card> cards;
    int malformed = 0;  // cards (or stray lines) skipped because they cannot be read
};

ReadResult read(const QByteArray& bytes);

// The content lines that vCard and iCalendar share. A logical line: the
// physical lines of one property joined, and where its bytes lie.
struct Line {
    QByteArray text;
    qsizetype begin = 0, end = 0;  // folds and line end included, counted from the input's start
};
// Line ends are CR LF, LF or a bare CR; folded lines are joined on bytes (a
// writer may split a UTF-8 sequence across a fold), and so are 2.1's
// quoted-printable lines that end in "=".
QList<Line> unfold(const QByteArray& bytes);

// The same as the input comes, a piece at a time: it holds the bytes not
// yet read and those from hold() on, so memory follows the longest line
// (or held part), not the input.
class Unfolder {
public:
    void append(QByteArrayView bytes);
    // The same, sharing `bytes` when nothing is held: a whole input given at
    // once is read where it lies, not copied page by page.
    void append(const QByteArray& bytes);
    // The next logical line, or false when the input given so far holds no
    // more whole one. `atEnd`: no more input follows, so the last line is whole.
    bool next(Line& line, bool atEnd);
    // The input's bytes from `begin` to `end`, which must be held.
    QByteArrayView bytes(qsizetype begin, qsizetype end) const;
    // Keeps the input from `offset` on (-1: nothing beyond what is unread)
    // when the next append() makes room.
    void hold(qsizetype offset) { m_hold = offset; }

private:
    void dropRead();
    QByteArray m_buffer;
    qsizetype m_base = 0;  // where m_buffer starts in the input
    qsizetype m_pos = 0;   // the next physical line, in m_buffer
    qsizetype m_scan = 0;  // how far its end was looked for, in m_buffer
    qsizetype m_hold = -1;
    Line m_line;  // the logical line being joined
    bool m_started = false, m_headDone = false, m_quotedPrintable = false, m_softBreak = false;
};

// Cards as the input comes, a piece at a time, each handed out once its END
// line is read: only the card being read is held. read() is this over
// the whole input at once.
class Reader {
public:
    void append(QByteArrayView bytes) { m_lines.append(bytes); }
    void append(const QByteArray& bytes) { m_lines.append(bytes); }
    // The next card, or false when the input so far holds no more. `atEnd`:
    // no more input follows; then false means there are no more cards.
    bool next(Card& card, bool atEnd);
    int malformed() const { return m_malformed; }

private:
    Unfolder m_lines;
    Line m_line;
    Card m_card;
    qsizetype m_cardBegin = 0;
    int m_malformed = 0;
    bool m_inCard = false, m_bad = false, m_strayRun = false;
};
// Name, group, parameters and the value (decoded from quoted-printable and
// from its CHARSET) of one logical line. False when it has no ':' outside
// quotes, a name that is not a name, or text that is not text in its
// character set.
bool parseLine(const QByteArray& line, Property& prop);

// Text values: backslash, newline, comma and semicolon escaped as RFC 6350
// says; appendEscaped() adds `text` (UTF-8) so escaped to a content line.
void appendEscaped(QByteArray& line, QByteArrayView text);
QString unescapeText(const QString& text);
// A structured value (N, ADR) split at its unescaped semicolons, each part unescaped.
QStringList components(const QString& value);

// Appends one content line (UTF-8) to `out`, folded so that no line exceeds
// 75 octets and no UTF-8 sequence is split, each line ending in CR LF.
void appendFolded(QByteArray& out, QByteArrayView line);

}  // namespace VCard
