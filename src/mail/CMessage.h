#pragma once

#include <QString>

// One Internet message as fetched from the mailbox: the raw text, its header
// block and body, and sixteen well-known header fields. Nothing is decoded.
class CMessage {
public:
    // 0x80040265: the object-defined error base plus 613.
    static constexpr qint32 kInvalidMessageFormat = qint32(0x80040265u);

    // Splits at the first empty line (CR LF CR LF) and picks the known header
    // fields; a header given more than once keeps its last value. A text
    // without an empty line raises MailError kInvalidMessageFormat and
    // changes nothing.
    void CreateFromText(const QString& strMessage);

    // For a text that has no empty line: all of it is the header block and
    // the body is empty, so such a message can still be held and shown.
    void CreateFromHeaderText(const QString& strMessage);

    // Composes nothing: outgoing mail is written by the send session.
    QString CombineMessage() const { return {}; }

    QString Headers() const { return m_headers; }
    void setHeaders(const QString& v) { m_headers = v; }
    QString MessageBody() const;
    void setMessageBody(const QString& v);
    QString MessageText() const { return m_messageText; }
    QString Encrypted() const { return m_encrypted; }
    void setEncrypted(const QString& v) { m_encrypted = v; }
    QString Comments() const { return m_comments; }
    void setComments(const QString& v) { m_comments = v; }
    QString Keywords() const { return m_keywords; }
    void setKeywords(const QString& v) { m_keywords = v; }
    QString References() const { return m_references; }
    void setReferences(const QString& v) { m_references = v; }
    QString InReplyTo() const { return m_inReplyTo; }
    void setInReplyTo(const QString& v) { m_inReplyTo = v; }
    QString BCC() const { return m_bcc; }
    void setBCC(const QString& v) { m_bcc = v; }
    QString CC() const { return m_cc; }
    void setCC(const QString& v) { m_cc = v; }
    QString Sender() const { return m_sender; }
    void setSender(const QString& v) { m_sender = v; }
    QString ReplyTo() const { return m_replyTo; }
    void setReplyTo(const QString& v) { m_replyTo = v; }
    QString Subject() const { return m_subject; }
    void setSubject(const QString& v) { m_subject = v; }
    QString From() const { return m_from; }
    void setFrom(const QString& v) { m_from = v; }
    QString MessageTo() const { return m_messageTo; }
    void setMessageTo(const QString& v) { m_messageTo = v; }
    QString MessageID() const { return m_messageID; }
    void setMessageID(const QString& v) { m_messageID = v; }
    QString SendDate() const { return m_sendDate; }
    void setSendDate(const QString& v) { m_sendDate = v; }
    QString Received() const { return m_received; }
    void setReceived(const QString& v) { m_received = v; }
    QString ReturnPath() const { return m_returnPath; }
    void setReturnPath(const QString& v) { m_returnPath = v; }

    // The length of MessageText in characters, computed on each read.
    int Size() const { return int(m_messageText.size()); }

private:
    void pickHeaderFields(QStringView headers);
    QString* fieldFor(QLatin1String lowerName);

    QString m_returnPath;
    QString m_received;
    QString m_sendDate;
    QString m_messageID;
    QString m_messageTo;
    QString m_from;
    QString m_subject;
    QString m_replyTo;
    QString m_sender;
    QString m_cc;
    QString m_bcc;
    QString m_inReplyTo;
    QString m_references;
    QString m_keywords;
    QString m_comments;
    QString m_encrypted;
    QString m_messageText;
    QString m_messageBody;
    // While >= 0 the body is the tail of m_messageText from here, so a large
    // message is not held twice; m_messageBody is then unused.
    qsizetype m_bodyFrom = -1;
    QString m_headers;
};
