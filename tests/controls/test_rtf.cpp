// The RTF reader and writer on their own, without a window.

#include "RtfTestUtil.h"
#include "controls/RtfReader.h"
#include "controls/RtfWriter.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>

#include <algorithm>
#include <ctime>

using namespace RtfTest;

namespace {

const QByteArray kRichEditSample =
    R"({\rtf1\ansi\ansicpg1252\deff0{\fonttbl{\f0\fswiss\fcharset0 Arial;}}\viewkind4\uc1\pard\f0\fs20 Hello \b bold\b0\par})";

// The text with paragraph breaks as "\n" and every other character as stored
// (line breaks stay U+2028, no-break spaces U+00A0).
QString rawText(const QTextDocument& doc)
{
    QString s = doc.toRawText();
    s.replace(QChar::ParagraphSeparator, u'\n');
    return s;
}

QString readText(const QByteArray& rtf)
{
    QTextDocument doc;
    if (!RtfReader::read(rtf, doc))
        return QStringLiteral("<not RTF>");
    return rawText(doc);
}

QString sourceDir() { return qEnvironmentVariable("TESSALY_SOURCE_DIR", QStringLiteral(TESSALY_SOURCE_DIR_FALLBACK)); }

// The body between the header and the closing brace.
QByteArray body(const QByteArray& rtf)
{
    const qsizetype start = rtf.indexOf("\\viewkind4\r\n");
    return rtf.mid(start + 12, rtf.size() - start - 12 - 1);
}

QTextCharFormat fmt(const QString& family, double points)
{
    QTextCharFormat f;
    f.setFontFamilies({family});
    f.setFontPointSize(points);
    return f;
}

}  // namespace

class TestRtf : public QObject {
    Q_OBJECT
private slots:
    void detectsRtf_data();
    void detectsRtf();
    void decodesPlainText_data();
    void decodesPlainText();

    void readsCharacterFormatting_data();
    void readsCharacterFormatting();
    void readsParagraphFormatting_data();
    void readsParagraphFormatting();
    void readsText_data();
    void readsText();
    void readsCodePagesAndUnicode_data();
    void readsCodePagesAndUnicode();
    void survivesMalformedInput_data();
    void survivesMalformedInput();
    void notRtfLeavesDocumentAlone();
    void readingEmptiesUndoHistory();
    void fragmentInsertsWithFormatting();

    void writesRichEditSampleExactly();
    void writesCharacters_data();
    void writesCharacters();
    void writesFontAndColourTables();
    void writesParagraphFormatting();
    void writesSelection();
    void outputIsAscii();

    void readingIsLinear();
    void roundTripOfBuiltDocument();
    void roundTripOfFiles_data();
    void roundTripOfFiles();
    void pandocReadsOurOutput();
};

void TestRtf::detectsRtf_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<bool>("rtf");
    QTest::newRow("header") << QByteArray(R"({\rtf1\ansi x})") << true;
    QTest::newRow("blanks first") << QByteArray(" \r\n\t{\\rtf1 x}") << true;
    QTest::newRow("UTF-8 mark first") << QByteArray("\xEF\xBB\xBF{\\rtf1 x}") << true;
    QTest::newRow("plain text") << QByteArray("Hello {\\rtf1}") << false;
    QTest::newRow("empty") << QByteArray() << false;
    QTest::newRow("cut short") << QByteArray("{\\rt") << false;
    QTest::newRow("word document") << QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1") << false;
}

void TestRtf::detectsRtf()
{
    QFETCH(QByteArray, data);
    QFETCH(bool, rtf);
    QCOMPARE(RtfReader::isRtf(data), rtf);
}

void TestRtf::decodesPlainText_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("text");
    QTest::newRow("ASCII") << QByteArray("plain\r\ntext") << QStringLiteral("plain\r\ntext");
    QTest::newRow("UTF-8") << QByteArray("caf\xC3\xA9 \xE2\x82\xAC") << QStringLiteral(u"café €");
    QTest::newRow("UTF-8 with mark") << QByteArray("\xEF\xBB\xBF\xC3\xA9") << QStringLiteral(u"é");
    QTest::newRow("UTF-16LE with mark") << QByteArray("\xFF\xFE" "a\0\xE9\0", 6) << QStringLiteral(u"aé");
    QTest::newRow("code page 1252") << QByteArray("caf\xE9 \x80 \x93q\x94") << QStringLiteral(u"café € “q”");
}

