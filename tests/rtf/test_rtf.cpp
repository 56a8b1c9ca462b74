// The RTF reader and writer on their own, without a window.

#include "RtfTestUtil.h"
#include "rtf/RtfReader.h"
#include "rtf/RtfWriter.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTextCursor>
#include <QTextDocumentFragment>

#include <algorithm>

using namespace RtfTest;

namespace {

const QByteArray kRichEditSample =
    R"({\rtf1\ansi\ansicpg1252\deff0{\fonttbl{\f0\fswiss\fcharset0 Arial;}}\viewkind4\uc1\pard\f0\fs20 Hello \b bold\b0\par})";

// The text with paragraph breaks as "\n" and every other character as stored
// (line breaks stay U+2028, no-break spaces U+00A0).
QString readText(const QByteArray& rtf)
{
    QTextDocument doc;
    if (!RtfReader::read(rtf, doc))
        return QStringLiteral("<not RTF>");
    return doc.toRawText().replace(QChar::ParagraphSeparator, u'\n');
}

QString sourceDir() { return qEnvironmentVariable("TESSALY_SOURCE_DIR", QStringLiteral(TESSALY_SOURCE_DIR_FALLBACK)); }

// The body between the header and the closing brace.
QByteArray body(const QByteArray& rtf)
{
    const qsizetype start = rtf.indexOf("\\viewkind4\r\n") + 12;
    return rtf.mid(start, rtf.size() - start - 1);
}

QTextCharFormat fmt(const QString& family, double points, bool bold = false)
{
    QTextCharFormat f;
    f.setFontFamilies({family});
    f.setFontPointSize(points);
    if (bold)
        f.setFontWeight(QFont::Bold);
    return f;
}

// Written, read back and written again: the same text and formatting, then the same bytes.
void checkRoundTrip(const QTextDocument& doc)
{
    const QByteArray first = RtfWriter::write(doc);
    QTextDocument back;
    QVERIFY(RtfReader::read(first, back));
    QCOMPARE(back.toRawText(), doc.toRawText());
    QCOMPARE(describe(back), describe(doc));
    QCOMPARE(RtfWriter::write(back), first);
}

}  // namespace

class TestRtf : public QObject {
    Q_OBJECT
private slots:
    // RTF is told by its start; what is not RTF is neither read nor inserted.
    void detectsRtf()
    {
        const std::pair<QByteArray, bool> cases[] = {
            {R"({\rtf1\ansi x})", true}, {" \r\n\t{\\rtf1 x}", true}, {"\xEF\xBB\xBF{\\rtf1 x}", true},
            {"Hello {\\rtf1}", false}, {"", false}, {"{\\rt", false}, {"\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", false}};
        for (const auto& [data, rtf] : cases) {
            QTextDocument doc;
            doc.setPlainText(QStringLiteral("kept"));
            QVERIFY2(RtfReader::isRtf(data) == rtf, data.constData());
            QCOMPARE(RtfReader::read(data, doc), rtf);
            QCOMPARE(doc.toPlainText(), rtf ? QStringLiteral("x") : QStringLiteral("kept"));
            QCOMPARE(RtfReader::readFragment(data).isEmpty(), !rtf);
        }
    }

