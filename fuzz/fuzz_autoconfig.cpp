// libFuzzer target for the reading of a domain's autoconfig document, which
// comes from a web server nobody vouches for: never crash, and whatever it
// gives is a host name the boxes can take, with a port.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "kit/MailAutoconfig.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray input = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    const std::optional<FoundSettings> found = readAutoconfig(input, QStringLiteral("anna@example.com"));
    if (!found)
        return 0;
    for (const FoundServer& server : {found->in, found->out}) {
        if (!server.host.isEmpty() && (!isHostName(server.host) || server.port == 0)) {
            std::fprintf(stderr, "fuzz_autoconfig: server %s:%d\n", qPrintable(server.host), int(server.port));
            std::abort();
        }
    }
    (void)describeFound(*found);
    return 0;
}