void TestRtf::decodesPlainText()
{
    QFETCH(QByteArray, data);
    QFETCH(QString, text);
    QCOMPARE(RtfReader::decodePlainText(data), text);
}

void TestRtf::readsCharacterFormatting_data()
{
    QTest::addColumn<QByteArray>("rtf");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("attrs");

    auto row = [](const char* name, const char* rtf, const char16_t* text, int position, const char* attrs) {
        QTest::newRow(name) << QByteArray(rtf) << QString::fromUtf16(text) << position << QString::fromUtf8(attrs);
    };
    row("rich-edit sample, plain", kRichEditSample.constData(), u"Hello bold", 0, "f=Arial fs=10");
    row("rich-edit sample, bold", kRichEditSample.constData(), u"Hello bold", 6, "f=Arial fs=10 b");
    row("no font table: size 12", R"({\rtf1 a})", u"a", 0, "fs=12");
    row("b", R"({\rtf1 a\b b\b0 c})", u"abc", 1, "fs=12 b");
    row("b0", R"({\rtf1 a\b b\b0 c})", u"abc", 2, "fs=12");
    row("b1", R"({\rtf1 \b1 a})", u"a", 0, "fs=12 b");
    row("i", R"({\rtf1 a\i b\i0 c})", u"abc", 1, "fs=12 i");
    row("i0", R"({\rtf1 a\i b\i0 c})", u"abc", 2, "fs=12");
    row("ul", R"({\rtf1 a\ul b\ulnone c\ul d\ul0 e})", u"abcde", 1, "fs=12 u");
    row("ulnone", R"({\rtf1 a\ul b\ulnone c\ul d\ul0 e})", u"abcde", 2, "fs=12");
    row("ul0", R"({\rtf1 a\ul b\ulnone c\ul d\ul0 e})", u"abcde", 4, "fs=12");
    row("uldb", R"({\rtf1 \uldb a})", u"a", 0, "fs=12 u");
    row("strike", R"({\rtf1 a\strike b\strike0 c})", u"abc", 1, "fs=12 s");
    row("strike0", R"({\rtf1 a\strike b\strike0 c})", u"abc", 2, "fs=12");
    const char* fonts =
        R"({\rtf1\deff1{\fonttbl{\f0\froman\fcharset0 Times New Roman;}{\f1\fswiss Arial;}}a\f0 b\f7 c})";
    row("deff", fonts, u"abc", 0, "f=Arial fs=12");
    row("f", fonts, u"abc", 1, "f=Times New Roman fs=12");
    row("f unknown: default font", fonts, u"abc", 2, "f=Arial fs=12");
    row("font table without groups", R"({\rtf1{\fonttbl\f0\fnil Courier New;\f1\fnil Symbol;}\f1 x})", u"x", 0,
        "f=Symbol fs=12");
    row("font name with alternative", R"({\rtf1{\fonttbl{\f0\fswiss{\*\panose 020b}{\*\falt Helv}Arial;}}x})", u"x",
        0, "f=Arial fs=12");
    row("font name in Unicode", R"({\rtf1{\fonttbl{\f0 \u1052?S \'c9;}}x})", u"x", 0, "f=МS É fs=12");
    row("fs", R"({\rtf1\fs28 a\fs17 b})", u"ab", 0, "fs=14");
    row("fs odd", R"({\rtf1\fs28 a\fs17 b})", u"ab", 1, "fs=8.5");
    const char* colours =
        R"({\rtf1{\colortbl ;\red255\green0\blue0;\red0\green128\blue255;}a\cf1 b\cf2 c\cf0 d\cf9 e})";
    row("cf", colours, u"abcde", 1, "fs=12 fg=#ff0000");
    row("cf second", colours, u"abcde", 2, "fs=12 fg=#0080ff");
    row("cf0", colours, u"abcde", 3, "fs=12");
    row("cf out of table", colours, u"abcde", 4, "fs=12");
    const char* back = R"({\rtf1{\colortbl ;\red255\green0\blue0;\red0\green128\blue255;}\highlight2 a\highlight0 b)"
                       R"(\cb1 c\cb0 d\chcbpat2 e})";
    row("highlight", back, u"abcde", 0, "fs=12 bg=#0080ff");
    row("highlight0", back, u"abcde", 1, "fs=12");
    row("cb", back, u"abcde", 2, "fs=12 bg=#ff0000");
    row("cb0", back, u"abcde", 3, "fs=12");
    row("chcbpat", back, u"abcde", 4, "fs=12 bg=#0080ff");
    row("plain",
        R"({\rtf1{\fonttbl{\f0 Arial;}{\f1 Courier;}}{\colortbl;\red1\green2\blue3;}\f1\fs40\b\i\ul\strike\cf1\highlight1 a\plain b})",
        u"ab", 1, "f=Arial fs=12");
    row("group ends formatting", R"({\rtf1 a{\b b}c})", u"abc", 2, "fs=12");
    row("group keeps formatting inside", R"({\rtf1\i a{\b b}c})", u"abc", 1, "fs=12 b i");
    row("pard keeps character formatting", R"({\rtf1\b a\par\pard b})", u"a\nb", 2, "fs=12 b");
}

