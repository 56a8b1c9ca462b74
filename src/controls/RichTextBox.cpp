#include "controls/RichTextBox.h"

#include "rtf/Cp1252.h"
#include "rtf/RtfReader.h"
#include "rtf/RtfWriter.h"

#include <QBuffer>
#include <QEvent>
#include <QFile>
#include <QFontInfo>
#include <QImage>
#include <QMimeData>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTextImageFormat>

#include <algorithm>
#include <cstdint>

namespace {

// Twips per pixel at 96 dots per inch. The app's twips() helper is the same
// rule, but a control may not depend on app/.
constexpr double kTwipsPerPixel = 15.0;

// RTF source handed over as a string. Its bytes are code page 1252 as the
// original control took them; a character outside that code page cannot be a
// byte of the source, so it goes in as the \u control word it stands for.
QByteArray rtfSourceBytes(const QString& rtf)
{
    QByteArray bytes;
    bytes.reserve(rtf.size());
    for (QChar c : rtf) {
        const int b = Cp1252::fromUnicode(c.unicode());
        if (b >= 0) {
            bytes.append(char(b));
        } else {
            bytes.append("{\\uc0\\u");
            bytes.append(QByteArray::number(int(std::int16_t(c.unicode()))));
            bytes.append('}');
        }
    }
    return bytes;
}

// Paragraph marks and line breaks read as "\n", a no-break space as a blank:
// the same characters QTextDocument::toPlainText() gives, one for one.
QString plainOf(QString s)
{
    for (QChar& c : s) {
        if (c == QChar::ParagraphSeparator || c == QChar::LineSeparator)
            c = u'\n';
        else if (c == QChar::Nbsp)
            c = u' ';
    }
    return s;
}

bool isWordChar(QChar c)
{
    return c.isLetterOrNumber() || c == u'_';
}

}  // namespace

RichTextBox::RichTextBox(QWidget* parent)
    : QTextEdit(parent)
{
    useInstalledFace();
}

// The box's font may name several faces, the first of them missing here.
// Typing draws in the face that is found, so that face is what the document
// holds and what a save writes; the note reopens looking the same.
void RichTextBox::useInstalledFace()
{
    QFont f = font();
    const QString face = QFontInfo(f).family();
    f.setFamilies({face});
    f.setFamily(face);
    document()->setDefaultFont(f);
}

void RichTextBox::changeEvent(QEvent* event)
{
    QTextEdit::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        useInstalledFace();
}

bool RichTextBox::canInsertFromMimeData(const QMimeData* source) const
{
    return source->hasImage() || source->hasFormat(QStringLiteral("text/rtf"))
           || source->hasFormat(QStringLiteral("application/rtf")) || QTextEdit::canInsertFromMimeData(source);
}

// What is pasted goes in through our own RTF writer and reader, so the box
// shows exactly what a save keeps: lists, tables, pictures and the character
// and paragraph formatting the writer knows; anything else is reduced to that.
void RichTextBox::insertFromMimeData(const QMimeData* source)
{
    QByteArray rtf;
    for (const QString& type : {QStringLiteral("text/rtf"), QStringLiteral("application/rtf")})
        if (rtf.isEmpty() && RtfReader::isRtf(source->data(type)))
            rtf = source->data(type);
    if (rtf.isEmpty() && (source->hasImage() || source->hasHtml())) {
        QTextDocument scratch;
        scratch.setDefaultFont(document()->defaultFont());
        QTextCursor c(&scratch);
        if (source->hasImage()) {
            QByteArray png;
            QBuffer buffer(&png);
            buffer.open(QIODevice::WriteOnly);
            qvariant_cast<QImage>(source->imageData()).save(&buffer, "PNG");
            QTextImageFormat image;
            image.setName(QStringLiteral("data:image/png;base64,") + QString::fromLatin1(png.toBase64()));
            c.insertImage(image);
        } else {
            c.insertFragment(QTextDocumentFragment::fromHtml(source->html(), document()));
        }
        rtf = RtfWriter::write(scratch);
    }
    if (rtf.isEmpty()) {
        QTextEdit::insertFromMimeData(source);
        return;
    }
    QTextCursor c = textCursor();
    c.beginEditBlock();
    c.insertFragment(RtfReader::readFragment(rtf));
    c.endEditBlock();
    setTextCursor(c);
}

QString RichTextBox::TextRTF() const
{
    return QString::fromLatin1(RtfWriter::write(*document()));
}

void RichTextBox::setTextRTF(const QString& rtf)
{
    const QByteArray bytes = rtfSourceBytes(rtf);
    if (RtfReader::isRtf(bytes))
        loadBytes(bytes);
    else
        setPlainText(rtf);
}

void RichTextBox::LoadFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw RichTextBoxError(QStringLiteral("Cannot open \"%1\": %2").arg(path, file.errorString()));
    const QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw RichTextBoxError(QStringLiteral("Cannot read \"%1\": %2").arg(path, file.errorString()));
    loadBytes(data);
}

