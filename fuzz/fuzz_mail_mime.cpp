// Arbitrary bytes as a fetched message, decoded as the check screen reads it
// and as its list shows it.
#include "mail/MimeMessage.h"

#include <algorithm>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const MimeMessage m = decodeMime(bytes);
    // The list's columns, read from the header alone.
    const MimeMessage listed = decodeMimeHeader(bytes);
    if (!listed.text.isEmpty() || !listed.attachments.isEmpty())
        std::abort();
    for (const MimeAttachment& a : m.attachments) {
        // Whatever a message calls its file, it is a plain, visible name of a file in the folder chosen.
        const QString& name = a.name;
        if (name.isEmpty() || name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\'))
            || name.startsWith(QLatin1Char('.')) || name.toUtf8().size() > 200
            || std::any_of(name.begin(), name.end(), [](QChar c) {
                   return c.category() == QChar::Other_Format || c.category() == QChar::Other_Control;
               }))
            std::abort();
        // Decoding only ever shrinks what the message holds.
        if (a.data.size() > qsizetype(size))
            std::abort();
    }
    return 0;
}
