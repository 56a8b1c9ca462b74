#include "rtf/RtfFormats.h"
#include "rtf/RtfParser.h"

#include <QImage>
#include <QTextImageFormat>
#include <QUrl>

namespace Rtf {

bool Parser::pictWord(const WordInfo& info, int param)
{
    if (m_st.dest != Dest::Pict)
        return false;
    const int size = clampInt(param, 0, qint64(kMaxTwips) * 4);
    switch (info.op) {
    case Op::PictKind:
        m_pict.kind = info.ch;
        break;
    case Op::PicW:
        m_pict.picw = size;
        break;
    case Op::PicH:
        m_pict.pich = size;
        break;
    case Op::PicWGoal:
        m_pict.goalw = size;
        break;
    case Op::PicHGoal:
        m_pict.goalh = size;
        break;
    case Op::PicScaleX:
        m_pict.scalex = clampInt(param, 1, 1000);
        break;
    case Op::PicScaleY:
        m_pict.scaley = clampInt(param, 1, 1000);
        break;
    default:
        break;
    }
    return true;
}

// A PNG or JPEG picture becomes an image of the document, drawn at the size
// the file asks for. Any other kind, or data that does not decode, shows as a
// placeholder that keeps the whole group, so saving gives it back unchanged.
void Parser::endPicture(const GroupState& group)
{
    Picture pict = std::exchange(m_pict, Picture{});
    const QByteArray data = pict.bin.isEmpty() ? QByteArray::fromHex(pict.hex) : pict.bin;
    const char* kind = pict.kind == 1 ? "png" : pict.kind == 2 ? "jpeg" : nullptr;
    QImage image;
    beginText();
    flushRun();
    if (kind && image.loadFromData(data, kind)) {
        QTextImageFormat f;
        f.setName(QStringLiteral("data:image/%1;base64,").arg(QLatin1String(kind))
                  + QString::fromLatin1(data.toBase64()));
        const double w = pict.goalw > 0 ? pict.goalw / 15.0 : pict.picw > 0 ? pict.picw : image.width();
        const double h = pict.goalh > 0 ? pict.goalh / 15.0 : pict.pich > 0 ? pict.pich : image.height();
        f.setWidth(w * pict.scalex / 100);
        f.setHeight(h * pict.scaley / 100);
        f.setProperty(RtfFormats::PictureData, data);
        f.setProperty(RtfFormats::PictureKind, QString::fromLatin1(kind));
        m_cur.insertImage(f);
        return;
    }
    const qsizetype end = m_p - m_data.constData();
    QTextCharFormat f = charFormat(m_st.ch);
    f.setProperty(RtfFormats::RawPicture, '{' + m_data.mid(group.start, end - group.start));
    m_cur.insertText(QString::fromUtf16(RtfFormats::kPlaceholder), f);
}

}  // namespace Rtf
