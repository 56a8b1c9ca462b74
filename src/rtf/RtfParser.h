#pragma once

// The reader's inside, shared by its source files: the tokenizer and group
// stack (RtfParser.cpp), text and character formatting (RtfReadText.cpp),
// paragraphs, lists and footnotes (RtfReadParagraphs.cpp), tables
// (RtfReadTables.cpp) and pictures (RtfReadPictures.cpp).

#include <QByteArray>
#include <QColor>
#include <QHash>
#include <QPointer>
#include <QString>
#include <QStringDecoder>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextList>
#include <QTextTable>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace Rtf {

// Where the text of a group goes. Skip, Object and Upr read no text; Object
// and Upr differ from Skip only in which inner group may bring text back
// (\result, \ud). ListText holds a bullet text until we know whether the
// paragraph is a list of its own.
enum class Dest : std::uint8_t {
    Text,
    Skip,
    FontTable,
    ColorTable,
    Object,
    Upr,
    ListText,
    ListTable,
    LevelText,
    ListOverrides,
    Pn,
    Pict,
    Footnote,
};

enum class Align : std::uint8_t { Left, Center, Right, Justify };

// What a control word does. Looked up once per word through one table.
enum class Op : std::uint8_t {
    // document
    Rtf,
    Ansi,
    Mac,
    Pc,
    Pca,
    AnsiCpg,
    Deff,
    Uc,
    U,
    Bin,
    // destinations
    FontTable,
    ColorTable,
    SkipDest,
    ObjectDest,
    ResultDest,
    FldRslt,
    Upr,
    Ud,
    KeepText,
    Container,
    ListTable,
    ListOverrideTable,
    LevelText,
    PnDest,
    Pict,
    Footnote,
    // font and colour tables
    FCharset,
    Cpg,
    Red,
    Green,
    Blue,
    // list table and old-style numbering
    List,
    ListLevel,
    ListId,
    LevelNfc,
    LevelStart,
    Ls,
    Ilvl,
    PnBullet,
    PnBody,
    PnLevel,
    PnStyle,
    PnStart,
    // character formatting
    Plain,
    Bold,
    Italic,
    Underline,
    UlNone,
    Strike,
    Font,
    FontSize,
    Cf,
    Bg,
    // paragraph formatting
    Pard,
    Ql,
    Qc,
    Qr,
    Qj,
    Li,
    Ri,
    Fi,
    Sb,
    Sa,
    Sl,
    SlMult,
    // tables
    Trowd,
    Cellx,
    CellMerge,
    InTable,
    Row,
    // pictures
    PictKind,
    PicW,
    PicH,
    PicWGoal,
    PicHGoal,
    PicScaleX,
    PicScaleY,
    // special characters
    Par,
    Line,
    Tab,
    Cell,
    Char,
    FootnoteMark,
};

struct WordInfo {
    Op op;
    char16_t ch = 0;  // Op::Char: the character; list and picture words: a kind
};

const std::unordered_map<std::string_view, WordInfo>& wordTable();

struct CharProps {
    int font = -1;  // font number; -1: the default font (\deff)
    int halfPoints = 24;
    int fg = 0;  // colour table index, 0: automatic
    int bg = 0;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strike = false;
    bool operator==(const CharProps&) const = default;
};

struct CharPropsHash {
    std::size_t operator()(const CharProps& p) const
    {
        std::size_t h = std::hash<int>()(p.font);
        for (int v :
             {p.halfPoints, p.fg, p.bg, int(p.bold) | int(p.italic) << 1 | int(p.underline) << 2 | int(p.strike) << 3})
            h = h * 31 + std::hash<int>()(v);
        return h;
    }
};

struct ParaProps {
    Align align = Align::Left;
    int li = 0, ri = 0, fi = 0, sb = 0, sa = 0;  // twips
    int sl = 0;                                  // line spacing: twips, or 240ths of a line with slmult
    bool slmult = false;
    bool intbl = false;
    int ls = 0, ilvl = 0;  // \ls: a list of the list table, 0 none
    int pnStyle = 0;       // QTextListFormat::Style of an old-style \pn list, 0 none
    int pnLevel = 0, pnStart = 1;
    bool operator==(const ParaProps&) const = default;
};

struct GroupState {
    CharProps ch;
    ParaProps pa;
    int uc = 1;
    Dest dest = Dest::Text;
    Dest uprReturn = Dest::Text;  // the destination \ud restores inside \upr
    bool uprChild = false;
    bool owner = false;   // the group that opened a picture, footnote or \pn
    qsizetype start = 0;  // offset of the group's opening brace, or of its \pict
};

struct FontEntry {
    QString name;
    int codepage = 0;  // 0: the document's code page
};

struct ListLevel {
    int nfc = 0;  // \levelnfc: 0 decimal, 1/2 upper/lower roman, 3/4 upper/lower letter, 23 bullet
    int start = 1;
    QString text;  // \leveltext without its length and level placeholders
};

struct ListDef {
    int id = 0;
    std::array<ListLevel, 9> levels;
};

// A row definition (\trowd ... \cellx): right cell edges in twips and how
// each cell merges.
enum CellMerge : std::uint8_t { MergeFirst = 1, MergeNext = 2, MergeDownFirst = 4, MergeDown = 8 };
struct RowDef {
    std::vector<int> edges;
    std::vector<std::uint8_t> merges;
    std::uint8_t pending = 0;
};

struct Picture {
    int kind = 0;  // 1 PNG, 2 JPEG, 3 a kind we do not show
    int picw = 0, pich = 0, goalw = 0, goalh = 0, scalex = 100, scaley = 100;
    QByteArray hex, bin;
};

