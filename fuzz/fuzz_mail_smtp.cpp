// Arbitrary server bytes against one SMTP session.
#include "FuzzPieces.h"

#include "mail/MailTexts.h"
#include "mail/SmtpSession.h"

#include <QDir>
#include <QFile>

#include <cstdlib>

namespace {

struct Tally {
    int finished = 0;
    bool quitSent = false;
    bool sentOk = false;

    void check(const MailActions& actions)
    {
        for (const MailAction& a : actions) {
            if (finished)
                std::abort();  // nothing may follow the end of a session
            switch (a.kind) {
            case MailAction::Kind::Send: {
                QByteArray bytes = a.bytes;
                for (QByteArray slice; a.data && !(slice = a.data->next()).isEmpty();)
                    bytes += slice;
                // Every line on the wire ends in CR LF, and nothing follows the last one.
                if (!bytes.endsWith("\r\n"))
                    std::abort();
                for (qsizetype i = 0; i < bytes.size(); ++i) {
                    if (bytes[i] == '\n' && (i == 0 || bytes[i - 1] != '\r'))
                        std::abort();
                    if (bytes[i] == '\r' && (i + 1 == bytes.size() || bytes[i + 1] != '\n'))
                        std::abort();
                }
                quitSent = quitSent || bytes == "QUIT\r\n";
                break;
            }
            case MailAction::Kind::Notify:
                if (a.notice.text == MailTexts::kMessageSent && !quitSent)
                    std::abort();  // success only after the message was accepted
                break;
            case MailAction::Kind::Finished:
                ++finished;
                sentOk = a.ok;
                break;
            default:
                break;
            }
        }
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    SmtpMessage message;
    message.sender = QStringLiteral("anna@example.org");
    message.recipients = QStringLiteral("bob@example.net; carl@example.com");
    message.subject = QStringLiteral("Hi");
    message.text = QStringLiteral(".Line1\r\nLine2");
    // An attachment of 14 bytes: its one data line begins with ".".
    static const QString attachment = [] {
        const QString path = QDir::temp().filePath(QStringLiteral("fuzz_mail_smtp-f.txt"));
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write("ABCDEFGHIJKLMN") != 14)
            std::abort();
        return path;
    }();
    message.attachments = {attachment};
    message.date = QDateTime(QDate(2002, 3, 5), QTime(14, 3, 9), Qt::UTC);
    message.localHostName = QStringLiteral("desk");
    message.messageId = QStringLiteral("<id@example.org>");

    SmtpSession session;
    session.start(message);
    Tally tally;
    for (const QByteArray& piece : fuzzPieces(data, size))
        tally.check(session.feed(piece));
    tally.check(session.closed());
    if (tally.finished != 1 || session.isActive())
        std::abort();
    if (tally.sentOk && !tally.quitSent)
        std::abort();
    return 0;
}
