#pragma once

// The writer's inside, shared by its source files: character formatting and
// the header (RtfWriter.cpp), font families (RtfWriteFonts.cpp), paragraphs
// and lists (RtfWriteParagraphs.cpp), tables (RtfWriteTables.cpp) and
// pictures (RtfWritePictures.cpp).

#include "rtf/Cp1252.h"

#include <QByteArray>
#include <QFont>
#include <QHash>
#include <QStringList>
#include <QTextBlock>
#include <QTextDocument>

#include <array>
#include <cstdint>
#include <vector>

class QTextFrame;
class QTextImageFormat;
class QTextList;
class QTextTable;

namespace Rtf {

// The reader clamps to the same ranges, so what we write reads back as is.
constexpr int kMaxTwips = 31680;

struct RunProps {
    int font = 0;
    int halfPoints = 24;
    int fg = 0;
    int bg = 0;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strike = false;
    bool operator==(const RunProps&) const = default;
};

struct ParaProps {
    int align = 0;  // 0 left, 1 centre, 2 right, 3 justified
    int li = 0, ri = 0, fi = 0, sb = 0, sa = 0;
    int sl = 0;
    bool slmult = false;
    bool intbl = false;
    int ls = 0, ilvl = 0;
    bool operator==(const ParaProps&) const = default;
};

// The family class and character set of a face, told by its name.
struct FontClass {
    const char* family;  // "froman", "fswiss", ...
    int charset;
};
FontClass fontClass(const QString& face);

// Appends RTF tokens and puts a blank after a control word only where the
// next character would otherwise run into it.
class Emitter {
public:
    QByteArray out;
    // Characters outside ASCII as \u only (see Writer::text).
    bool unicodeOnly = false;

    void word(const char* name)
    {
        out += '\\';
        out += name;
        m_needDelim = true;
    }
    void word(const char* name, int param)
    {
        word(name);
        out += QByteArray::number(param);
    }
    void newline()
    {
        out += "\r\n";
        m_needDelim = false;
    }
    void raw(const char* s)
    {
        out += s;
        m_needDelim = false;
    }
    void group(const QByteArray& verbatim)
    {
        out += verbatim;
        m_needDelim = false;
    }
    void plain(char c)
    {
        if (m_needDelim)
            out += ' ';
        m_needDelim = false;
        out += c;
    }
    // One character of text; false when it is not written at all. In a font
    // name the ';' that ends the name and the tab and line words are left out.
    bool character(char16_t c, bool fontName)
    {
        switch (c) {
        case u'\\':
            raw("\\\\");
            return true;
        case u'{':
            raw("\\{");
            return true;
        case u'}':
            raw("\\}");
            return true;
        case u';':
            if (fontName)
                return false;
            plain(';');
            return true;
        case u'\t':
            if (fontName)
                return false;
            word("tab");
            return true;
        case QChar::LineSeparator:
            if (fontName)
                return false;
            word("line");
            return true;
        case QChar::Nbsp:
            raw("\\~");
            return true;
        default:
            break;
        }
        if (dropped(c))
            return false;
        if (c < 0x80) {
            plain(char(c));
            return true;
        }
        const int byte = unicodeOnly ? -1 : Cp1252::fromUnicode(c);
        if (byte >= 0) {
            static const char hex[] = "0123456789abcdef";
            out += "\\'";
            out += hex[byte >> 4];
            out += hex[byte & 15];
            m_needDelim = false;
            return true;
        }
        // \uc1 is in force: one '?' for readers that do not know \u. The
        // blank before it is the word's delimiter; some readers (pandoc)
        // take any character after the number for one.
        out += "\\u";
        out += QByteArray::number(int(std::int16_t(c)));
        out += " ?";
        m_needDelim = false;
        return true;
    }

    // Characters that stand for document structure (paragraph and frame
    // marks, embedded objects) or are controls: never written as text.
    static bool dropped(char16_t c)
    {
        return (c < 0x20 && c != u'\t') || c == 0x7F || c == QChar::ParagraphSeparator
               || c == QChar::ObjectReplacementCharacter || c == 0xFDD0 || c == 0xFDD1;
    }

private:
    bool m_needDelim = false;
};

class Writer {
public:
    explicit Writer(const QTextDocument& doc)
        : m_doc(doc)
        , m_defaultFont(doc.defaultFont())
    {
    }

    QByteArray run();

private:
    // RtfWriter.cpp
    void apply(const RunProps& p);
    void text(char16_t c);
    RunProps runProps(const QTextCharFormat& f);
    QString family(const QTextCharFormat& f) const;
    int fontIndex(const QString& family);
    int colorIndex(const QBrush& brush);
    QByteArray header() const;

    // RtfWriteParagraphs.cpp
    void frame(const QTextFrame* frame);
    void paragraph(const QTextBlock& block, bool inTable, const char* end);
    ParaProps paraProps(const QTextBlock& block, bool inTable);
    void listText(const QTextBlock& block, const QTextList* list);
    void listTable(Emitter& e) const;

    // RtfWriteTables.cpp
    void table(const QTextTable* table);

    // RtfWritePictures.cpp
    void picture(const QTextImageFormat& f);

    const QTextDocument& m_doc;
    const QFont m_defaultFont;
    Emitter m_body;
    bool m_first = true;
    RunProps m_current;  // the state a reader is in: RTF's defaults at the start
    ParaProps m_para;
    QHash<QString, int> m_fontIndex;
    QStringList m_fonts;
    std::vector<bool> m_unicodeFont;  // by font index: a face of another character set
    QHash<QRgb, int> m_colorIndex;
    std::vector<QRgb> m_colors;
    // \lsN is m_lists[N - 1], a list of the list table: the document's list
    // at each level.
    QHash<const QTextList*, int> m_listIndex;
    std::vector<std::array<const QTextList*, 9>> m_lists;
    const QTextList* m_lastList = nullptr;
};

}  // namespace Rtf
