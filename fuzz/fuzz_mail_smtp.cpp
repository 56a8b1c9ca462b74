// Arbitrary server bytes against one SMTP session.
#include "FuzzPieces.h"

#include "mail/MailTexts.h"
#include "mail/SmtpSession.h"

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
            case MailAction::Kind::Send:
                // Every line on the wire ends in CR LF, and nothing follows the last one.
                if (!a.bytes.endsWith("\r\n"))
                    std::abort();
                for (qsizetype i = 0; i < a.bytes.size(); ++i) {
                    if (a.bytes[i] == '\n' && (i == 0 || a.bytes[i - 1] != '\r'))
                        std::abort();
                    if (a.bytes[i] == '\r' && (i + 1 == a.bytes.size() || a.bytes[i + 1] != '\n'))
                        std::abort();
                }
                quitSent = quitSent || a.bytes == "QUIT\r\n";
                break;
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
    message.attachments = "begin 664 f.txt\n#86)C\n`\nend\n\r\n";
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
