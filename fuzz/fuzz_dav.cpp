// libFuzzer target for the reading of a WebDAV multistatus reply, the one
// piece of a sync that takes a server's bytes as they come: never crash,
// never read out of bounds, and every href is a path below the server or a
// whole URL of another origin, which no path of ours can be taken for.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "sync/Dav.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray input = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    const QUrl base(QStringLiteral("http://127.0.0.1:8000/user/calendar/"));
    Multistatus reply;
    try {
        reply = parseMultistatus(input, base);
    } catch (const SyncError&) {
        return 0;  // unreadable XML: one sentence for the user
    }
    for (const DavResponse& response : reply.responses) {
        if (!response.href.isEmpty() && !response.href.startsWith(QLatin1Char('/'))
            && sameOrigin(QUrl(response.href), base)) {
            std::fprintf(stderr, "fuzz_dav: href %s is no path, yet of the server's origin\n",
                         qPrintable(response.href));
            std::abort();
        }
    }
    return 0;
}
