#pragma once

#include <QTextFormat>

// What the reader keeps in a document that Qt's formats have no place for,
// so the writer can give it back.
namespace RtfFormats {

// QTextListFormat: the first number of a list when it is not 1 (\levelstartat,
// \pnstart). Qt 6.4 has no start number of its own: the box shows 1, 2, 3.
inline constexpr int ListStart = QTextFormat::UserProperty + 1;
inline int listStart(const QTextFormat& f)
{
    return f.hasProperty(ListStart) ? f.intProperty(ListStart) : 1;
}
// QTextImageFormat: the picture's own bytes and their kind ("png", "jpeg"),
// written back as read.
inline constexpr int PictureData = QTextFormat::UserProperty + 2;
inline constexpr int PictureKind = QTextFormat::UserProperty + 3;
// QTextCharFormat of a "[picture]" placeholder: the whole \pict group of a
// kind we do not show, written back verbatim.
inline constexpr int RawPicture = QTextFormat::UserProperty + 4;

inline constexpr char16_t kPlaceholder[] = u"[picture]";

}  // namespace RtfFormats
