// The RTF reader on its own, without a window.

#include "RtfTestUtil.h"
#include "rtf/RtfReader.h"

#include <QTest>
#include <QTextDocumentFragment>

using namespace RtfTest;

class TestRtfRead : public QObject {
    Q_OBJECT
private slots:
    // RTF is told by its start; what is not RTF is neither read nor inserted
    // and leaves the document as it was; other text decodes by its marks.
    void detectsRtfAndDecodesPlainText()
    {
        for (const auto& [data, rtf] : {std::pair<QByteArray, bool>{R"({\rtf1\ansi x})", true},
                                        {" \r\n\t{\\rtf1 x}", true},
                                        {"\xEF\xBB\xBF{\\rtf1 x}", true},
                                        {"Hello {\\rtf1}", false},
                                        {"", false},
                                        {"{\\rt", false}}) {
            QTextDocument doc;
            doc.setPlainText(QStringLiteral("kept"));
            QCOMPARE(RtfReader::read(data, doc), rtf);
            QCOMPARE(doc.toPlainText(), rtf ? QStringLiteral("x") : QStringLiteral("kept"));
            QCOMPARE(RtfReader::readFragment(data).isEmpty(), !rtf);
        }
        for (const auto& [data, text] : {std::pair<QByteArray, QString>{"caf\xC3\xA9", u"café"_qs},
                                         {"\xEF\xBB\xBF\xC3\xA9", u"é"_qs},
                                         {QByteArray("\xFF\xFE"
                                                     "a\0\xE9\0",
                                                     6),
                                          u"aé"_qs},
                                         {"caf\xE9 \x80 \x93q\x94", u"café € “q”"_qs}})
            QCOMPARE(RtfReader::decodePlainText(data), text);
    }

