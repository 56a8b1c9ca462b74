#include "mail/mdlMUUEncode.h"

#include "mail/MailTexts.h"

#include <QFile>

#include <cstring>
#include <new>

#ifdef Q_OS_LINUX
#include <sys/mman.h>
#endif
#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace {

constexpr int kLineBytes = 45;

// A six-bit value 0 is written as "`" rather than a space, so no line ends
// in blanks that a mail relay might strip.
constexpr char encodeChar(unsigned v)
{
    return v == 0 ? '`' : char(32 + v);
}

// Two output characters per twelve input bits: half the lookups of a
// character-at-a-time loop, which matters for large attachments.
struct PairTable {
    char c[4096][2];
    constexpr PairTable()
        : c()
    {
        for (unsigned i = 0; i < 4096; ++i) {
            c[i][0] = encodeChar(i >> 6);
            c[i][1] = encodeChar(i & 63);
        }
    }
};
constexpr PairTable kPairs;

inline char* encodeGroup(char* out, unsigned b1, unsigned b2, unsigned b3)
{
    const unsigned bits = (b1 << 16) | (b2 << 8) | b3;
    std::memcpy(out, kPairs.c[bits >> 12], 2);
    std::memcpy(out + 2, kPairs.c[bits & 0xfff], 2);
    return out + 4;
}

// Output size of `lines` full data lines: length character, 60 characters, LF.
constexpr qsizetype kFullLineChars = 1 + 60 + 1;
constexpr char kTrailer[] = "`\nend\n";

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
// Twelve bytes to sixteen characters in one step: the bytes are spread so
// that each 32-bit lane holds one group of three, the four six-bit values of
// each group are moved into bytes by two multiplies, and the values become
// characters ("`" for 0) without a table. A line is three such steps and
// three groups more.
__attribute__((target("ssse3"))) char* encodeFullLinesSsse3(char* w, const unsigned char* in, qsizetype lines)
{
    const __m128i spread = _mm_set_epi8(10, 11, 9, 10, 7, 8, 6, 7, 4, 5, 3, 4, 1, 2, 0, 1);
    const __m128i highBits = _mm_set1_epi32(0x0fc0fc00);
    const __m128i highShift = _mm_set1_epi32(0x04000040);
    const __m128i lowBits = _mm_set1_epi32(0x003f03f0);
    const __m128i lowShift = _mm_set1_epi32(0x01000010);
    const __m128i blank = _mm_set1_epi8(32);
    const __m128i graveLessBlank = _mm_set1_epi8('`' - 32);
    for (qsizetype line = 0; line < lines; ++line) {
        *w++ = encodeChar(kLineBytes);
        for (int step = 0; step < 3; ++step, in += 12, w += 16) {
            const __m128i bytes = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in)), spread);
            const __m128i values = _mm_or_si128(_mm_mulhi_epu16(_mm_and_si128(bytes, highBits), highShift),
                                                _mm_mullo_epi16(_mm_and_si128(bytes, lowBits), lowShift));
            const __m128i zeros = _mm_cmpeq_epi8(values, _mm_setzero_si128());
            const __m128i chars = _mm_add_epi8(_mm_add_epi8(values, blank), _mm_and_si128(zeros, graveLessBlank));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(w), chars);
        }
        for (int g = 0; g < 3; ++g, in += 3)
            w = encodeGroup(w, in[0], in[1], in[2]);
        *w++ = '\n';
    }
    return w;
}
const bool kHaveSsse3 = __builtin_cpu_supports("ssse3");
#else
constexpr bool kHaveSsse3 = false;
char* encodeFullLinesSsse3(char* w, const unsigned char*, qsizetype)
{
    return w;
}
#endif

char* encodeFullLines(char* w, const unsigned char* in, qsizetype lines)
{
    if (kHaveSsse3)
        return encodeFullLinesSsse3(w, in, lines);
    for (qsizetype line = 0; line < lines; ++line) {
        *w++ = encodeChar(kLineBytes);
        for (int g = 0; g < kLineBytes / 3; ++g, in += 3)
            w = encodeGroup(w, in[0], in[1], in[2]);
        *w++ = '\n';
    }
    return w;
}

// The last data line (0 to 44 bytes, padded with blanks) and the closing lines.
char* encodeEnd(char* w, const unsigned char* in, qsizetype bytes)
{
    *w++ = encodeChar(unsigned(bytes));
    for (qsizetype i = 0; i < bytes; i += 3) {
        const qsizetype left = bytes - i;
        w = encodeGroup(w, in[i], left > 1 ? in[i + 1] : ' ', left > 2 ? in[i + 2] : ' ');
    }
    *w++ = '\n';
    return std::copy(kTrailer, kTrailer + sizeof kTrailer - 1, w);
}

constexpr qsizetype kEndChars = 1 + 60 + 1 + qsizetype(sizeof kTrailer - 1);

// A block of a large attachment is written into fresh memory. Faulting its
// pages in one call costs far less than one fault per page while writing,
// which would otherwise take longer than the encoding itself. Older kernels
// refuse the request and the pages simply fault in as before.
void prefault(QByteArray& buffer)
{
#if defined(Q_OS_LINUX) && defined(MADV_POPULATE_WRITE)
    constexpr quintptr kPage = 4096;
    if (buffer.size() < qsizetype(64 * kPage))
        return;
    char* const start = buffer.data();
    char* const end = start + buffer.size();
    char* const from = start + (kPage - quintptr(start) % kPage) % kPage;
    char* const to = end - quintptr(end) % kPage;
    if (to > from)
        madvise(from, size_t(to - from), MADV_POPULATE_WRITE);
#else
    Q_UNUSED(buffer);
#endif
}

