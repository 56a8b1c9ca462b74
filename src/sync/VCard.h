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
    qsizetype begin, end;  // folds and line end included
};
// Line ends are CR LF, LF or a bare CR; folded lines are joined on bytes (a
// writer may split a UTF-8 sequence across a fold), and so are 2.1's
// quoted-printable lines that end in "=".
QList<Line> unfold(const QByteArray& bytes);
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
