#include "mail/mdlMUUEncode.h"

#include "mail/MailTexts.h"

#include <QFile>

#include <algorithm>
#include <cstring>

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

// Output size of a full data line: length character, 60 characters, line
// end (LF, or CR LF in the mail data form).
constexpr qsizetype lineChars(bool crlf)
{
    return 1 + 60 + (crlf ? 2 : 1);
}

inline char* lineEnd(char* w, bool crlf)
{
    if (crlf)
        *w++ = '\r';
    *w++ = '\n';
    return w;
}

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
// Twelve bytes to sixteen characters in one step: the bytes are spread so
// that each 32-bit lane holds one group of three, the four six-bit values of
// each group are moved into bytes by two multiplies, and the values become
// characters ("`" for 0) without a table. A line is three such steps and
// three groups more.
__attribute__((target("ssse3"))) char* encodeFullLinesSsse3(char* w, const unsigned char* in, qsizetype lines,
                                                            bool crlf)
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
        w = lineEnd(w, crlf);
    }
    return w;
}
const bool kHaveSsse3 = __builtin_cpu_supports("ssse3");
#else
constexpr bool kHaveSsse3 = false;
char* encodeFullLinesSsse3(char* w, const unsigned char*, qsizetype, bool)
{
    return w;
}
#endif

char* encodeFullLines(char* w, const unsigned char* in, qsizetype lines, bool crlf)
{
    if (kHaveSsse3)
        return encodeFullLinesSsse3(w, in, lines, crlf);
    for (qsizetype line = 0; line < lines; ++line) {
        *w++ = encodeChar(kLineBytes);
        for (int g = 0; g < kLineBytes / 3; ++g, in += 3)
            w = encodeGroup(w, in[0], in[1], in[2]);
        w = lineEnd(w, crlf);
    }
    return w;
}

// The last data line (0 to 44 bytes, padded with blanks) and the closing
// lines. Its length character is "." for 14 bytes, which the mail data form
// doubles, as it does any line's leading "."; no other line of a block
// begins with one.
char* encodeEnd(char* w, const unsigned char* in, qsizetype bytes, bool crlf)
{
    const char length = encodeChar(unsigned(bytes));
    if (crlf && length == '.')
        *w++ = '.';
    *w++ = length;
    for (qsizetype i = 0; i < bytes; i += 3) {
        const qsizetype left = bytes - i;
        w = encodeGroup(w, in[i], left > 1 ? in[i + 1] : ' ', left > 2 ? in[i + 2] : ' ');
    }
    w = lineEnd(w, crlf);
    *w++ = '`';
    w = lineEnd(w, crlf);
    w = std::copy_n("end", 3, w);
    return lineEnd(w, crlf);
}

// What encodeEnd() writes for `bytes` (0 to 44), and the most it writes.
constexpr qsizetype endChars(qsizetype bytes, bool crlf)
{
    return (crlf && bytes == 14 ? 2 : 1) + (bytes + 2) / 3 * 4 + 4 + (crlf ? 6 : 3);
}
constexpr qsizetype kEndChars = endChars(kLineBytes - 1, true);

QByteArray beginLine(const QString& fileName, bool crlf)
{
    return "begin 664 " + fileName.toUtf8() + (crlf ? "\r\n" : "\n");
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
    const QByteArray begin = beginLine(fileName, false);
    const qsizetype fullLines = data.size() / kLineBytes;
    QByteArray out;
    out.resize(begin.size() + fullLines * lineChars(false) + kEndChars);
    char* w = std::copy(begin.cbegin(), begin.cend(), out.data());
    const auto* in = reinterpret_cast<const unsigned char*>(data.constData());
    w = encodeFullLines(w, in, fullLines, false);
    w = encodeEnd(w, in + fullLines * kLineBytes, data.size() % kLineBytes, false);
    out.truncate(w - out.constData());
    return out;
}

UUEncodeStream::UUEncodeStream(const QStringList& paths, Form form)
    : m_form(form)
{
    for (const QString& path : paths)
        m_files.push_back({path, nullptr, 0});
}

bool UUEncodeStream::open(MailNotice* failure, qsizetype* failedAt)
{
    const bool crlf = m_form == Form::MailData;
    m_size = 0;
    for (std::size_t i = 0; i < m_files.size(); ++i) {
        File& f = m_files[i];
        f.file = std::make_unique<QFile>(f.path);
        if (!f.file->open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
            m_failure = MailTexts::attachmentUnreadable(f.path, f.file->errorString());
            if (failure)
                *failure = *m_failure;
            if (failedAt)
                *failedAt = qsizetype(i);
            m_files.clear();
            return false;
        }
        f.left = f.file->size();
        m_size += beginLine(UUEncodeFileName(f.path), crlf).size() + f.left / kLineBytes * lineChars(crlf)
                  + endChars(f.left % kLineBytes, crlf) + 2;
    }
    return true;
}

QByteArray UUEncodeStream::next()
{
    if (m_at >= m_files.size() || m_failure)
        return {};
    const bool crlf = m_form == Form::MailData;
    File& f = m_files[m_at];
    const QByteArray begin = m_begun ? QByteArray() : beginLine(UUEncodeFileName(f.path), crlf);
    m_begun = true;
    if (m_in.isEmpty())
        m_in.resize(kSliceBytes);
    // Reused from slice to slice once the caller has let go of the last one.
    m_out.resize(begin.size() + kSliceBytes / kLineBytes * lineChars(crlf) + kEndChars + 2);
    char* w = std::copy(begin.cbegin(), begin.cend(), m_out.data());
    const qint64 got =
        f.left > 0 ? f.file->read(m_in.data() + m_held, std::min<qint64>(kSliceBytes - m_held, f.left)) : 0;
    if (got < 0) {
        m_failure = MailTexts::attachmentUnreadable(f.path, f.file->errorString());
        return {};
    }
    // A file that got shorter ends where it ends.
    f.left = got == 0 ? 0 : f.left - got;
    m_held += got;
    const qsizetype lines = m_held / kLineBytes;
    const auto* in = reinterpret_cast<const unsigned char*>(m_in.constData());
    w = encodeFullLines(w, in, lines, crlf);
    std::memmove(m_in.data(), m_in.constData() + lines * kLineBytes, size_t(m_held % kLineBytes));
    m_held %= kLineBytes;
    if (f.left == 0) {
        w = encodeEnd(w, in, m_held, crlf);
        *w++ = '\r';
        *w++ = '\n';
        f.file.reset();
        m_held = 0;
        m_begun = false;
        ++m_at;
    }
    m_out.truncate(w - m_out.constData());
    return m_out;
}
