// libFuzzer target for what an OAuth2 sign-in reads from outside: the
// browser's request to the loopback redirect and the token endpoint's JSON.
// The first byte chooses which; never crash, a token answer that counts has
// a token and a sane lifetime, and a readable redirect carries a code or an error.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "kit/OAuthReply.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const QByteArray input = QByteArray::fromRawData(reinterpret_cast<const char*>(data) + 1, qsizetype(size - 1));
    if (data[0] & 1) {
        const OAuthRedirect r = readRedirect(input);
        if (r.readable && r.code.isEmpty() && r.error.isEmpty()) {
            std::fprintf(stderr, "fuzz_oauth: a readable redirect with neither code nor error\n");
            std::abort();
        }
        return 0;
    }
    const OAuthTokenAnswer a = readTokenAnswer(input, data[0] & 2 ? 200 : 400);
    if (a.ok() && (a.accessToken.isEmpty() || (a.expiresIn && (*a.expiresIn <= 0 || *a.expiresIn > 366 * 86400)))) {
        std::fprintf(stderr, "fuzz_oauth: a token answer taken without a token or with a lifetime out of range\n");
        std::abort();
    }
    return 0;
}
