#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// A fetched message as the person reads it: sender and subject with their
// encoded words decoded and folded lines joined, the text of the message
// (the plain part, else the text of the HTML part, never loading anything
// it refers to), and the attached files. Everything is converted to Unicode
// here; the raw text stays untouched in the mailbox.
struct MimeAttachment {
    QString name;  // as the message gives it, decoded, made a safe file name by attachmentFileName
    QByteArray data;
};

struct MimeAddress {
    QString name;     // decoded; may be empty
    QString address;  // as the header writes it
};

struct MimeMessage {
    QString from;
    QString subject;
    QString date;
    QString text;  // lines end in LF
    QList<MimeAttachment> attachments;
    // What an answer is addressed from and threaded by: group members are
    // listed in place of their group; ids without their angle brackets.
    QList<MimeAddress> fromAddresses, replyTo, to, cc;
    QString messageId;
    QString inReplyTo;  // the first id of In-Reply-To
    QStringList references;
    // The HTML source when it is all the message says (an HTML part alone,
    // or the HTML form beside the plain one); empty otherwise. `text` stays
    // what it says as plain text.
    QString html;
    // The first text/calendar part, wherever it is (attached, inline, or a
    // form of a multipart/alternative): a meeting invitation or answer.
    QByteArray calendar;
};

// Never fails: what cannot be read is left out, a damaged part shows as far
// as it goes.
MimeMessage decodeMime(const QByteArray& raw);
// Only what the message list shows (from, subject, date) and what threads
// it (Message-ID, In-Reply-To, References), read from the header alone: the
// body is not looked at, so it costs the same for a message of any size.
MimeMessage decodeMimeHeader(const QByteArray& raw);

// What goes below the header lines of a message whose files travel as
// MIME parts: "Content-Type: multipart/mixed" with its boundary, a blank
// line, then the text as a text/plain part in UTF-8 and each file, in
// order, base64-encoded in a part of its own with its name (RFC 2231 when it
// is not ASCII) and a type guessed from the name. Lines end in CR LF.
// The files themselves are not read here: the result is the pieces around
// their contents, one more than `names`; file k's base64 lines (76
// characters and CR LF each) go between piece k and piece k + 1, so a file
// of any size is streamed and never held whole.
QByteArrayList mimeWithAttachments(const QString& text, const QStringList& names);

// What goes below the header lines of a meeting message (RFC 6047):
// "Content-Type: multipart/alternative", the text as text/plain in UTF-8,
// then the calendar as text/calendar with its METHOD as the type's
// "method" parameter. Lines end in CR LF.
QByteArray mimeWithCalendar(const QString& text, const QByteArray& calendar, const QByteArray& method);

// A name from a message made safe to show, to offer in a save dialog and to
// write: path parts, control and format characters (U+202E, U+200B ...) and
// leading dots dropped, at most 200 bytes of UTF-8 (cut between characters,
// keeping a short extension), never empty ("attachment-<number>").
QString attachmentFileName(const QString& name, int number);