void TestRtf::readsCharacterFormatting()
{
    QFETCH(QByteArray, rtf);
    QFETCH(QString, text);
    QFETCH(int, position);
    QFETCH(QString, attrs);
    QTextDocument doc;
    QVERIFY(RtfReader::read(rtf, doc));
    QCOMPARE(rawText(doc), text);
    QCOMPARE(charAttrsAt(doc, position), attrs);
}

void TestRtf::readsParagraphFormatting_data()
{
    QTest::addColumn<QByteArray>("rtf");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("attrs");

    auto row = [](const char* name, const char* rtf, const char* text, int position, const char* attrs) {
        QTest::newRow(name) << QByteArray(rtf) << QString::fromLatin1(text) << position << QString::fromLatin1(attrs);
    };
    const char* aligned = R"({\rtf1\qc a\par\qr b\par\qj c\par\ql d\par})";
    row("qc", aligned, "a\nb\nc\nd", 0, "qc");
    row("qr", aligned, "a\nb\nc\nd", 2, "qr");
    row("qj", aligned, "a\nb\nc\nd", 4, "qj");
    row("ql", aligned, "a\nb\nc\nd", 6, "");
    row("li ri fi", R"({\rtf1\li720\ri360\fi-360 a\par})", "a", 0, "li=720 ri=360 fi=-360");
    row("lin rin", R"({\rtf1\lin100\rin200 a\par})", "a", 0, "li=100 ri=200");
    row("sb sa", R"({\rtf1\sb120\sa240 a\par})", "a", 0, "sb=120 sa=240");
    row("pard resets", R"({\rtf1\qc\li720 a\par\pard b\par})", "a\nb", 2, "");
    row("properties last to the next pard", R"({\rtf1\qc\sa100 a\par b\par})", "a\nb", 2, "qc sa=100");
    row("properties at the par count", R"({\rtf1 a\qc\par b})", "a\nb", 0, "qc");
    row("last paragraph without par", R"({\rtf1 a\par\qr b})", "a\nb", 2, "qr");
    row("paragraph properties in a group", R"({\rtf1{\qc a\par}b\par})", "a\nb", 2, "");
}

void TestRtf::readsParagraphFormatting()
{
    QFETCH(QByteArray, rtf);
    QFETCH(QString, text);
    QFETCH(int, position);
    QFETCH(QString, attrs);
    QTextDocument doc;
    QVERIFY(RtfReader::read(rtf, doc));
    QCOMPARE(rawText(doc), text);
    QCOMPARE(paraAttrsAt(doc, position), attrs);
}