std::unique_ptr<QTextDocument> RichTextBox::readDocument(const QByteArray& data, const std::atomic<bool>* stop)
{
    auto doc = std::make_unique<QTextDocument>();
    if (RtfReader::read(data, *doc, stop)) {
        doc->clearUndoRedoStacks();
        return doc;
    }
    // What setPlainText does, in slices of whole lines, so that a stop is
    // heard between them.
    const QString text = RtfReader::decodePlainText(data);
    QTextCursor cursor(doc.get());
    doc->setUndoRedoEnabled(false);
    constexpr qsizetype kSlice = 1 << 20;
    for (qsizetype from = 0; from < text.size() && !(stop && stop->load(std::memory_order_relaxed));) {
        const qsizetype end = text.indexOf(QLatin1Char('\n'), std::min(from + kSlice, text.size() - 1));
        const qsizetype to = end < 0 ? text.size() : end + 1;
        cursor.insertText(text.sliced(from, to - from));
        from = to;
    }
    doc->setUndoRedoEnabled(true);
    doc->setModified(false);
    return doc;
}

void RichTextBox::takeDocument(std::unique_ptr<QTextDocument> doc)
{
    QTextDocument* old = document();
    doc->setDefaultFont(old->defaultFont());
    doc->setDocumentMargin(old->documentMargin());
    // The first document belongs to the box's text control, which deletes
    // it itself; one taken earlier is ours.
    const bool ours = old->parent() == this;
    doc->setParent(this);
    setDocument(doc.release());
    if (ours)
        delete old;
    setTextCursor(QTextCursor(document()));
}

void RichTextBox::loadBytes(const QByteArray& data)
{
    if (RtfReader::isRtf(data)) {
        // Read straight into our document in one edit block: the layout
        // takes it as a fresh document and lays it out in steps, so a large
        // note shows its first page at once. Our own cursor is parked (null)
        // meanwhile: it would otherwise select all that is inserted, and
        // clearing that selection makes the layout reach the end first.
        setTextCursor(QTextCursor());
        RtfReader::read(data, *document());
        setTextCursor(QTextCursor(document()));
    } else {
        setPlainText(RtfReader::decodePlainText(data));
    }
}

QString RichTextBox::Text() const
{
    return toPlainText();
}

int RichTextBox::lastPosition() const
{
    return std::max(0, document()->characterCount() - 1);
}

int RichTextBox::SelStart() const
{
    return textCursor().selectionStart();
}

void RichTextBox::setSelStart(int position)
{
    QTextCursor c = textCursor();
    c.setPosition(std::clamp(position, 0, lastPosition()));
    setTextCursor(c);
}

int RichTextBox::SelLength() const
{
    const QTextCursor c = textCursor();
    return c.selectionEnd() - c.selectionStart();
}

void RichTextBox::setSelLength(int length)
{
    QTextCursor c = textCursor();
    const int start = c.selectionStart();
    c.setPosition(start);
    c.setPosition(std::clamp(start + std::max(0, length), start, lastPosition()), QTextCursor::KeepAnchor);
    setTextCursor(c);
}

QString RichTextBox::SelText() const
{
    return plainOf(textCursor().selectedText());
}

void RichTextBox::setSelText(const QString& text)
{
    QTextCursor c = textCursor();
    c.beginEditBlock();
    c.insertText(text);
    c.endEditBlock();
    setTextCursor(c);
}

QString RichTextBox::SelRTF() const
{
    return QString::fromLatin1(RtfWriter::writeSelection(textCursor()));
}

void RichTextBox::setSelRTF(const QString& rtf)
{
    const QByteArray bytes = rtfSourceBytes(rtf);
    QTextCursor c = textCursor();
    c.beginEditBlock();
    if (RtfReader::isRtf(bytes))
        c.insertFragment(RtfReader::readFragment(bytes));
    else
        c.insertText(rtf);
    c.endEditBlock();
    setTextCursor(c);
}

int RichTextBox::Find(const QString& text, int start, int end, int options)
{
    const QString all = Text();
    const int length = int(all.size());
    QTextCursor c = textCursor();
    int from = start >= 0 ? start : c.selectionStart();
    int to = end >= 0 ? end : length;
    if (start < 0 && end < 0 && c.hasSelection())
        to = c.selectionEnd();
    from = std::clamp(from, 0, length);
    to = std::clamp(to, from, length);
    if (text.isEmpty())
        return -1;

    const Qt::CaseSensitivity cs = (options & rtfMatchCase) ? Qt::CaseSensitive : Qt::CaseInsensitive;
    const QStringView range = QStringView(all).mid(from, to - from);
    const int n = int(text.size());
    int found = -1;
    for (qsizetype at = range.indexOf(text, 0, cs); at >= 0; at = range.indexOf(text, at + 1, cs)) {
        const int pos = from + int(at);
        if (options & rtfWholeWord) {
            const bool before = pos > 0 && isWordChar(all.at(pos - 1));
            const bool after = pos + n < length && isWordChar(all.at(pos + n));
            if (before || after)
                continue;
        }
        found = pos;
        break;
    }
    if (found >= 0 && !(options & rtfNoHighlight)) {
        c.setPosition(found);
        c.setPosition(found + n, QTextCursor::KeepAnchor);
        setTextCursor(c);
    }
    return found;
}

int RichTextBox::RightMargin() const
{
    return m_rightMargin;
}

void RichTextBox::setRightMargin(int twips)
{
    if (twips < 0)
        throw RichTextBoxError(QStringLiteral("Invalid property value"));
    m_rightMargin = twips;
    if (twips == 0) {
        setLineWrapMode(QTextEdit::WidgetWidth);
    } else {
        setLineWrapMode(QTextEdit::FixedPixelWidth);
        setLineWrapColumnOrWidth(std::max(1, qRound(twips / kTwipsPerPixel)));
    }
}
