// The RTF writer, and the round trip through the reader.

#include "RtfTestUtil.h"
#include "rtf/RtfReader.h"
#include "rtf/RtfWriter.h"

#include <QDir>
#include <QTest>
#include <QTextDocumentFragment>
#include <QTextImageFormat>

#include <algorithm>

using namespace RtfTest;

namespace {

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

struct Doc : QTextDocument {
    QTextCursor c{this};
    Doc() { setDefaultFont(QFont(QStringLiteral("Arial"), 12)); }
};

// Every kind of formatting the writer knows, mixed, with a nested list, a
// table with merged cells and a picture.
QByteArray builtDocument()
{
    Doc doc;
    QTextCursor& c = doc.c;
    const QString families[] = {u"Arial"_qs, u"Times New Roman"_qs, u"Courier New"_qs};
    const QString words[] = {u"plain"_qs, u"café"_qs, u"Жук"_qs, u"日本😀"_qs, u"{x}\\y"_qs, u"a\tb\u2028c\u00a0d"_qs};
    for (int p = 0; p < 12; ++p) {
        QTextBlockFormat bf;
        bf.setAlignment(p % 4 == 1 ? Qt::AlignHCenter : p % 4 == 2 ? Qt::AlignRight : p % 4 == 3 ? Qt::AlignJustify : Qt::AlignLeft);
        bf.setLeftMargin((p % 3) * 24);
        bf.setRightMargin((p % 2) * 12);
        bf.setTextIndent(p % 5 == 0 ? -12 : 0);
        bf.setTopMargin(p % 3 == 1 ? 4 : 0);
        bf.setBottomMargin(p % 4 == 3 ? 8 : 0);
        if (p == 4)
            bf.setLineHeight(150, QTextBlockFormat::ProportionalHeight);
        p == 0 ? c.setBlockFormat(bf) : c.insertBlock(bf, fmt(families[p % 3], 9 + p));
        for (int w = 0; w < 6 && p != 5; ++w) {  // paragraph 5 stays empty, with its own format
            QTextCharFormat f = fmt(families[(p + w) % 3], 8 + (p + w) % 7 * 1.5, (p + w) % 2);
            f.setFontItalic((p + w) % 3 == 0);
            f.setFontUnderline((p * w) % 4 == 1);
            f.setFontStrikeOut(w == 5);
            if ((p + w) % 4 == 2)
                f.setForeground(QColor(255, 0, 0));
            if ((p + w) % 5 == 3)
                f.setBackground(QColor(0, 0, 255));
            c.insertText(words[w] + u' ', f);
        }
    }
    QTextListFormat lf;
    lf.setStyle(QTextListFormat::ListUpperRoman);
    c.insertList(lf)->format();
    c.insertText(u"item"_qs, fmt(families[0], 10));
    lf.setIndent(2);
    lf.setStyle(QTextListFormat::ListCircle);
    c.insertList(lf);
    c.insertText(u"inner"_qs, fmt(families[0], 10));
    QTextTable* t = c.insertTable(3, 3);
    for (int i = 0; i < 9; ++i)
        t->cellAt(i / 3, i % 3).firstCursorPosition().insertText(QString::number(i), fmt(families[1], 11));
    t->mergeCells(0, 0, 2, 2);
    QTextImageFormat image;
    image.setProperty(RtfFormats::PictureData, QByteArray::fromHex(kPng));
    image.setWidth(30);
    image.setHeight(15);
    t->cellAt(2, 2).lastCursorPosition().insertImage(image);
    return RtfWriter::write(doc);
}

}  // namespace

class TestRtfWrite : public QObject {
    Q_OBJECT
private slots:
    void writesRichEditSampleExactly()
    {
        Doc doc;
        doc.setDefaultFont(QFont(QStringLiteral("Arial"), 10));
        doc.c.insertText(QStringLiteral("Hello "));
        doc.c.insertText(QStringLiteral("bold"), fmt(QStringLiteral("Arial"), 10, true));
        QCOMPARE(RtfWriter::write(doc), QByteArray("{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1{\\fonttbl{\\f0\\fswiss\\fcharset0 Arial;}}\r\n"
                                                   "{\\colortbl ;}\r\n{\\*\\generator Tessaly 2002;}\\viewkind4\r\n"
                                                   "\\pard\\fs20 Hello \\b bold\\par\r\n}"));
    }