// Deeper nesting than this is damaged input; the extra levels are counted
// but share their parent's state, so memory stays bounded.
constexpr int kMaxDepth = 1024;
constexpr int kMaxTwips = 31680;  // 22 inches, the widest page Word offers

inline int clampInt(long long v, long long lo, long long hi)
{
    return int(std::clamp(v, lo, hi));
}

// Code pages (RtfReadText.cpp).
int codepageOfCharset(int charset);
bool isDoubleByte(int cp);
const char* codecName(int cp);

using ByteTable = std::array<char16_t, 256>;

// One pass over the bytes: a tokenizer and a stack of group states feeding a
// text cursor. Text is gathered into runs of one format and inserted run by
// run, so the work is linear in the size of the input.
class Parser {
public:
    Parser(const QByteArray& data, QTextCursor& cursor, const std::atomic<bool>* stop = nullptr)
        : m_data(data)
        , m_p(data.constData())
        , m_end(data.constData() + data.size())
        , m_cur(cursor)
        , m_stop(stop)
    {
    }

    void run();

private:
    // RtfParser.cpp
    void controlWord();
    void controlSymbol(char c);
    void handleWord(std::string_view word, bool hasParam, int param);
    void handleDestination(Op op, bool ignorable);
    void openGroup();
    void closeGroup();

    // RtfReadText.cpp
    bool tableWord(const WordInfo& info, int param);
    bool charWord(Op op, bool hasParam, int param);
    void textByte(unsigned char b);
    void appendChar(char16_t ch);
    void flushBytes();
    void textChar(char16_t ch);
    void textSpan(QLatin1StringView text);
    void insertRun(const QString& text, const QTextCharFormat& format);
    void flushRun();
    void endFontEntry();
    void endColorEntry();
    int currentCodepage() const;
    const ByteTable& byteTable(int cp);
    const QTextCharFormat& charFormat(const CharProps& props);
    QTextCharFormat makeCharFormat(const CharProps& props) const;

    // RtfReadParagraphs.cpp
    bool paraWord(const WordInfo& info, bool hasParam, int param);
    bool listWord(const WordInfo& info, int param);
    void listTextChar(char16_t ch);
    void startPendingParagraph();
    void beginText();
    void endParagraph();
    void closeParagraph();
    void applyList();
    void finish();
    static QTextBlockFormat blockFormat(const ParaProps& props);

    // RtfReadTables.cpp
    bool rowWord(const WordInfo& info, int param);
    void placeInTable();
    void startTable();
    void startRow();
    void layoutRow();
    int gridColumn(int edge);
    void moveToCell();
    void mergeCells();
    void keepFormatsOverMerge(int row, int column, int rows, int columns);
    void endCell();
    void endRow();
    void endTable();

    // RtfReadPictures.cpp
    bool pictWord(const WordInfo& info, int param);
    void endPicture(const GroupState& group);

    const QByteArray& m_data;
    const char* m_p;
    const char* m_end;
    const char* m_wordStart = nullptr;  // the backslash of the control word being read
    QTextCursor& m_cur;
    const std::atomic<bool>* m_stop;  // set by another thread: end as if the input ended here
    unsigned m_steps = 0;

    GroupState m_st;
    std::vector<GroupState> m_stack;
    int m_overflow = 0;  // group levels past kMaxDepth
    bool m_ignorableNext = false;
    int m_ucSkip = 0;  // fallback characters still to skip after \u

    int m_docCodepage = 1252;
    bool m_docCodepageNamed = false;
    int m_deff = 0;  // RTF's default when \deff is missing

    QHash<int, FontEntry> m_fonts;
    int m_tableFont = -1;  // the font being defined in \fonttbl
    QString m_fontName;

    std::vector<QColor> m_colors;  // index 0 and any entry without components: automatic
    int m_red = 0, m_green = 0, m_blue = 0;
    bool m_colorGiven = false;

    std::map<int, ByteTable> m_tables;
    std::map<int, std::unique_ptr<QStringDecoder>> m_decoders;
    QByteArray m_pendingBytes;  // bytes of a double-byte code page not yet decoded
    int m_pendingCodepage = 0;
    bool m_needTrail = false;

    QString m_run;
    CharProps m_runProps;
    // Formats built so far; cleared when a font or colour table changes.
    std::unordered_map<CharProps, QTextCharFormat, CharPropsHash> m_formats;
    bool m_pendingPar = false;  // a \par read, its new paragraph not made yet

    // Lists: the list table, \ls to \listid, and the lists made so far.
    std::vector<ListDef> m_listDefs;
    int m_levelIndex = -1;
    std::unordered_map<int, int> m_overrides;
    int m_overrideId = 0;
    std::map<std::pair<int, int>, QPointer<QTextList>> m_lists;  // (\ls, level); \ls -1: \pn
    QString m_listText;                                          // the bullet text of the paragraph being read
    CharProps m_listTextProps;

    // Tables: the row being defined, the table being filled. Columns are
    // the cell edges of all rows so far; each row keeps the columns its
    // cells cover, merged when the table ends.
    struct TableRow {
        std::vector<std::array<int, 2>> cells;  // first and last column
        std::vector<std::uint8_t> merges;
    };
    RowDef m_rowDef;
    QPointer<QTextTable> m_table;
    std::vector<int> m_grid;
    std::vector<TableRow> m_rows;
    int m_row = 0, m_cell = 0;
    bool m_tableOpen = false;
    bool m_rowDone = false;   // \row read, the next row not begun
    bool m_cellDone = false;  // \cell read, the next cell not begun

    Picture m_pict;
    QString m_note;
    QStringList m_notes;
};

}  // namespace Rtf