    // What each control word does to the text and formatting, and what
    // damaged input leaves.
    void reads_data()
    {
        QTest::addColumn<QByteArray>("rtf");
        QTest::addColumn<QString>("expected");
        auto row = [](const char* name, const QByteArray& rtf, const char16_t* text) {
            QTest::newRow(name) << rtf << QString::fromUtf16(text);
        };
        row("par, final par", R"({\rtf1 a\par\par b\sect c\page d\par\par})", u"a\n\nb\nc\nd\n");
        row("line, tab", R"({\rtf1 a\line b\tab c})", u"a\u2028b\tc");
        row("space ends a control word", R"({\rtf1 \b  two\fs20x})", u" twox");
        row("escaped symbols", R"({\rtf1 \\\{\}a\~b\-c\_d})", u"\\{}a\u00a0b\u00adc\u2011d");
        row("unknown words dropped, text kept", R"({\rtf1 a\foo b\bar12 c\baz-3 d})", u"abcd");
        row("ignorable destinations, headers", R"({\rtf1 a{\*\foo hidden {\b more}}{\*\generator M;}{\header h}b})",
            u"ab");
        row("tables of the header are no text",
            R"({\rtf1{\fonttbl{\f0 Arial;}}{\colortbl;\red1\green2\blue3;}{\stylesheet{\s1 H;}}{\info{\title T}}x})",
            u"x");
        row("footnotes at the end", R"({\rtf1 a{\super\chftn}{\footnote\pard{\super\chftn} n\par two}b\par c})",
            u"a1b\nc\n1 n two");
        row("pictures of other kinds kept as placeholders",
            QByteArray("{\\rtf1 a{\\pict\\wmetafile8 0102}{\\pict\\pngblip 00}{\\pict\\bin6 }}{{\\}}b}"),
            u"a[picture][picture][picture]b");
        row("shape picture read, its stand-in not",
            R"({\rtf1 a{\*\shppict{\pict\emfblip 00}}{\nonshppict{\pict 00}}b})", u"a[picture]b");
        row("object and field show their result",
            R"({\rtf1 a {\object{\*\objdata 0102}{\result shown}} {\field{\*\fldinst HYPERLINK "x"}{\fldrslt link}}})",
            u"a shown link");
        row("list text kept outside lists", R"({\rtf1{\pntext\'b7\tab}item{\listtext 2.\tab}\par})",
            u"\u00b7\titem2.\t");
        row("upr takes the Unicode part", R"({\rtf1{\upr{ansi text}{\*\ud{unicode text}}}})", u"unicode text");
        row("1252 when none is named", "{\\rtf1 caf\\'e9 \\'80 \\'93q\\'94 \\'9f \xe9 \\'81}",
            u"café € “q” Ÿ é \u0081");
        row("font charset 204",
            R"({\rtf1\ansi\ansicpg1252{\fonttbl{\f0 Arial;}{\f1\fcharset204 Arial CYR;}}\'e9\f1\'e9{\f0\'e9}})",
            u"éйé");
        row("double-byte code page", "{\\rtf1\\ansi\\ansicpg932 \\'93\\'fa\\'96\\'7b\\'83@}", u"日本ァ");
        row("u: fallback, negative, surrogates", R"({\rtf1 \u233?x\u-4064?\u-10179?\u-8704?})", u"éx\uf020😀");
        row("uc2, uc0", R"({\rtf1\uc2\u8364\'80\'80x{\uc0\u8364 y}})", u"€x€y");
        row("fallback counts words and escapes", R"({\rtf1\uc1\u8364\'80 x\u8364\par y})", u"€ x€y");
        row("skipping stops at a closing brace", R"({\rtf1\uc3{\u8364}ab})", u"€ab");
        row("skipping stops at an opening brace", R"({\rtf1\uc2\u8364{x}y})", u"€xy");
        row("control characters dropped", R"({\rtf1 a\'00\'07\u13?\u8233?b})", u"ab");
        // Damaged input: whatever text can be read.
        row("missing closing braces", R"({\rtf1{\b bold {\i both)", u"bold both");
        row("extra closing braces", R"({\rtf1 a}} b}} c)", u"a b c");
        row("not hex", R"({\rtf1 a\'zzb\u233)", u"azzbé");
        row("bin longer than the file", R"({\rtf1 ab\bin999999 xyz)", u"ab");
        row("huge numbers", R"({\rtf1\fs99999999999999 a\li99999999999 b\uc999999999 c\u99999999999 x})", u"abc\uffff");
        row("deep nesting", "{\\rtf1 " + QByteArray(100000, '{') + "deep" + QByteArray(100000, '}') + " end}",
            u"deep end");
        // Formatting, lists, tables and pictures, as describe() shows them.
        row("character words", R"({\rtf1 a\b b\b0\i c\i0\ul d\ulnone\uldb e\ul0\strike f\strike0\fs17 g})",
            u"<>[fs=12]a[fs=12 b]b[fs=12 i]c[fs=12 u]de[fs=12 s]f[fs=8.5]g");
        row("deff, f, unknown f, names with alternatives",
            R"({\rtf1\deff1{\fonttbl{\f0\froman Times;}{\f1\fswiss{\*\falt Helv}Arial;}{\f2 \u1052?S;}}a\f0 b\f7 c\f2 d})",
            u"<>[f=Arial fs=12]a[f=Times fs=12]b[f=Arial fs=12]c[f=МS fs=12]d");
        row("colours, out of table, plain",
            R"({\rtf1{\colortbl ;\red255\green0\blue0;\red0\green128\blue255;}\cf1 a\cf9 b\highlight2 c\cb1 d\chcbpat2\b e\plain f})",
            u"<>[fs=12 fg=#ff0000]a[fs=12]b[fs=12 bg=#0080ff]c[fs=12 bg=#ff0000]d[fs=12 b bg=#0080ff]e[fs=12]f");
        row("groups, pard keeps characters", R"({\rtf1\i a{\b b}c\par\pard d})",
            u"<>[fs=12 i]a[fs=12 b i]b[fs=12 i]c\n<>[fs=12 i]d");
        row("paragraph words", R"({\rtf1\qc\li720\ri360\fi-360\sb120\sa240 a\par\qr\lin100 b\par\pard\qj c\par\ql d})",
            u"<qc li=720 ri=360 fi=-360 sb=120 sa=240>[fs=12]a\n<qr li=100 ri=360 fi=-360 sb=120 sa=240>[fs=12]b\n"
            u"<qj>[fs=12]c\n<>[fs=12]d");
        row("properties at the par, last paragraph, groups", R"({\rtf1 a\qc\par{\qr b\par}c\par\pard d\qj})",
            u"<qc>[fs=12]a\n<qr>[fs=12]b\n<qc>[fs=12]c\n<qj>[fs=12]d");
        row("line spacing", R"({\rtf1\sl360\slmult1 a\par\sl-300\slmult0 b\par\sl300 c\par\pard d})",
            u"<lh=1:150>[fs=12]a\n<lh=2:20>[fs=12]b\n<lh=3:20>[fs=12]c\n<>[fs=12]d");
        row("list table: styles, levels, one list across others",
            R"({\rtf1{\*\listtable{\list{\listlevel\levelnfc23{\leveltext\'01o;}}{\listlevel\levelnfc2}\listid5})"
            R"({\list{\listlevel\levelnfc23{\leveltext\'01\u-3929 ?;}}\listid6}{\list{\listlevel\levelnfc4}\listid7}})"
            R"({\*\listoverridetable{\listoverride\listid5\ls1}{\listoverride\listid6\ls2}{\listoverride\listid7\ls3}})"
            R"({\listtext o\tab}\ls1\li720\fi-360 a\par\ls1\ilvl1 b\par\ls2\ilvl0 c\par\ls3 d\par\pard e\par\ls1 f\par\ls9 g})",
            u"<>#1:-2.1[fs=12]a\n<>#2:-7.2[fs=12]b\n<>#3:-3.1[fs=12]c\n<>#4:-5.1[fs=12]d\n<>[fs=12]e\n<>#1:-2.1[fs=12]"
            u"f\n"
            u"<>#5:-1.1[fs=12]g");
        row("pn lists end at a paragraph that is none",
            R"({\rtf1{\pntext 1.\tab}{\*\pn\pnlvlbody\pnucrm\pnstart1{\pntxta .}}a\par b\par\pard c\par)"
            R"({\*\pn\pnlvlbody\pnucrm}d\par{\*\pn\pnlvlblt{\pntxtb\'b7}}e\par{\*\pn\pnlvl3\pnucltr}f})",
            u"<>#1:-8.1[fs=12]a\n<>#1:-8.1[fs=12]b\n<>[fs=12]c\n<>#2:-8.1[fs=12]d\n<>#3:-1.1[fs=12]e\n<>#4:-6.3[fs=12]"
            u"f");
        row("first numbers of lists, 0 included: a new one makes a new list",
            R"({\rtf1{\*\pn\pnlvlbody\pndec\pnstart0}a\par b\par{\*\pn\pnlvlbody\pndec\pnstart7}c})",
            u"<>#1:-4.1^0[fs=12]a\n<>#1:-4.1^0[fs=12]b\n<>#2:-4.1^7[fs=12]c");
        row("table with paragraphs and widths",
            R"({\rtf1 x\par\trowd\cellx1000\cellx3000\pard\intbl a\par b\cell c\cell\row\intbl d\cell e\cell\row\pard y})",
            u"<>[fs=12]x\n<>@0,0[fs=12]a\n<>@0,0[fs=12]b\n<>@0,1[fs=12]c\n<>@1,0[fs=12]d\n<>@1,1[fs=12]e\n<>[fs=12]y");
        row("merged cells: by word and by edges",
            R"({\rtf1\trowd\clmgf\cellx1000\clmrg\cellx2000\clvmgf\cellx3000\intbl a\cell\cell b\cell\row)"
            R"(\trowd\cellx500\cellx2000\clvmrg\cellx3000\intbl c\cell d\cell\cell\row})",
            u"<>[fs=12]\n<>@0,0+1x3[fs=12]a\n<>@0,3+2x1[fs=12]b\n<>@1,0[fs=12]c\n<>@1,1+1x2[fs=12]d\n<>[fs=12]");
        row("empty merged cells keep their paragraph, list item included",
            R"({\rtf1{\*\listtable{\list{\listlevel\levelnfc0}\listid1}}{\*\listoverridetable{\listoverride\listid1\ls1}})"
            R"(\trowd\clmgf\cellx1000\clmrg\cellx2000\pard\intbl\li720\cell\pard\intbl\cell\row)"
            R"(\trowd\cellx1000\clvmgf\cellx2000\pard\intbl\cell\cell\row)"
            R"(\trowd\cellx1000\clvmrg\cellx2000\pard\intbl\ls1\sb120\cell\pard\intbl\cell\row})",
            u"<>[fs=12]\n<li=720>@0,0+1x2[fs=12]\n<>@1,0[fs=12]\n<>@1,1+2x1[fs=12]\n<sb=120>#1:-4.1@2,0[fs=12]\n<>[fs="
            u"12]");
        row("cells without intbl or row", R"({\rtf1 a\cell b})",
            u"<>[fs=12]\n<>@0,0[fs=12]a\n<>@0,1[fs=12]b\n<>[fs=12]");
        row("pictures: goal size, scaling, pixels, bad data",
            QByteArray(R"({\rtf1{\pict\pngblip\picwgoal600\pichgoal300\picscalex50 )") + kPng
                + R"(}{\pict\pngblip\picw4 )" + kPng + R"(}{\pict\jpegblip 00})" + R"(})",
            u"<>[img=20x20]\uFFFC[img=4x1]\uFFFC[fs=12 raw][picture]");
    }
    void reads()
    {
        QFETCH(QByteArray, rtf);
        QFETCH(QString, expected);
        QTextDocument doc;
        QVERIFY(RtfReader::read(rtf, doc));
        // A row that starts like describe() states the formatting, the others
        // the text with paragraph breaks as "\n" and every other character as stored.
        QCOMPARE(expected.startsWith(u'<') ? describe(doc, false)
                                           : doc.toRawText().replace(QChar::ParagraphSeparator, u'\n'),
                 expected);
    }

    // Reading replaces the content without undo steps; a fragment inserts
    // formatted, its final paragraph mark adding no paragraph.
    void readsIntoDocumentAndFragment()
    {
        QTextDocument doc;
        QTextCursor(&doc).insertText(QStringLiteral("typed"));
        QVERIFY(RtfReader::read(R"({\rtf1 [])", doc));
        QVERIFY(!doc.isUndoAvailable() && doc.isUndoRedoEnabled());
        QTextCursor c(&doc);
        c.setPosition(1);
        c.insertFragment(RtfReader::readFragment(R"({\rtf1 a\b b\par})"));
        QCOMPARE(c.position(), 3);
        QCOMPARE(describe(doc, false), QStringLiteral("<>[fs=12][a[fs=12 b]b[fs=12]]"));
    }
};

QTEST_MAIN(TestRtfRead)
#include "test_rtf_read.moc"
