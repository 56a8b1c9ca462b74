#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// Messages grouped into conversations, as mail programs thread them: a
// message goes under the one its References (else its In-Reply-To) name
// last, the ids named before it are linked in their order, and an id that
// names no message held leaves an empty place whose answers stand in its
// stead. A message with no such ids whose subject says it answers ("Re:",
// "Fwd:", "AW:" ...) joins the conversation begun by that subject. Sent
// messages take part like the others, so the user's own answers stand
// under what they answer. Bad headers never hang or fail this: a loop of
// references is cut where it would close, a Message-ID held twice or none
// at all makes the message one of its own.
struct ThreadedMessage {
    QString messageId;       // without the angle brackets
    QString inReplyTo;       // the id answered
    QStringList references;  // oldest first
    QString subject;
    QString date;  // as the header writes it (RFC 2822); one that does not read is older than any
};

struct ConversationEntry {
    int message = 0;  // its place in the messages given
    int depth = 0;    // 0 at the top of its conversation
};

struct Conversation {
    // Each message followed by its answers, answers in date order.
    QList<ConversationEntry> entries;
    int newest = 0;  // the place of its newest message
};

// Newest conversation first (by its newest message); equal dates keep the
// order given.
QList<Conversation> conversations(const QList<ThreadedMessage>& messages);

// The subject without what answers and forwards put before it ("Re: Fwd[2]: Hi" is "Hi").
QString baseSubject(const QString& subject);
