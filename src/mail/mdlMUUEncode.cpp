#include "mail/mdlMUUEncode.h"

#include "mail/MailTexts.h"

#include <QFile>

namespace {

constexpr int kLineBytes = 45;

// A six-bit value 0 is written as "`" rather than a space, so no line ends
// in blanks that a mail relay might strip.
constexpr char encodeChar(unsigned v)
{
    return v == 0 ? '`' : char(32 + v);
}

struct EncodeTable {
    char c[64];
    constexpr EncodeTable() : c()
    {
        for (unsigned i = 0; i < 64; ++i)
            c[i] = encodeChar(i);
    }
};
constexpr EncodeTable kTable;

inline char *encodeGroup(char *out, unsigned b1, unsigned b2, unsigned b3)
{
    out[0] = kTable.c[b1 >> 2];
    out[1] = kTable.c[((b1 & 3) << 4) | (b2 >> 4)];
    out[2] = kTable.c[((b2 & 15) << 2) | (b3 >> 6)];
    out[3] = kTable.c[b3 & 63];
    return out + 4;
}

}  // namespace

QString UUEncodeFileName(const QString &path)
{
    const qsizetype cut = std::max(path.lastIndexOf(QLatin1Char('\\')),
                                   path.lastIndexOf(QLatin1Char('/')));
    QString name = path.mid(cut + 1);
    // A line break in the name would end the begin line early and break the block.
    name.replace(QLatin1Char('\r'), QLatin1Char('_'));
    name.replace(QLatin1Char('\n'), QLatin1Char('_'));
    return name;
}

QByteArray UUEncodeBytes(const QByteArray &data, const QString &fileName)
{
    const QByteArray begin = "begin 664 " + fileName.toUtf8() + '\n';
    static constexpr char kTrailer[] = "`\nend\n";

    const qsizetype length = data.size();
    const qsizetype fullLines = length / kLineBytes;
    const qsizetype lastBytes = length % kLineBytes;
    const qsizetype lastGroups = (lastBytes + 2) / 3;
    const qsizetype total = begin.size() + fullLines * (1 + 60 + 1) + (1 + 4 * lastGroups + 1)
                            + qsizetype(sizeof kTrailer - 1);

    QByteArray out;
    out.resize(total);
    char *w = out.data();
    w = std::copy(begin.cbegin(), begin.cend(), w);

    const auto *in = reinterpret_cast<const unsigned char *>(data.constData());
    for (qsizetype line = 0; line < fullLines; ++line) {
        *w++ = encodeChar(kLineBytes);
        for (int g = 0; g < kLineBytes / 3; ++g, in += 3)
            w = encodeGroup(w, in[0], in[1], in[2]);
        *w++ = '\n';
    }

    *w++ = encodeChar(unsigned(lastBytes));
    for (qsizetype i = 0; i < lastBytes; i += 3) {
        const qsizetype left = lastBytes - i;
        w = encodeGroup(w, in[i], left > 1 ? in[i + 1] : ' ', left > 2 ? in[i + 2] : ' ');
    }
    *w++ = '\n';
    w = std::copy(kTrailer, kTrailer + sizeof kTrailer - 1, w);
    Q_ASSERT(w == out.data() + total);
    return out;
}

std::optional<QByteArray> UUEncodeFile(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = file.errorString();
        return std::nullopt;
    }
    const QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        if (error)
            *error = file.errorString();
        return std::nullopt;
    }
    return UUEncodeBytes(data, UUEncodeFileName(path));
}

std::optional<QByteArray> UUEncodeAttachments(const QStringList &paths, MailNotice *failure)
{
    QByteArray all;
    for (const QString &path : paths) {
        QString why;
        const std::optional<QByteArray> block = UUEncodeFile(path, &why);
        if (!block) {
            if (failure)
                *failure = MailTexts::attachmentUnreadable(path, why);
            return std::nullopt;
        }
        all += *block;
        all += "\r\n";
    }
    return all;
}
