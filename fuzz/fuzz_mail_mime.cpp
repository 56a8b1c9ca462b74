// Arbitrary bytes as a fetched message, decoded as the check screen reads it.
#include "mail/MimeMessage.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const MimeMessage m = decodeMime(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    int number = 0;
    for (const MimeAttachment& a : m.attachments) {
        // Whatever a message calls its file, it never names a folder.
        const QString name = attachmentFileName(a.name, ++number);
        if (name.isEmpty() || name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\'))
            || name == QLatin1String("..") || name == QLatin1String("."))
            std::abort();
        // Decoding only ever shrinks what the message holds.
        if (a.data.size() > qsizetype(size))
            std::abort();
    }
    return 0;
}
