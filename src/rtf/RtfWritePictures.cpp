#include "rtf/RtfFormats.h"
#include "rtf/RtfWriterCore.h"

#include <QBuffer>
#include <QImage>
#include <QImageReader>
#include <QPixmap>
#include <QTextImageFormat>
#include <QUrl>

namespace Rtf {

namespace {

// The bytes of an image of the document and their kind: as read from RTF,
// else the document's resource (a pasted or inserted image) as PNG.
std::pair<QByteArray, const char*> pictureBytes(const QTextDocument& doc, const QTextImageFormat& f)
{
    const QByteArray data = f.property(RtfFormats::PictureData).toByteArray();
    if (!data.isEmpty())
        return {data, f.stringProperty(RtfFormats::PictureKind) == u"jpeg" ? "jpegblip" : "pngblip"};
    const QVariant resource = doc.resource(QTextDocument::ImageResource, QUrl(f.name()));
    QImage image;
    if (f.name().startsWith(u"data:") && f.name().contains(u";base64,"))
        image.loadFromData(QByteArray::fromBase64(f.name().section(u',', 1).toLatin1()));
    else if (resource.typeId() == QMetaType::QImage)
        image = resource.value<QImage>();
    else if (resource.typeId() == QMetaType::QPixmap)
        image = resource.value<QPixmap>().toImage();
    else if (resource.typeId() == QMetaType::QByteArray)
        image.loadFromData(resource.toByteArray());
    if (image.isNull())
        return {};
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return {png, "pngblip"};
}

}  // namespace

// An image goes out as \pict with its pixel size and the size it is drawn
// at; one whose bytes cannot be had is left out.
void Writer::picture(const QTextImageFormat& f)
{
    const auto [data, kind] = pictureBytes(m_doc, f);
    if (data.isEmpty())
        return;
    QBuffer buffer;
    buffer.setData(data);
    QImageReader reader(&buffer);
    const QSize pixels = reader.size();
    const double w = f.width() > 0 ? f.width() : pixels.width();
    const double h = f.height() > 0 ? f.height() : pixels.height();
    Emitter& e = m_body;
    e.raw("{");
    e.word("pict");
    e.word(kind);
    e.word("picw", std::max(1, pixels.width()));
    e.word("pich", std::max(1, pixels.height()));
    e.word("picwgoal", std::clamp(qRound(w * 15), 1, kMaxTwips));
    e.word("pichgoal", std::clamp(qRound(h * 15), 1, kMaxTwips));
    e.newline();
    const QByteArray hex = data.toHex();
    for (qsizetype i = 0; i < hex.size(); i += 128) {
        e.out += hex.mid(i, 128);
        e.newline();
    }
    e.raw("}");
}

}  // namespace Rtf