QByteArray beginLine(const QString& fileName)
{
    return "begin 664 " + fileName.toUtf8() + '\n';
}

}  // namespace

QString UUEncodeFileName(const QString& path)
{
    const qsizetype cut = std::max(path.lastIndexOf(QLatin1Char('\\')), path.lastIndexOf(QLatin1Char('/')));
    QString name = path.mid(cut + 1);
    // A line break in the name would end the begin line early and break the block.
    name.replace(QLatin1Char('\r'), QLatin1Char('_'));
    name.replace(QLatin1Char('\n'), QLatin1Char('_'));
    return name;
}

QByteArray UUEncodeBytes(const QByteArray& data, const QString& fileName)
{
    const QByteArray begin = beginLine(fileName);
    const qsizetype fullLines = data.size() / kLineBytes;
    QByteArray out;
    out.resize(begin.size() + fullLines * kFullLineChars + kEndChars);
    prefault(out);
    char* w = std::copy(begin.cbegin(), begin.cend(), out.data());
    const auto* in = reinterpret_cast<const unsigned char*>(data.constData());
    w = encodeFullLines(w, in, fullLines);
    w = encodeEnd(w, in + fullLines * kLineBytes, data.size() % kLineBytes);
    out.truncate(w - out.constData());
    return out;
}

namespace {

// Reads the rest of `file` (`remaining` bytes, no more: a device or a pipe,
// of length 0, cannot make the block grow without end) in slices of whole
// data lines and encodes each straight into the space `sink.room(chars)`
// gives; `sink.wrote(end)` takes it. The last line and the closing lines come
// last. False, with the reason, when the file cannot be read.
template <class Sink>
bool encodeSlices(QFile& file, qint64 remaining, Sink& sink, QString* error)
{
    constexpr qsizetype kSlice = qsizetype(kLineBytes) * 23302;  // about 1 MB
    QByteArray slice(kSlice, Qt::Uninitialized);
    qsizetype held = 0;  // bytes of `slice` not yet encoded, always fewer than a line
    while (remaining > 0) {
        const qint64 got = file.read(slice.data() + held, std::min<qint64>(kSlice - held, remaining));
        if (got < 0) {
            if (error)
                *error = file.errorString();
            return false;
        }
        if (got == 0)
            break;  // shorter than it was: encode what there is
        remaining -= got;
        held += got;
        const qsizetype lines = held / kLineBytes;
        const auto* in = reinterpret_cast<const unsigned char*>(slice.constData());
        sink.wrote(encodeFullLines(sink.room(lines * kFullLineChars), in, lines));
        std::memmove(slice.data(), slice.constData() + lines * kLineBytes, size_t(held % kLineBytes));
        held %= kLineBytes;
    }
    sink.wrote(encodeEnd(sink.room(kEndChars), reinterpret_cast<const unsigned char*>(slice.constData()), held));
    return true;
}

bool openToRead(QFile& file, QString* error)
{
    if (file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return true;
    if (error)
        *error = file.errorString();
    return false;
}

}  // namespace

std::optional<QByteArray> UUEncodeFile(const QString& path, QString* error)
{
    QFile file(path);
    if (!openToRead(file, error))
        return std::nullopt;
    const qint64 remaining = file.size();
    const QByteArray begin = beginLine(UUEncodeFileName(path));
    try {
        // The block is sized once and each slice is encoded into it, so a
        // large attachment is never held twice.
        QByteArray out;
        out.resize(begin.size() + (remaining / kLineBytes) * kFullLineChars + kEndChars);
        prefault(out);
        struct {
            char* w;
            char* room(qsizetype) { return w; }
            void wrote(char* end) { w = end; }
        } sink{std::copy(begin.cbegin(), begin.cend(), out.data())};
        if (!encodeSlices(file, remaining, sink, error))
            return std::nullopt;
        out.truncate(sink.w - out.constData());
        return out;
    } catch (const std::bad_alloc&) {
        if (error)
            *error = QStringLiteral("Not enough memory to encode it.");
        return std::nullopt;
    }
}

bool UUEncodeFileTo(const QString& path, QIODevice& out, QString* error)
{
    QFile file(path);
    if (!openToRead(file, error))
        return false;
    // One buffer of a slice's encoding, written in one piece per slice.
    struct {
        QIODevice& out;
        QByteArray buffer;
        bool failed = false;
        char* room(qsizetype chars)
        {
            if (buffer.size() < chars)
                buffer.resize(chars);
            return buffer.data();
        }
        void wrote(char* end)
        {
            const qint64 size = end - buffer.constData();
            failed = failed || out.write(buffer.constData(), size) != size;
        }
    } sink{out, {}};
    const QByteArray begin = beginLine(UUEncodeFileName(path));
    sink.wrote(std::copy(begin.cbegin(), begin.cend(), sink.room(begin.size())));
    if (!encodeSlices(file, file.size(), sink, error))
        return false;
    if (sink.failed && error)
        *error = out.errorString();
    return !sink.failed;
}

std::optional<QByteArray> UUEncodeAttachments(const QStringList& paths, MailNotice* failure, qsizetype* failedAt)
{
    QByteArray all;
    for (const QString& path : paths) {
        QString why;
        const std::optional<QByteArray> block = UUEncodeFile(path, &why);
        if (!block) {
            if (failure)
                *failure = MailTexts::attachmentUnreadable(path, why);
            if (failedAt)
                *failedAt = &path - paths.constData();
            return std::nullopt;
        }
        all += *block;
        all += "\r\n";
    }
    return all;
}