    void writesCharacters()
    {
        for (const auto& [text, rtf] : {std::pair<QString, QByteArray>{u"Hi, all!"_qs, "Hi, all!"}, {u"a\\b{c}d"_qs, R"(a\\b\{c\}d)"},
                 {u"café € “q” Ÿ"_qs, R"(caf\'e9 \'80 \'93q\'94 \'9f)"}, {u"Жx\uf020"_qs, R"(\u1046 ?x\u-4064 ?)"},
                 {u"😀"_qs, R"(\u-10179 ?\u-8704 ?)"}, {u"a\tb\u2028c\u00a0d"_qs, R"(a\tab b\line c\~d)"},
                 {u"\t1"_qs, R"(\tab 1)"}, {u"a\u0001\u001fb"_qs, "ab"}}) {
            Doc doc;
            doc.c.insertText(text);
            // A blank ends \pard only where the text would run into it.
            QCOMPARE(body(RtfWriter::write(doc)), "\\pard" + QByteArray(rtf.startsWith('\\') ? "" : " ") + rtf + "\\par\r\n");
        }
    }

    // Faces go out with the family class and character set others choose a
    // substitute by; in a face of another set, text goes out as \u.
    void writesFontAndColourTables()
    {
        Doc doc;
        QTextCharFormat red = fmt(u"Courier New"_qs, 9);
        red.setForeground(QColor(255, 0, 0));
        QTextCharFormat marked = fmt(u"Times New Roman"_qs, 12);
        marked.setBackground(QColor(255, 255, 0));
        marked.setFontItalic(true);
        marked.setFontUnderline(true);
        marked.setFontStrikeOut(true);
        doc.c.insertText(u"a"_qs, red);
        doc.c.insertText(u"b"_qs, marked);
        for (const char16_t* face : {u"Caf\u00e9 {Sans};", u"Arial CYR", u"Symbol", u"Comic Sans MS", u"Mystery"})
            doc.c.insertText(u"é"_qs, fmt(QString::fromUtf16(face), 12));
        const QByteArray rtf = RtfWriter::write(doc);
        QCOMPARE(rtf.left(rtf.indexOf("{\\*\\generator")),
                 QByteArray(R"({\rtf1\ansi\ansicpg1252\deff0\uc1{\fonttbl{\f0\fmodern\fcharset0 Courier New;})"
                            R"({\f1\froman\fcharset0 Times New Roman;}{\f2\fswiss\fcharset0 Caf\'e9 \{Sans\};})"
                            R"({\f3\fswiss\fcharset204 Arial CYR;}{\f4\ftech\fcharset2 Symbol;}{\f5\fscript\fcharset0 Comic Sans MS;})"
                            R"({\f6\fnil\fcharset0 Mystery;}})" "\r\n"
                            R"({\colortbl ;\red255\green0\blue0;\red255\green255\blue0;})" "\r\n"));
        QCOMPARE(body(rtf), QByteArray(R"(\pard\fs18\cf1 a\f1\fs24\i\ul\strike\cf0\highlight2 b\f2\i0\ulnone\strike0)"
                                       R"(\highlight0\'e9\f3\u233 ?\f4\u233 ?\f5\'e9\f6\'e9\par)" "\r\n"));
        QTextDocument back;
        QVERIFY(RtfReader::read(rtf, back));
        QCOMPARE(back.toPlainText(), u"abéééé\u00e9"_qs);
    }

    void writesParagraphFormatting()
    {
        Doc doc;
        QTextBlockFormat centred;
        centred.setAlignment(Qt::AlignHCenter);
        centred.setLeftMargin(48);
        centred.setRightMargin(24);
        centred.setTextIndent(-24);
        centred.setTopMargin(8);
        centred.setBottomMargin(16);
        doc.c.setBlockFormat(centred);
        doc.c.insertText(u"a"_qs);
        doc.c.insertBlock();  // same format: no new \pard
        QTextBlockFormat right;
        right.setAlignment(Qt::AlignRight);
        right.setLineHeight(20, QTextBlockFormat::FixedHeight);
        doc.c.insertBlock(right);
        QTextBlockFormat justified;
        justified.setAlignment(Qt::AlignJustify);
        justified.setIndent(1);
        justified.setLineHeight(115, QTextBlockFormat::ProportionalHeight);
        doc.c.insertBlock(justified);
        doc.c.insertBlock(QTextBlockFormat());
        QCOMPARE(body(RtfWriter::write(doc)), QByteArray("\\pard\\qc\\li720\\ri360\\fi-360\\sb120\\sa240 a\\par\r\n\\par\r\n"
                                                         "\\pard\\qr\\sl-300\\slmult0\\par\r\n\\pard\\qj\\li600\\sl276\\slmult1\\par\r\n"
                                                         "\\pard\\par\r\n"));
    }

