// libFuzzer target for the vCard reader and the contact mapping. Besides
// "never crash": the input read in pieces (their sizes taken from its own
// bytes, as an import reads a file) gives the very cards of it read whole;
// whatever contact an input gives, the card we write for it reads back as
// one card, and writing that again gives the same bytes.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "sync/ContactMap.h"
#include "sync/VCard.h"

namespace {
bool same(const VCard::Card& a, const VCard::Card& b)
{
    if (a.raw != b.raw || a.version != b.version || a.endLine != b.endLine || a.props.size() != b.props.size())
        return false;
    for (qsizetype i = 0; i < a.props.size(); ++i) {
        const VCard::Property &p = a.props[i], &q = b.props[i];
        if (p.name != q.name || p.group != q.group || p.params != q.params || p.value != q.value || p.head != q.head
            || p.begin != q.begin || p.end != q.end)
            return false;
    }
    return true;
}

void readInPieces(const QByteArray& input, const VCard::ReadResult& whole)
{
    VCard::Reader reader;
    VCard::Card card;
    qsizetype at = 0, n = 0;
    for (bool atEnd = false; !atEnd;) {
        const qsizetype piece = input.isEmpty() ? 0 : 1 + uchar(input[at % input.size()]) % 13;
        reader.append(QByteArrayView(input).sliced(at, std::min(piece, input.size() - at)));
        at = std::min(at + piece, input.size());
        atEnd = at == input.size();
        while (reader.next(card, atEnd))
            if (n >= whole.cards.size() || !same(card, whole.cards[n++])) {
                std::fprintf(stderr, "fuzz_vcard: card %lld differs when read in pieces\n", static_cast<long long>(n));
                std::abort();
            }
    }
    if (n != whole.cards.size() || reader.malformed() != whole.malformed) {
        std::fprintf(stderr, "fuzz_vcard: read in pieces, %lld cards and %d malformed, not %lld and %d\n",
                     static_cast<long long>(n), reader.malformed(), static_cast<long long>(whole.cards.size()),
                     whole.malformed);
        std::abort();
    }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray input = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    const VCard::ReadResult whole = VCard::read(input);
    readInPieces(input, whole);
    for (const VCard::Card& card : whole.cards) {
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