    void decodesPlainText_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QString>("text");
        QTest::newRow("ASCII") << QByteArray("plain\r\ntext") << QStringLiteral("plain\r\ntext");
        QTest::newRow("UTF-8") << QByteArray("caf\xC3\xA9 \xE2\x82\xAC") << QStringLiteral(u"café €");
        QTest::newRow("UTF-8 with mark") << QByteArray("\xEF\xBB\xBF\xC3\xA9") << QStringLiteral(u"é");
        QTest::newRow("UTF-16LE with mark") << QByteArray("\xFF\xFE" "a\0\xE9\0", 6) << QStringLiteral(u"aé");
        QTest::newRow("code page 1252") << QByteArray("caf\xE9 \x80 \x93q\x94") << QStringLiteral(u"café € “q”");
    }
    void decodesPlainText()
    {
        QFETCH(QByteArray, data);
        QFETCH(QString, text);
        QCOMPARE(RtfReader::decodePlainText(data), text);
    }

    // What each control word does to the text, and what damaged input leaves.
    void readsText_data()
    {
        QTest::addColumn<QByteArray>("rtf");
        QTest::addColumn<QString>("text");
        auto row = [](const char* name, const QByteArray& rtf, const char16_t* text) {
            QTest::newRow(name) << rtf << QString::fromUtf16(text);
        };
        row("par", R"({\rtf1 a\par b})", u"a\nb");
        row("final par ends the last paragraph", R"({\rtf1 a\par\par b\par\par})", u"a\n\nb\n");
        row("sect and page", R"({\rtf1 a\sect b\page c})", u"a\nb\nc");
        row("line", R"({\rtf1 a\line b})", u"a\u2028b");
        row("tab", R"({\rtf1 a\tab b})", u"a\tb");
        row("space ends a control word", R"({\rtf1 \b  two})", u" two");
        row("digit ends at non-digit", R"({\rtf1 \fs20x})", u"x");
        row("escaped symbols", R"({\rtf1 \\\{\}})", u"\\{}");
        row("no-break space, hyphens", R"({\rtf1 a\~b\-c\_d})", u"a\u00a0b\u00adc\u2011d");
        row("named characters", R"({\rtf1 \emdash\endash\bullet\lquote\rquote\ldblquote\rdblquote})",
            u"\u2014\u2013\u2022\u2018\u2019\u201c\u201d");
        row("unknown words dropped, text kept", R"({\rtf1 a\foo b\bar12 c\baz-3 d})", u"abcd");
        row("ignorable destination", R"({\rtf1 a{\*\foo hidden {\b more}}b})", u"ab");
        row("known ignorable destination", R"({\rtf1 a{\*\generator Msftedit 5.41;}b})", u"ab");
        row("tables are no text",
            R"({\rtf1{\fonttbl{\f0 Arial;}}{\colortbl;\red1\green2\blue3;}{\stylesheet{\s1 Heading;}})"
            R"({\info{\title T}{\author A}}x})",
            u"x");
        row("headers, footers, footnotes", R"({\rtf1 a{\header h}{\footer f}{\footnote n}b})", u"ab");
        row("picture", R"({\rtf1 before {\pict\pngblip\picw10\pich10 89504e470d0a1a0a} after})", u"before  after");
        row("binary picture with braces", QByteArray("{\\rtf1 a{\\pict\\bin6 }}{{\\}}b}"), u"ab");
        row("shape pictures", R"({\rtf1 a{\*\shppict{\pict 00}}{\nonshppict{\pict 00}}b})", u"ab");
        row("object shows its result",
            R"({\rtf1 a {\object\objemb{\*\objclass Paint}{\*\objdata 0102}{\result shown}} b})", u"a shown b");
        row("object without result", R"({\rtf1 a{\object{\*\objdata 0102}}b})", u"ab");
        row("field shows its result", "{\\rtf1 {\\field{\\*\\fldinst HYPERLINK \"http://x\"}{\\fldrslt link}}}", u"link");
        row("list text kept", R"({\rtf1{\pntext\'b7\tab}item{\*\pn\pnlvlblt{\pntxtb\'b7}}})", u"\u00b7\titem");
        row("upr takes the Unicode part", R"({\rtf1{\upr{ansi text}{\*\ud{unicode text}}}})", u"unicode text");
        row("table cells", R"({\rtf1\trowd\cellx1000\cellx2000 a\cell b\cell\row c})", u"a\tb\t\nc");
        row("line ends in the source are no text", "{\\rtf1 a\r\nb\rc\nd}", u"abcd");
        row("backslash and line end: par", "{\\rtf1 a\\\r\nb}", u"a\nb");
        row("after the closing brace", "{\\rtf1 a}\r\n", u"a");
        row("empty document", "{\\rtf1}", u"");

        // Code pages and Unicode.
        row("1252 when none is named", R"({\rtf1 caf\'e9 \'80 \'93q\'94 \'9f})", u"café € “q” Ÿ");
        row("1252 named", R"({\rtf1\ansi\ansicpg1252 \'fc\'DF})", u"üß");
        row("1252 raw bytes", "{\\rtf1 caf\xe9 \x80}", u"café €");
        row("1252 undefined bytes", R"({\rtf1 \'81\'8d})", u"\u0081\u008d");
        row("ansicpg1251", R"({\rtf1\ansi\ansicpg1251 \'cf\'f0\'e8})", u"При");
        row("ansicpg1250", R"({\rtf1\ansi\ansicpg1250 \'b9\'9a})", u"ąš");
        row("unknown code page: 1252", R"({\rtf1\ansi\ansicpg99999 \'e9})", u"é");
        row("font charset 204",
            R"({\rtf1\ansi\ansicpg1252{\fonttbl{\f0 Arial;}{\f1\fcharset204 Arial CYR;}}\'e9\f1\'e9{\f0\'e9}})", u"éйé");
        row("font charset 238", R"({\rtf1{\fonttbl{\f0\fcharset238 Arial CE;}}\f0\'b9})", u"ą");
        row("double-byte code page", R"({\rtf1\ansi\ansicpg932 \'93\'fa\'96\'7b})", u"日本");
        row("double-byte with raw trail byte", "{\\rtf1\\ansi\\ansicpg932 \\'83@}", u"ァ");
        row("mac", R"({\rtf1\mac \'8e})", u"é");
        row("u with fallback", R"({\rtf1 \u233?x})", u"éx");
        row("u negative", R"({\rtf1 \u-4064?})", u"\uf020");
        row("u surrogate pair", R"({\rtf1 \u-10179?\u-8704?})", u"😀");
        row("uc2", R"({\rtf1\uc2\u8364\'80\'80x})", u"€x");
        row("uc0", R"({\rtf1\uc0\u8364 x})", u"€x");
        row("fallback \\'hh counts one", R"({\rtf1\uc1\u8364\'80 x})", u"€ x");
        row("fallback control word counts one", R"({\rtf1\uc1\u8364\par x})", u"€x");
        row("uc ends with its group", R"({\rtf1{\uc2 a}\u8364?b})", u"a€b");
        row("skipping stops at a brace", R"({\rtf1\uc3{\u8364}ab})", u"€ab");
        row("control characters dropped", R"({\rtf1 a\'00\'07\u13?\u8233?b})", u"ab");

        // Damaged input: whatever text can be read.
        row("missing closing braces", R"({\rtf1{\b bold {\i both)", u"bold both");
        row("extra closing braces", R"({\rtf1 a}} b}} c)", u"a b c");
        row("truncated control word", R"({\rtf1 abc\pa)", u"abc");
        row("truncated parameter", R"({\rtf1 abc\fs2)", u"abc");
        row("truncated hex", R"({\rtf1 abc\')", u"abc");
        row("half a hex escape", R"({\rtf1 abc\'e)", u"abc");
        row("not hex", R"({\rtf1 a\'zzb})", u"azzb");
        row("lone backslash at the end", "{\\rtf1 ab\\", u"ab");
        row("truncated after \\u", R"({\rtf1 ab\u233)", u"abé");
        row("bin longer than the file", R"({\rtf1 ab\bin999999 xyz)", u"ab");
        row("negative bin", R"({\rtf1 ab\bin-5 cd})", u"abcd");
        row("binary junk", QByteArray("{\\rtf1 ok\x00\x01\x02 still\xff\x1b}", 21), u"ok stillÿ");
        row("huge numbers", R"({\rtf1\fs99999999999999 a\fs-3 b\li99999999999 c\uc999999999 d})", u"abcd");
        row("huge \\u", R"({\rtf1 \u99999999999 x})", u"\uffff");
        row("very long control word", QByteArray("{\\rtf1 a\\") + QByteArray(5000, 'x') + " b}", u"ab");
        row("star without a word", R"({\rtf1 a{\* b}c})", u"a bc");
        row("deep nesting", "{\\rtf1 " + QByteArray(100000, '{') + "deep" + QByteArray(100000, '}') + " end}",
            u"deep end");
        row("deep nesting never closed", "{\\rtf1 " + QByteArray(50000, '{') + "x", u"x");
        row("font table never closed", R"({\rtf1{\fonttbl{\f0 Arial)", u"");
        row("colour table without semicolon", R"({\rtf1{\colortbl\red9}\cf1 x})", u"x");
    }
    void readsText()
    {
        QFETCH(QByteArray, rtf);
        QFETCH(QString, text);
        QCOMPARE(readText(rtf), text);
    }

    // Character and paragraph formatting, as describe() shows it: one line
    // per paragraph, "<paragraph>[characters]text".
    void readsFormatting_data()
    {
        QTest::addColumn<QByteArray>("rtf");
        QTest::addColumn<QString>("shown");
        auto row = [](const char* name, const char* rtf, const char16_t* shown) {
            QTest::newRow(name) << QByteArray(rtf) << QString::fromUtf16(shown);
        };
        row("rich-edit sample", kRichEditSample.constData(), u"<>[f=Arial fs=10]Hello [f=Arial fs=10 b]bold");
        row("no font table: size 12", R"({\rtf1 a})", u"<>[fs=12]a");
        row("b b0 b1", R"({\rtf1 a\b b\b0 c\b1 d})", u"<>[fs=12]a[fs=12 b]b[fs=12]c[fs=12 b]d");
        row("i i0", R"({\rtf1 a\i b\i0 c})", u"<>[fs=12]a[fs=12 i]b[fs=12]c");
        row("ul ulnone ul0 uldb", R"({\rtf1 a\ul b\ulnone c\ul d\ul0 e\uldb f})",
            u"<>[fs=12]a[fs=12 u]b[fs=12]c[fs=12 u]d[fs=12]e[fs=12 u]f");
        row("strike strike0", R"({\rtf1 a\strike b\strike0 c})", u"<>[fs=12]a[fs=12 s]b[fs=12]c");
        row("deff, f, unknown f",
            R"({\rtf1\deff1{\fonttbl{\f0\froman\fcharset0 Times New Roman;}{\f1\fswiss Arial;}}a\f0 b\f7 c})",
            u"<>[f=Arial fs=12]a[f=Times New Roman fs=12]b[f=Arial fs=12]c");
        row("font table without groups", R"({\rtf1{\fonttbl\f0\fnil Courier New;\f1\fnil Symbol;}\f1 x})",
            u"<>[f=Symbol fs=12]x");
        row("font name with alternative", R"({\rtf1{\fonttbl{\f0\fswiss{\*\panose 020b}{\*\falt Helv}Arial;}}x})",
            u"<>[f=Arial fs=12]x");
        row("font name in Unicode", R"({\rtf1{\fonttbl{\f0 \u1052?S \'c9;}}x})", u"<>[f=МS É fs=12]x");
        row("fs, odd fs", R"({\rtf1\fs28 a\fs17 b})", u"<>[fs=14]a[fs=8.5]b");
        row("cf cf0, out of table",
            R"({\rtf1{\colortbl ;\red255\green0\blue0;\red0\green128\blue255;}a\cf1 b\cf2 c\cf0 d\cf9 e})",
            u"<>[fs=12]a[fs=12 fg=#ff0000]b[fs=12 fg=#0080ff]c[fs=12]de");
        row("highlight cb chcbpat",
            R"({\rtf1{\colortbl ;\red255\green0\blue0;\red0\green128\blue255;})"
            R"(\highlight2 a\highlight0 b\cb1 c\cb0 d\chcbpat2 e})",
            u"<>[fs=12 bg=#0080ff]a[fs=12]b[fs=12 bg=#ff0000]c[fs=12]d[fs=12 bg=#0080ff]e");
        row("plain",
            R"({\rtf1{\fonttbl{\f0 Arial;}{\f1 Courier;}}{\colortbl;\red1\green2\blue3;})"
            R"(\f1\fs40\b\i\ul\strike\cf1\highlight1 a\plain b})",
            u"<>[f=Courier fs=20 b i u s fg=#010203 bg=#010203]a[f=Arial fs=12]b");
        row("groups", R"({\rtf1\i a{\b b}c})", u"<>[fs=12 i]a[fs=12 b i]b[fs=12 i]c");
        row("pard keeps character formatting", R"({\rtf1\b a\par\pard b})", u"<>[fs=12 b]a\n<>[fs=12 b]b");
        row("qc qr qj ql", R"({\rtf1\qc a\par\qr b\par\qj c\par\ql d\par})",
            u"<qc>[fs=12]a\n<qr>[fs=12]b\n<qj>[fs=12]c\n<>[fs=12]d");
        row("li ri fi", R"({\rtf1\li720\ri360\fi-360 a\par})", u"<li=720 ri=360 fi=-360>[fs=12]a");
        row("lin rin", R"({\rtf1\lin100\rin200 a\par})", u"<li=100 ri=200>[fs=12]a");
        row("sb sa", R"({\rtf1\sb120\sa240 a\par})", u"<sb=120 sa=240>[fs=12]a");
        row("pard resets", R"({\rtf1\qc\li720 a\par\pard b\par})", u"<qc li=720>[fs=12]a\n<>[fs=12]b");
        row("properties last to the next pard", R"({\rtf1\qc\sa100 a\par b\par})",
            u"<qc sa=100>[fs=12]a\n<qc sa=100>[fs=12]b");
        row("properties at the par count", R"({\rtf1 a\qc\par b})", u"<qc>[fs=12]a\n<qc>[fs=12]b");
        row("last paragraph without par", R"({\rtf1 a\par\qr b})", u"<>[fs=12]a\n<qr>[fs=12]b");
        row("paragraph properties in a group", R"({\rtf1{\qc a\par}b\par})", u"<qc>[fs=12]a\n<>[fs=12]b");
    }
    void readsFormatting()
    {
        QFETCH(QByteArray, rtf);
        QFETCH(QString, shown);
        QTextDocument doc;
        QVERIFY(RtfReader::read(rtf, doc));
        QCOMPARE(describe(doc, false), shown);
    }

    void readingEmptiesUndoHistory()
    {
        QTextDocument doc;
        QTextCursor(&doc).insertText(QStringLiteral("typed"));
        QVERIFY(RtfReader::read(kRichEditSample, doc));
        QVERIFY(!doc.isUndoAvailable());
        QVERIFY(doc.isUndoRedoEnabled());
    }

    void fragmentInsertsWithFormatting()
    {
        QTextDocument doc;
        doc.setPlainText(QStringLiteral("[]"));
        QTextCursor c(&doc);
        c.setPosition(1);
        c.insertFragment(RtfReader::readFragment(R"({\rtf1 a\b b\par})"));
        QCOMPARE(c.position(), 3);
        QCOMPARE(describe(doc, false), QStringLiteral("<>[][[fs=12]a[fs=12 b]b[]]"));
        c.insertFragment(RtfReader::readFragment(R"({\rtf1 x\par y\par})"));
        QCOMPARE(doc.toPlainText(), QStringLiteral("[abx\ny]"));
    }

    void writesRichEditSampleExactly()
    {
        QTextDocument doc;
        doc.setDefaultFont(QFont(QStringLiteral("Arial"), 10));
        QTextCursor c(&doc);
        c.insertText(QStringLiteral("Hello "));
        QTextCharFormat bold;
        bold.setFontWeight(QFont::Bold);
        c.insertText(QStringLiteral("bold"), bold);
        QCOMPARE(RtfWriter::write(doc),
                 QByteArray("{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1{\\fonttbl{\\f0\\fnil\\fcharset0 Arial;}}\r\n"
                            "{\\colortbl ;}\r\n"
                            "{\\*\\generator Tessaly 2002;}\\viewkind4\r\n"
                            "\\pard\\fs20 Hello \\b bold\\par\r\n"
                            "}"));
    }

    void writesCharacters_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("rtf");
        auto row = [](const char* name, const char16_t* text, const char* rtf) {
            QTest::newRow(name) << QString::fromUtf16(text) << QByteArray(rtf);
        };
        row("ASCII", u"Hello, world!", "Hello, world!");
        row("RTF's own characters", u"a\\b{c}d", R"(a\\b\{c\}d)");
        row("code page 1252", u"café € “q” Ÿ", R"(caf\'e9 \'80 \'93q\'94 \'9f)");
        row("outside 1252", u"Жx", R"(\u1046 ?x)");
        row("negative \\u", u"\uf020", R"(\u-4064 ?)");
        row("outside the BMP", u"😀", R"(\u-10179 ?\u-8704 ?)");
        row("tab", u"a\tb", R"(a\tab b)");
        row("line break", u"a\u2028b", R"(a\line b)");
        row("no-break space", u"a\u00a0b", R"(a\~b)");
        row("digits after a word", u"\t1", R"(\tab 1)");
        row("controls left out", u"a\u0001\u001fb", "ab");
    }
    void writesCharacters()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, rtf);
        QTextDocument doc;
        doc.setDefaultFont(QFont(QStringLiteral("Arial"), 12));
        QTextCursor(&doc).insertText(text);
        // A blank ends \pard only where the text would run into it.
        const QByteArray delimiter = rtf.startsWith('\\') ? "" : " ";
        QCOMPARE(body(RtfWriter::write(doc)), QByteArray("\\pard" + delimiter + rtf + "\\par\r\n"));
    }

    void writesFontAndColourTables()
    {
        QTextDocument doc;
        doc.setDefaultFont(QFont(QStringLiteral("Arial"), 12));
        QTextCursor c(&doc);
        QTextCharFormat red = fmt(QStringLiteral("Courier New"), 9);
        red.setForeground(QColor(255, 0, 0));
        QTextCharFormat marked = fmt(QStringLiteral("Arial"), 12);
        marked.setBackground(QColor(255, 255, 0));
        marked.setFontItalic(true);
        marked.setFontUnderline(true);
        marked.setFontStrikeOut(true);
        c.insertText(QStringLiteral("a"), red);
        c.insertText(QStringLiteral("b"), marked);
        c.insertText(QStringLiteral("c"), fmt(QStringLiteral("Caf\u00e9 {Sans};"), 12));
        c.insertText(QStringLiteral("d"), fmt(QStringLiteral("Arial"), 12));
        const QByteArray rtf = RtfWriter::write(doc);
        QVERIFY2(rtf.contains(R"({\fonttbl{\f0\fnil\fcharset0 Courier New;}{\f1\fnil\fcharset0 Arial;})"
                              R"({\f2\fnil\fcharset0 Caf\'e9 \{Sans\};}})"),
                 rtf.constData());
        QVERIFY2(rtf.contains(R"({\colortbl ;\red255\green0\blue0;\red255\green255\blue0;})"), rtf.constData());
        QCOMPARE(body(rtf), QByteArray(R"(\pard\fs18\cf1 a\f1\fs24\i\ul\strike\cf0\highlight2 b\f2\i0\ulnone\strike0)"
                                       R"(\highlight0 c\f1 d\par)"
                                       "\r\n"));
        // A font name ends at its semicolon.
        QTextDocument back;
        QVERIFY(RtfReader::read(rtf, back));
        QCOMPARE(describe(back, false),
                 QString::fromUtf16(u"<>[f=Courier New fs=9 fg=#ff0000]a[f=Arial fs=12 i u s bg=#ffff00]b"
                                    u"[f=Café {Sans} fs=12]c[f=Arial fs=12]d"));
    }

    void writesParagraphFormatting()
    {
        QTextDocument doc;
        doc.setDefaultFont(QFont(QStringLiteral("Arial"), 12));
        QTextCursor c(&doc);
        QTextBlockFormat centred;
        centred.setAlignment(Qt::AlignHCenter);
        centred.setLeftMargin(48);
        centred.setRightMargin(24);
        centred.setTextIndent(-24);
        centred.setTopMargin(8);
        centred.setBottomMargin(16);
        c.setBlockFormat(centred);
        c.insertText(QStringLiteral("a"));
        c.insertBlock();  // same format: no new \pard
        c.insertText(QStringLiteral("b"));
        QTextBlockFormat right;
        right.setAlignment(Qt::AlignRight);
        c.insertBlock(right);
        c.insertText(QStringLiteral("c"));
        QTextBlockFormat justified;
        justified.setAlignment(Qt::AlignJustify);
        justified.setIndent(1);
        c.insertBlock(justified);
        c.insertBlock(QTextBlockFormat());
        QCOMPARE(body(RtfWriter::write(doc)), QByteArray("\\pard\\qc\\li720\\ri360\\fi-360\\sb120\\sa240 a\\par\r\n"
                                                         "b\\par\r\n"
                                                         "\\pard\\qr c\\par\r\n"
                                                         "\\pard\\qj\\li600\\par\r\n"
                                                         "\\pard\\par\r\n"));
    }

    void writesSelection()
    {
        QTextDocument doc;
        doc.setDefaultFont(QFont(QStringLiteral("Arial"), 12));
        QTextCursor c(&doc);
        QTextBlockFormat centred;
        centred.setAlignment(Qt::AlignHCenter);
        c.setBlockFormat(centred);
        c.insertText(QStringLiteral("one "));
        c.insertText(QStringLiteral("two"), fmt(QStringLiteral("Arial"), 12, true));
        c.insertText(QStringLiteral(" three"), fmt(QStringLiteral("Arial"), 12));
        c.setPosition(4);
        c.setPosition(7, QTextCursor::KeepAnchor);
        const QByteArray rtf = RtfWriter::writeSelection(c);
        QVERIFY(rtf.startsWith("{\\rtf1"));
        QCOMPARE(body(rtf), QByteArray("\\pard\\qc\\b two\\par\r\n"));

        c.setPosition(2);
        c.insertBlock(QTextBlockFormat());  // "on" | "e two three", the second not centred
        c.setPosition(1);
        c.setPosition(5, QTextCursor::KeepAnchor);
        QCOMPARE(body(RtfWriter::writeSelection(c)), QByteArray("\\pard\\qc n\\par\r\n\\pard e \\par\r\n"));

        c.clearSelection();
        QCOMPARE(readText(RtfWriter::writeSelection(c)), QString());
    }

    void outputIsAscii()
    {
        QTextDocument doc;
        QTextCursor(&doc).insertText(QString::fromUtf16(u"ÄÖÜ äöü ß € Ж 日本 😀 \u00a0\u2028\t\\{}"),
                                     fmt(QString::fromUtf16(u"Schrift Ä 日本"), 11));
        const QByteArray rtf = RtfWriter::write(doc);
        QVERIFY2(std::all_of(rtf.begin(), rtf.end(), [](char ch) { return uchar(ch) < 0x80; }), rtf.constData());
    }

    // Every kind of formatting the writer knows, mixed: it all reads back.
    void roundTripOfBuiltDocument()
    {
        QTextDocument doc;
        doc.setDefaultFont(QFont(QStringLiteral("Arial"), 10));
        QTextCursor c(&doc);
        const QString families[] = {QStringLiteral("Arial"), QStringLiteral("Times New Roman"),
                                    QStringLiteral("Courier New")};
        const QColor colours[] = {QColor(255, 0, 0), QColor(0, 128, 0), QColor(0, 0, 255)};
        const Qt::Alignment alignments[] = {Qt::AlignLeft, Qt::AlignHCenter, Qt::AlignRight, Qt::AlignJustify};
        const QString words[] = {QStringLiteral("plain"), QString::fromUtf16(u"café"), QString::fromUtf16(u"Жук"),
                                 QString::fromUtf16(u"€100"), QString::fromUtf16(u"日本😀"), QStringLiteral("{x}\\y"),
                                 QStringLiteral("a\tb"), QString::fromUtf16(u"a\u2028b\u00a0c")};
        for (int p = 0; p < 12; ++p) {
            QTextBlockFormat bf;
            bf.setAlignment(alignments[p % 4]);
            bf.setLeftMargin((p % 3) * 24);
            bf.setRightMargin((p % 2) * 12);
            bf.setTextIndent(p % 5 == 0 ? -12 : 0);
            bf.setTopMargin(p % 3 == 1 ? 4 : 0);
            bf.setBottomMargin(p % 4 == 3 ? 8 : 0);
            if (p == 0)
                c.setBlockFormat(bf);
            else
                c.insertBlock(bf, fmt(families[p % 3], 9 + p));
            for (int w = 0; w < 8 && p != 5; ++w) {  // paragraph 5 stays empty, with its own format
                QTextCharFormat f = fmt(families[(p + w) % 3], 8 + (p + w) % 7 * 1.5, (p + w) % 2);
                f.setFontItalic((p + w) % 3 == 0);
                f.setFontUnderline((p * w) % 4 == 1);
                f.setFontStrikeOut(w == 7);
                if ((p + w) % 4 == 2)
                    f.setForeground(colours[w % 3]);
                if ((p + w) % 5 == 3)
                    f.setBackground(colours[(w + 1) % 3]);
                c.insertText(words[w] + QLatin1Char(' '), f);
            }
        }
        c.insertBlock();  // a trailing empty paragraph
        checkRoundTrip(doc);
    }

    // Files of others and the shipped help file: what we write of them
    // reads back as we read them.
    void roundTripOfFiles_data()
    {
        QTest::addColumn<QByteArray>("rtf");
        const QDir seeds(sourceDir() + QStringLiteral("/fuzz/seeds/rtf"));
        const QStringList names = seeds.entryList(QDir::Files, QDir::Name);
        QVERIFY2(!names.isEmpty(), qPrintable(seeds.path()));
        for (const QString& name : names)
            QTest::newRow(qPrintable(name)) << readFile(seeds.filePath(name));
        QTest::newRow("help file") << readFile(sourceDir() + QStringLiteral("/resources/Data/help.doc"));
    }
    void roundTripOfFiles()
    {
        QFETCH(QByteArray, rtf);
        QTextDocument doc;
        QVERIFY(RtfReader::read(rtf, doc));
        checkRoundTrip(doc);
    }

    // pandoc, an RTF reader written by others, finds our text where we put it.
    void pandocReadsOurOutput()
    {
        const QString pandoc = QStandardPaths::findExecutable(QStringLiteral("pandoc"));
        if (pandoc.isEmpty())
            QSKIP("pandoc is not installed");
        // pandoc 2.17 reads each half of a surrogate pair on its own, so no
        // character outside the BMP here.
        QTextDocument doc;
        QVERIFY(RtfReader::read(R"({\rtf1 Hello \b bold\b0\par caf\'e9 \'80 \u1046?\u1091?\u1082? ok})", doc));
        QTemporaryDir dir;
        QFile file(dir.filePath(QStringLiteral("note.rtf")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(RtfWriter::write(doc));
        file.close();
        QProcess p;
        p.start(pandoc, {QStringLiteral("-f"), QStringLiteral("rtf"), QStringLiteral("-t"), QStringLiteral("markdown"),
                         file.fileName()});
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(p.exitCode(), 0);
        QCOMPARE(QString::fromUtf8(p.readAllStandardOutput()).trimmed(),
                 QString::fromUtf16(u"Hello **bold**\n\ncafé € Жук ok"));
    }
};

QTEST_MAIN(TestRtf)
#include "test_rtf.moc"
