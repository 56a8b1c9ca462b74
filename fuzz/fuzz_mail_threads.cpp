// Arbitrary bytes as the headers of kept messages (one after each NUL byte),
// read as the store reads them and threaded into conversations: every
// message stands in exactly one, once, below a message or at the top.
#include "mail/Conversations.h"
#include "mail/MimeMessage.h"

#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    QList<ThreadedMessage> messages;
    for (const QByteArray& header : bytes.split('\0').mid(0, 300)) {
        const MimeMessage h = decodeMimeHeader(header);
        messages.append({h.messageId, h.inReplyTo, h.references, h.subject, h.date});
    }
    std::vector<int> seen(size_t(messages.size()));
    for (const Conversation& c : conversations(messages)) {
        int depth = -1;
        bool newestIn = false;
        for (const ConversationEntry& e : c.entries) {
            if (e.message < 0 || e.message >= messages.size() || e.depth < 0 || e.depth > depth + 1)
                std::abort();
            depth = e.depth;
            newestIn = newestIn || e.message == c.newest;
            ++seen[size_t(e.message)];
        }
        if (c.entries.isEmpty() || c.entries.first().depth != 0 || !newestIn)
            std::abort();
    }
    for (int n : seen)
        if (n != 1)
            std::abort();
    return 0;
}
