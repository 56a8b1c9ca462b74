#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

// A small reader and writer of vCard files: reads versions 3.0 and 4.0,
// writes 4.0 (RFC 6350). It knows lines, parameters, folding and escaping;
// what the properties mean is the business of ContactMap.
namespace VCard {

struct Property {
    QString name;                           // upper case, group prefix removed
    QList<QPair<QString, QString>> params;  // name upper case, value unquoted
    QString value;                          // as written on the line, still escaped

    // Every value of a parameter, commas split, lower case: TYPE=HOME,VOICE
    // and TYPE=home;TYPE=voice both give {"home", "voice"}. A bare parameter
    // of version 2.1 style (";HOME") counts as a TYPE.
    QStringList types() const;
    QString param(const QString& name) const;
};

struct Card {
    QList<Property> props;
    // The first property of that name, or nullptr.
    const Property* find(const QString& name) const;
};

struct ReadResult {
    QList<Card> cards;
    int malformed = 0;  // cards (or stray lines) skipped because they cannot be read
};

ReadResult read(const QByteArray& bytes);

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
