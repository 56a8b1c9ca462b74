// Arbitrary server bytes against two POP3 checks sharing one collection.
#include "FuzzPieces.h"

#include "mail/Pop3Session.h"

#include <QHostAddress>

#include <QSet>

#include <cstdlib>
#include <utility>

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

    // The same server through a keeper, as a check keeps mail, with a limit
    // small enough to be met: each message begun, written in pieces, then
    // ended or dropped, never written outside one; what is listed was ended.
    struct Keeper : Pop3Keeper {
        bool open = false;
        QSet<QString> ended;
        void begin() override
        {
            if (std::exchange(open, true))
                std::abort();
        }
        void write(const QByteArray& piece) override
        {
            if (!open || piece.isEmpty())
                std::abort();
        }
        bool end(const QString& key) override
        {
            if (!std::exchange(open, false))
                std::abort();
            const bool fresh = !ended.contains(key);
            ended.insert(key);
            return fresh;
        }
        void drop() override
        {
            if (!std::exchange(open, false))
                std::abort();
        }
    } keeper;
    CMessages unused;
    Pop3Session kept(unused);
    kept.keepIn(&keeper, {});
    kept.setMessageLimit(1024);
    kept.start(QStringLiteral("anna"), QStringLiteral("secret"));
    kept.connected(QHostAddress::LocalHost, true);
    const auto check = [&](const MailActions& actions) {
        for (const MailAction& a : actions) {
            for (const QString& key : a.kind == MailAction::Kind::List ? a.keys : QStringList()) {
                if (!keeper.ended.contains(key))
                    std::abort();
            }
        }
    };
    for (const QByteArray& piece : pieces)
        check(kept.feed(piece));
    check(kept.closed());
    if (keeper.open || unused.Count() != 0)
        std::abort();
    return 0;
}
