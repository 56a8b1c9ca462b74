#include "rtf/RtfReader.h"

#include "rtf/Cp1252.h"
#include "rtf/RtfParser.h"

#include <QTextDocument>

namespace {

qsizetype rtfStart(const QByteArray& data)
{
    qsizetype i = 0;
    if (data.startsWith("\xEF\xBB\xBF"))
        i = 3;
    while (i < data.size() && (data[i] == ' ' || data[i] == '\t' || data[i] == '\r' || data[i] == '\n'))
        ++i;
    return QByteArrayView(data).sliced(i).startsWith("{\\rtf") ? i : -1;
}

}  // namespace

namespace RtfReader {

bool isRtf(const QByteArray& data)
{
    return rtfStart(data) >= 0;
}

bool read(const QByteArray& data, QTextDocument& doc, const std::atomic<bool>* stop)
{
    const qsizetype start = rtfStart(data);
    if (start < 0)
        return false;
    const bool undo = doc.isUndoRedoEnabled();
    doc.setUndoRedoEnabled(false);
    {
        // Clearing inside the edit block makes the whole load one change
        // that replaces everything, which a document layout (the box's) takes
        // as a fresh document and lays out in steps instead of at once.
        QTextCursor cursor(&doc);
        cursor.beginEditBlock();
        doc.clear();
        cursor.setPosition(0);
        const QByteArray body = QByteArray::fromRawData(data.constData() + start, data.size() - start);
        Rtf::Parser(body, cursor, stop).run();
        cursor.endEditBlock();
    }
    doc.setUndoRedoEnabled(undo);
    doc.setModified(false);
    return true;
}

QTextDocumentFragment readFragment(const QByteArray& data)
{
    QTextDocument doc;
    if (!read(data, doc))
        return {};
    return QTextDocumentFragment(&doc);
}

QString decodePlainText(const QByteArray& data)
{
    if (data.startsWith("\xEF\xBB\xBF"))
        return QString::fromUtf8(data.constData() + 3, data.size() - 3);
    if (data.startsWith("\xFF\xFE") || data.startsWith("\xFE\xFF")) {
        QStringDecoder dec(data.startsWith("\xFF\xFE") ? QStringConverter::Utf16LE : QStringConverter::Utf16BE);
        return dec.decode(QByteArrayView(data).sliced(2));
    }
    QStringDecoder utf8(QStringConverter::Utf8);
    QString text = utf8.decode(data);
    if (!utf8.hasError())
        return text;
    QString latin;
    latin.reserve(data.size());
    for (char b : data)
        latin.append(QChar(Cp1252::toUnicode(static_cast<unsigned char>(b))));
    return latin;
}

}  // namespace RtfReader
