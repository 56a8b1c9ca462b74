// libFuzzer target for the vCard reader and the contact mapping. Besides
// "never crash": whatever contact an input gives, the card we write for it
// reads back as one card, and writing that again gives the same bytes.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "sync/ContactMap.h"
#include "sync/VCard.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray input = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    for (const VCard::Card& card : VCard::read(input).cards) {
        const QByteArray first = ContactMap::toCard(ContactMap::fromCard(card).contact, QStringLiteral("u"));
        const VCard::ReadResult again = VCard::read(first);
        if (again.cards.size() != 1 || again.malformed != 0) {
            std::fprintf(stderr, "fuzz_vcard: our card does not read back\n%s\n", first.constData());
            std::abort();
        }
        const QByteArray second = ContactMap::toCard(ContactMap::fromCard(again.cards[0]).contact, QStringLiteral("u"));
        if (second != first) {
            std::fprintf(stderr, "fuzz_vcard: unstable\n--- first\n%s\n--- second\n%s\n", first.constData(),
                         second.constData());
            std::abort();
        }
    }
    return 0;
}