void TestRtf::readsText_data()
{
    QTest::addColumn<QByteArray>("rtf");
    QTest::addColumn<QString>("text");
    auto row = [](const char* name, const QByteArray& rtf, const char16_t* text) {
        QTest::newRow(name) << rtf << QString::fromUtf16(text);
    };
    row("par", R"({\rtf1 a\par b})", u"a\nb");
    row("final par ends the last paragraph", R"({\rtf1 a\par})", u"a");
    row("empty paragraphs", R"({\rtf1 a\par\par b\par\par})", u"a\n\nb\n");
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
    row("field shows its result", R"({\rtf1 {\field{\*\fldinst HYPERLINK "http://x"}{\fldrslt link}}})", u"link");
    row("list text kept", R"({\rtf1{\pntext\'b7\tab}item{\*\pn\pnlvlblt{\pntxtb\'b7}}})", u"\u00b7\titem");
    row("upr takes the Unicode part", R"({\rtf1{\upr{ansi text}{\*\ud{unicode text}}}})", u"unicode text");
    row("table cells", R"({\rtf1\trowd\cellx1000\cellx2000 a\cell b\cell\row c})", u"a\tb\t\nc");
    row("line ends in the source are no text", "{\\rtf1 a\r\nb\rc\nd}", u"abcd");
    row("backslash and line end: par", "{\\rtf1 a\\\r\nb}", u"a\nb");
    row("after the closing brace", "{\\rtf1 a}\r\n", u"a");
    row("empty document", "{\\rtf1}", u"");
}

void TestRtf::readsText()
{
    QFETCH(QByteArray, rtf);
    QFETCH(QString, text);
    QCOMPARE(readText(rtf), text);
}

void TestRtf::readsCodePagesAndUnicode_data()
{
    QTest::addColumn<QByteArray>("rtf");
    QTest::addColumn<QString>("text");
    auto row = [](const char* name, const QByteArray& rtf, const char16_t* text) {
        QTest::newRow(name) << rtf << QString::fromUtf16(text);
    };
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
}

void TestRtf::readsCodePagesAndUnicode()
{
    QFETCH(QByteArray, rtf);
    QFETCH(QString, text);
    QCOMPARE(readText(rtf), text);
}

void TestRtf::survivesMalformedInput_data()
{
    QTest::addColumn<QByteArray>("rtf");
    QTest::addColumn<QString>("text");
    auto row = [](const char* name, const QByteArray& rtf, const char16_t* text) {
        QTest::newRow(name) << rtf << QString::fromUtf16(text);
    };
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

void TestRtf::survivesMalformedInput()
{
    QFETCH(QByteArray, rtf);
    QFETCH(QString, text);
    QCOMPARE(readText(rtf), text);
}

void TestRtf::notRtfLeavesDocumentAlone()
{
    QTextDocument doc;
    doc.setPlainText(QStringLiteral("kept"));
    QVERIFY(!RtfReader::read("plain text", doc));
    QCOMPARE(doc.toPlainText(), QStringLiteral("kept"));
    QVERIFY(RtfReader::readFragment("plain text").isEmpty());
}

void TestRtf::readingEmptiesUndoHistory()
{
    QTextDocument doc;
    QTextCursor(&doc).insertText(QStringLiteral("typed"));
    QVERIFY(doc.isUndoAvailable());
    QVERIFY(RtfReader::read(kRichEditSample, doc));
    QVERIFY(!doc.isUndoAvailable());
    QVERIFY(doc.isUndoRedoEnabled());
    QCOMPARE(doc.toPlainText(), QStringLiteral("Hello bold"));
}

void TestRtf::fragmentInsertsWithFormatting()
{
    QTextDocument doc;
    doc.setPlainText(QStringLiteral("[]"));
    QTextCursor c(&doc);
    c.setPosition(1);
    c.insertFragment(RtfReader::readFragment(R"({\rtf1 a\b b\par})"));
    QCOMPARE(doc.toPlainText(), QStringLiteral("[ab]"));
    QCOMPARE(c.position(), 3);
    QCOMPARE(charAttrsAt(doc, 2), QStringLiteral("fs=12 b"));

    c.insertFragment(RtfReader::readFragment(R"({\rtf1 x\par y\par})"));
    QCOMPARE(doc.toPlainText(), QStringLiteral("[abx\ny]"));
}

void TestRtf::writesRichEditSampleExactly()
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

void TestRtf::writesCharacters_data()
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

void TestRtf::writesCharacters()
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

void TestRtf::writesFontAndColourTables()
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
    QTextCharFormat odd = fmt(QStringLiteral("Caf\u00e9 {Sans};"), 12);
    c.insertText(QStringLiteral("a"), red);
    c.insertText(QStringLiteral("b"), marked);
    c.insertText(QStringLiteral("c"), odd);
    c.insertText(QStringLiteral("d"), fmt(QStringLiteral("Arial"), 12));
    const QByteArray rtf = RtfWriter::write(doc);
    QVERIFY2(rtf.contains(R"({\fonttbl{\f0\fnil\fcharset0 Courier New;}{\f1\fnil\fcharset0 Arial;})"
                          R"({\f2\fnil\fcharset0 Caf\'e9 \{Sans\};}})"),
             rtf.constData());
    QVERIFY2(rtf.contains(R"({\colortbl ;\red255\green0\blue0;\red255\green255\blue0;})"), rtf.constData());
    QCOMPARE(body(rtf), QByteArray(R"(\pard\fs18\cf1 a\f1\fs24\i\ul\strike\cf0\highlight2 b\f2\i0\ulnone\strike0)"
                                   R"(\highlight0 c\f1 d\par)"
                                   "\r\n"));

    QTextDocument back;
    QVERIFY(RtfReader::read(rtf, back));
    QCOMPARE(charAttrsAt(back, 0), QStringLiteral("f=Courier New fs=9 fg=#ff0000"));
    QCOMPARE(charAttrsAt(back, 1), QStringLiteral("f=Arial fs=12 i u s bg=#ffff00"));
    QCOMPARE(charAttrsAt(back, 2), QStringLiteral("f=Caf\u00e9 {Sans} fs=12"));
}

void TestRtf::writesParagraphFormatting()
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

void TestRtf::writesSelection()
{
    QTextDocument doc;
    doc.setDefaultFont(QFont(QStringLiteral("Arial"), 12));
    QTextCursor c(&doc);
    QTextBlockFormat centred;
    centred.setAlignment(Qt::AlignHCenter);
    c.setBlockFormat(centred);
    c.insertText(QStringLiteral("one "));
    QTextCharFormat bold = fmt(QStringLiteral("Arial"), 12);
    bold.setFontWeight(QFont::Bold);
    c.insertText(QStringLiteral("two"), bold);
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
    QVERIFY(RtfWriter::writeSelection(c).startsWith("{\\rtf1"));
    QTextDocument empty;
    QVERIFY(RtfReader::read(RtfWriter::writeSelection(c), empty));
    QCOMPARE(empty.toPlainText(), QString());
}

void TestRtf::outputIsAscii()
{
    QTextDocument doc;
    QTextCursor(&doc).insertText(QString::fromUtf16(u"ÄÖÜ äöü ß € Ж 日本 😀 \u00a0\u2028\t\\{}"),
                                 fmt(QString::fromUtf16(u"Schrift Ä 日本"), 11));
    const QByteArray rtf = RtfWriter::write(doc);
    for (char ch : rtf)
        QVERIFY2(static_cast<unsigned char>(ch) < 0x80, rtf.constData());
}

namespace {

double cpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

QByteArray mixedNote(int paragraphs)
{
    QByteArray rtf = R"({\rtf1\ansi{\fonttbl{\f0 Arial;}{\f1 Courier;}}{\colortbl;\red255\green0\blue0;})";
    for (int i = 0; i < paragraphs; ++i)
        rtf += R"(\pard\qj\li360 Some \b bold\b0 , \i italic\i0 , {\f1\cf1 red code} and caf\'e9 \u1046 ? text.\par)";
    return rtf + '}';
}

}  // namespace

// Eight times the input costs about eight times the time, not sixty-four.
void TestRtf::readingIsLinear()
{
    auto cost = [](const QByteArray& rtf) {
        double best = 1e9;
        for (int i = 0; i < 3; ++i) {
            QTextDocument doc;
            const double start = cpuSeconds();
            RtfReader::read(rtf, doc);
            best = std::min(best, cpuSeconds() - start);
        }
        return best;
    };
    const QByteArray small = mixedNote(4000);
    const QByteArray large = mixedNote(32000);
    const double ratio = cost(large) / cost(small);
    QVERIFY2(ratio < 20, qPrintable(QStringLiteral("8x the input took %1x the time").arg(ratio)));
}

void TestRtf::roundTripOfBuiltDocument()
{
    QTextDocument doc;
    doc.setDefaultFont(QFont(QStringLiteral("Arial"), 10));
    QTextCursor c(&doc);
    const QString families[] = {QStringLiteral("Arial"), QStringLiteral("Times New Roman"),
                                QStringLiteral("Courier New")};
    const QColor colours[] = {QColor(255, 0, 0), QColor(0, 128, 0), QColor(0, 0, 255)};
    const QString words[] = {QStringLiteral("plain"), QString::fromUtf16(u"café"), QString::fromUtf16(u"Жук"),
                             QString::fromUtf16(u"€100"), QString::fromUtf16(u"日本😀"), QStringLiteral("{x}\\y"),
                             QStringLiteral("a\tb"), QString::fromUtf16(u"a\u2028b\u00a0c")};
    for (int p = 0; p < 12; ++p) {
        QTextBlockFormat bf;
        bf.setAlignment(p % 4 == 0 ? Qt::AlignLeft : p % 4 == 1 ? Qt::AlignHCenter : p % 4 == 2 ? Qt::AlignRight
                                                                                                 : Qt::AlignJustify);
        bf.setLeftMargin((p % 3) * 24);
        bf.setRightMargin((p % 2) * 12);
        bf.setTextIndent(p % 5 == 0 ? -12 : 0);
        bf.setTopMargin(p % 3 == 1 ? 4 : 0);
        bf.setBottomMargin(p % 4 == 3 ? 8 : 0);
        if (p == 0)
            c.setBlockFormat(bf);
        else
            c.insertBlock(bf, fmt(families[p % 3], 9 + p));
        if (p == 5)
            continue;  // an empty paragraph with its own format
        for (int w = 0; w < 8; ++w) {
            QTextCharFormat f = fmt(families[(p + w) % 3], 8 + (p + w) % 7 * 1.5);
            f.setFontWeight((p + w) % 2 ? QFont::Bold : QFont::Normal);
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

    const QByteArray first = RtfWriter::write(doc);
    QTextDocument back;
    QVERIFY(RtfReader::read(first, back));
    QCOMPARE(back.blockCount(), doc.blockCount());
    QCOMPARE(back.toRawText(), doc.toRawText());
    QCOMPARE(describe(back), describe(doc));
    QCOMPARE(RtfWriter::write(back), first);
}

void TestRtf::roundTripOfFiles_data()
{
    QTest::addColumn<QByteArray>("rtf");
    QTest::newRow("rich-edit sample") << kRichEditSample;
    const QDir seeds(sourceDir() + QStringLiteral("/fuzz/seeds/rtf"));
    const QStringList names = seeds.entryList(QDir::Files, QDir::Name);
    QVERIFY2(!names.isEmpty(), qPrintable(seeds.path()));
    for (const QString& name : names)
        QTest::newRow(qPrintable(name)) << readFile(seeds.filePath(name));
    QTest::newRow("help file") << readFile(sourceDir() + QStringLiteral("/resources/Data/help.doc"));
}

void TestRtf::roundTripOfFiles()
{
    QFETCH(QByteArray, rtf);
    QTextDocument doc;
    QVERIFY(RtfReader::read(rtf, doc));
    const QByteArray first = RtfWriter::write(doc);
    QTextDocument back;
    QVERIFY(RtfReader::read(first, back));
    QCOMPARE(back.toRawText(), doc.toRawText());
    QCOMPARE(describe(back), describe(doc));
    QCOMPARE(RtfWriter::write(back), first);
}

// pandoc, an RTF reader written by others, finds our text where we put it.
void TestRtf::pandocReadsOurOutput()
{
    const QString pandoc = QStandardPaths::findExecutable(QStringLiteral("pandoc"));
    if (pandoc.isEmpty())
        QSKIP("pandoc is not installed");
    QTextDocument doc;
    QTextCursor c(&doc);
    c.insertText(QStringLiteral("Hello "), fmt(QStringLiteral("Arial"), 10));
    QTextCharFormat bold = fmt(QStringLiteral("Arial"), 10);
    bold.setFontWeight(QFont::Bold);
    c.insertText(QStringLiteral("bold"), bold);
    c.insertBlock(QTextBlockFormat(), fmt(QStringLiteral("Arial"), 10));
    // pandoc 2.17 reads each half of a surrogate pair on its own, so no
    // character outside the BMP here.
    c.insertText(QString::fromUtf16(u"café € Жук ok"));
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

QTEST_MAIN(TestRtf)
#include "test_rtf.moc"
