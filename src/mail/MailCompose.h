#pragma once

#include "mail/MimeMessage.h"

#include <QList>
#include <QString>
#include <QStringList>

// What the send screen opens with when the user answers or passes on a
// message. Every header value is one line: nothing a message says can add a
// header of its own to the answer.
struct MailDraft {
    QString to;  // addresses separated by "; ", as the recipient box takes them
    QString subject;
    QString text;                       // lines end in LF
    QString inReplyTo;                  // "<id>", empty when the original has none
    QString references;                 // "<id> <id> ...", oldest first
    QList<MimeAttachment> attachments;  // a forward's files, named as decodeMime names them
};

enum class ComposeKind { Reply, ReplyAll, Forward };

// Reply goes to the Reply-To addresses, else to the sender; Reply All adds
// the To and Cc addresses, less the user's own and those named twice;
// Forward names no one. The answer quotes the text ("> " before each line)
// under a line saying who wrote it when; a forward holds the original's
// header fields and text as they are, and its files.
MailDraft composeDraft(ComposeKind kind, const MimeMessage& original, const QString& ownAddress);

// The address alone of "Name <address>" (or of a bare address).
QString bareAddress(const QString& text);
