// Arbitrary bytes as a fetched message text.
#include "mail/CMessage.h"
#include "mail/MailError.h"
#include "mail/MailTexts.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray raw(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString text = MailTexts::decodeWireText(raw);
    // Decoding must give back every byte.
    if (text.toUtf8() != raw && text.toLatin1() != raw)
        std::abort();

    CMessage m;
    try {
        m.CreateFromText(text);
        if (m.Headers() + QStringLiteral("\r\n\r\n") + m.MessageBody() != text)
            std::abort();
    } catch (const MailError& e) {
        if (e.number() != CMessage::kInvalidMessageFormat || text.contains(QStringLiteral("\r\n\r\n")))
            std::abort();
        m.CreateFromHeaderText(text);
        if (m.Headers() != text || !m.MessageBody().isEmpty())
            std::abort();
    }
    if (m.Size() != text.size() || m.MessageText() != text)
        std::abort();
    return 0;
}
