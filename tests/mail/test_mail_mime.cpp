// Mail written by Python's email package (tests/data/mime), decoded as the
// check screen shows it.
#include "MailTest.h"

#include "mail/Conversations.h"
#include "mail/MimeMessage.h"
#include "support/Files.h"
#include "support/Golden.h"

#include <QCryptographicHash>
#include <QRegularExpression>
#include <QTest>

class TestMime : public QObject {
    Q_OBJECT

private slots:
    // Sender, subject, date and text, then each attachment's name, size and SHA-1.
    void decoded_data() { Golden::addRows("mime", {"*.eml"}); }
    void decoded()
    {
        QFETCH(QString, input);
        const QByteArray raw = readFile(input);
        const MimeMessage m = decodeMime(raw);
        QString made;
        for (const auto& [field, value] :
             {std::pair("From", m.from), {"Subject", m.subject}, {"Date", m.date}, {"Text", m.text}, {"Html", m.html}})
            made += QLatin1String(field) + u'=' + Golden::escaped(value) + u'\n';
        for (const MimeAttachment& a : m.attachments)
            made += "Attachment=" + Golden::escaped(a.name) + ", " + QString::number(a.data.size()) + " bytes, SHA-1 "
                    + QCryptographicHash::hash(a.data, QCryptographicHash::Sha1).toHex() + u'\n';
        Golden::compare(input, made);
        // The list's columns from the header alone, with either line end.
        for (const QByteArray& form :
             {QByteArray(raw).replace("\r\n", "\n"), QByteArray(raw).replace("\r\n", "\n").replace("\n", "\r\n")}) {
            const MimeMessage head = decodeMimeHeader(form);
            QCOMPARE(QStringList({head.from, head.subject, head.date, head.text, head.messageId, head.inReplyTo}),
                     QStringList({m.from, m.subject, m.date, QString(), m.messageId, m.inReplyTo}));
            QCOMPARE(head.references, m.references);
        }
    }

    // A table of messages (key | date | Message-ID | In-Reply-To | References | subject), or an
    // mbox whose headers are read as the store reads them, into conversations: newest first, each
    // message indented by its depth.
    void threads_data() { Golden::addRows("threads", {"*.txt", "*.mbox"}); }
    void threads()
    {
        QFETCH(QString, input);
        QStringList keys;
        QList<ThreadedMessage> messages;
        QString made;
        const QByteArray raw = readFile(input);
        if (input.endsWith(".mbox")) {
            // Latin-1 keeps every byte as it is.
            const QRegularExpression from(QStringLiteral("^From "), QRegularExpression::MultilineOption);
            for (const QString& one : QString::fromLatin1(raw).split(from, Qt::SkipEmptyParts)) {
                const MimeMessage h = decodeMimeHeader(one.mid(one.indexOf('\n') + 1).toLatin1());
                keys << QStringLiteral("m%1").arg(keys.size() + 1);
                messages.append({h.messageId, h.inReplyTo, h.references, h.subject, h.date});
                made += keys.last() + " id=" + h.messageId + " irt=" + h.inReplyTo + " refs=" + h.references.join(' ')
                        + '\n';
            }
        } else {
            for (const QString& line : QString::fromUtf8(raw).split('\n', Qt::SkipEmptyParts)) {
                const QStringList f = line.split('|');
                if (line.startsWith('#') || f.size() < 6)
                    continue;
                keys << f[0].trimmed();
                messages.append(
                    {f[2].trimmed(), f[3].trimmed(), f[4].split(' ', Qt::SkipEmptyParts), f[5].trimmed(), f[1]});
            }
        }
        for (const Conversation& c : conversations(messages)) {
            made += "newest " + keys[c.newest] + '\n';
            for (const ConversationEntry& e : c.entries)
                made += QString(2 * e.depth + 2, ' ') + keys[e.message] + ' ' + messages[e.message].subject + '\n';
        }
        Golden::compare(input, made);
    }

    void fileNames()
    {
        const QString u = QStringLiteral("\u00fc");  // two bytes of UTF-8
        const QList<QStringList> cases = {
            {"../../evil.sh", "evil.sh"},
            {"C:\\x\\a b.txt", "a b.txt"},
            {"..", "attachment-3"},
            {"dir/", "attachment-3"},
            {" \t", "attachment-3"},
            {"a\nb:c\x7f", "abc"},
            {"invoice\u202Egpj.exe", "invoicegpj.exe"},
            {"\u2066a\u200Bb\u2069\uFEFF\u00AD.txt\u0085", "ab.txt"},
            {"\u202E\u200B", "attachment-3"},
            {". .x/..\u202E.profile", "profile"},
            {"a. b", "a. b"},
            // 200 bytes at most, cut between characters, the extension kept when short.
            {u.repeated(150) + ".pdf", u.repeated(98) + ".pdf"},
            {"x" + u.repeated(150) + ".pdf", "x" + u.repeated(97) + ".pdf"},
            {"x" + u.repeated(98) + ".pdf", "x" + u.repeated(97) + ".pdf"},
            {"a." + QString(300, u'b'), "a." + QString(198, u'b')},
            {QString(190, u'a') + "." + QString(19, u'e'), QString(180, u'a') + "." + QString(19, u'e')},
            {QString(190, u'a') + "." + QString(20, u'e'), QString(190, u'a') + "." + QString(9, u'e')},
            {QString(200, u'y'), QString(200, u'y')},
        };
        for (const QStringList& c : cases)
            QCOMPARE(attachmentFileName(c[0], 3), c[1]);
    }
};

QTEST_MAIN(TestMime)
#include "test_mail_mime.moc"