    // A list item, a table with widths and a merge, a picture and a kept one.
    void writesStructureExactly()
    {
        QTextDocument doc;
        QVERIFY(RtfReader::read(R"({\rtf1{\*\listtable{\list{\listlevel\levelnfc0\levelstartat3}\listid1}}{\*\listoverridetable)"
                                R"({\listoverride\listid1\ls1}}\ls1 a\par\pard\trowd\clmgf\cellx600\clmrg\cellx900\intbl b\cell\cell\row)"
                                R"(\pard{\pict\pngblip\picwgoal30\pichgoal15 )" + QByteArray(kPng) + R"(}{\pict\wmetafile8 01}})", doc));
        const QByteArray rtf = RtfWriter::write(doc);
        QVERIFY2(rtf.contains(R"({\*\listtable{\list\listtemplateid1{\listlevel\levelnfc0\levelnfcn0\leveljc0\levelfollow0)"
                              R"(\levelstartat3{\leveltext\'02\'00.;}{\levelnumbers\'01;}\fi-360\li720}\listid1}})" "\r\n"
                              R"({\*\listoverridetable{\listoverride\listid1\listoverridecount0\ls1}})" "\r\n"), rtf.constData());
        const QByteArray borders = R"(\clbrdrt\brdrs\brdrw10\clbrdrl\brdrs\brdrw10\clbrdrb\brdrs\brdrw10\clbrdrr\brdrs\brdrw10)";
        QCOMPARE(body(rtf), "\\pard\\li600\\fi-360\\ls1\\ilvl0{\\listtext 3.\\tab}{\\*\\pn\\pnlvlbody\\pndec\\pnstart3\\pnindent0"
                            "{\\pntxta .}}a\\par\r\n\\trowd\\trgaph108\\clmgf" + borders + "\\cellx600\\clmrg"
                            + borders + "\\cellx900\r\n\\pard\\intbl b\\cell\r\n\\cell\r\n\\row\r\n"
                            "\\pard{\\pict\\pngblip\\picw2\\pich1\\picwgoal30\\pichgoal15\r\n" + QByteArray(kPng).insert(128, "\r\n") + "\r\n}{\\pict\\wmetafile8 01}\\par\r\n");
    }

    void writesSelection()
    {
        Doc doc;
        QTextBlockFormat centred;
        centred.setAlignment(Qt::AlignHCenter);
        doc.c.setBlockFormat(centred);
        doc.c.insertText(u"one "_qs);
        doc.c.insertText(u"two"_qs, fmt(u"Arial"_qs, 12, true));
        doc.c.insertText(u" three"_qs, fmt(u"Arial"_qs, 12));
        doc.c.setPosition(4);
        doc.c.setPosition(7, QTextCursor::KeepAnchor);
        QCOMPARE(body(RtfWriter::writeSelection(doc.c)), QByteArray("\\pard\\qc\\b two\\par\r\n"));
        doc.c.setPosition(2);
        doc.c.insertBlock(QTextBlockFormat());  // "on" | "e two three", the second not centred
        doc.c.setPosition(1);
        doc.c.setPosition(5, QTextCursor::KeepAnchor);
        QCOMPARE(body(RtfWriter::writeSelection(doc.c)), QByteArray("\\pard\\qc n\\par\r\n\\pard e \\par\r\n"));
    }

    // Files of others, the shipped help file and a document of every kind of
    // content: what we write reads back as we read it, in ASCII, and writing
    // that again gives the same bytes.
    void roundTrip_data()
    {
        QTest::addColumn<QByteArray>("rtf");
        const QDir seeds(sourceDir() + u"/fuzz/seeds/rtf"_qs);
        for (const QString& name : seeds.entryList(QDir::Files, QDir::Name))
            QTest::newRow(qPrintable(name)) << readFile(seeds.filePath(name));
        QTest::newRow("help file") << readFile(sourceDir() + u"/resources/Data/help.doc"_qs);
        QTest::newRow("built") << builtDocument();
    }
    void roundTrip()
    {
        QFETCH(QByteArray, rtf);
        QTextDocument doc;
        QVERIFY(RtfReader::read(rtf, doc));
        const QByteArray first = RtfWriter::write(doc);
        QVERIFY(std::all_of(first.begin(), first.end(), [](char ch) { return uchar(ch) < 0x80; }) || first.contains("\\bin"));
        QTextDocument back;
        QVERIFY(RtfReader::read(first, back));
        QCOMPARE(describe(back), describe(doc));
        QCOMPARE(RtfWriter::write(back), first);
    }
};

QTEST_MAIN(TestRtfWrite)
#include "test_rtf_write.moc"
