// Arbitrary server bytes against two POP3 checks sharing one collection.
#include "FuzzPieces.h"

#include "mail/Pop3Session.h"

#include <QHostAddress>

#include <QSet>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CMessages messages;
    Pop3Session session(messages);
    QSet<QString> listed;
    const QByteArrayList pieces = fuzzPieces(data, size);

    // The same server answers twice: the second check must not list again
    // what the first one listed.
    for (int check = 0; check < 2; ++check) {
        session.start(QStringLiteral("anna"), QStringLiteral("secret"));
        session.connected(QHostAddress::LocalHost, true);  // the login goes in clear only to this computer
        int finished = 0;
        const auto take = [&](const MailActions& actions) {
            for (const MailAction& a : actions) {
                if (finished)
                    std::abort();
                if (a.kind == MailAction::Kind::Send && !a.bytes.endsWith("\r\n"))
                    std::abort();
                if (a.kind == MailAction::Kind::List) {
                    for (const QString& key : a.keys) {
                        if (listed.contains(key) || !messages.Contains(key))
                            std::abort();
                        listed.insert(key);
                        (void)messages.Item(key)->MessageBody();
                    }
                }
                if (a.kind == MailAction::Kind::Finished)
                    ++finished;
            }
        };
        for (const QByteArray& piece : pieces)
            take(session.feed(piece));
        take(session.closed());
        if (finished != 1 || session.isActive())
            std::abort();
    }
    // Everything held has been listed exactly once.
    if (listed.size() != messages.Count())
        std::abort();
    return 0;
}
