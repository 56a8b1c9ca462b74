// The RTF writer, and the round trip through the reader.

#include "RtfTestUtil.h"
#include "rtf/RtfReader.h"
#include "rtf/RtfWriter.h"

#include <QDir>
#include <QTest>

using namespace RtfTest;

namespace {

QString sourceDir()
{
    return qEnvironmentVariable("TESSALY_SOURCE_DIR", QStringLiteral(TESSALY_SOURCE_DIR_FALLBACK));
}

// The body between the header and the closing brace.
QByteArray body(const QByteArray& rtf)
{
    const qsizetype start = rtf.indexOf("\\viewkind4\r\n") + 12;
    return rtf.mid(start, rtf.size() - start - 1);
}

// What the writer makes of a document read from rtf.
QByteArray rewritten(const QByteArray& rtf)
{
    QTextDocument doc;
    doc.setDefaultFont(QFont(QStringLiteral("Arial"), 12));
    return RtfReader::read(rtf, doc) ? RtfWriter::write(doc) : QByteArray();
}

}  // namespace

class TestRtfWrite : public QObject {
    Q_OBJECT
private slots:
    void writesCharacters()
    {
        for (const auto& [text, rtf] : {std::pair<QString, QByteArray>{u"Hi, all!"_qs, "Hi, all!"},
                                        {u"a\\b{c}d"_qs, R"(a\\b\{c\}d)"},
                                        {u"café € “q” Ÿ"_qs, R"(caf\'e9 \'80 \'93q\'94 \'9f)"},
                                        {u"Жx\uf020"_qs, R"(\u1046 ?x\u-4064 ?)"},
                                        {u"😀"_qs, R"(\u-10179 ?\u-8704 ?)"},
                                        {u"a\tb\u2028c\u00a0d"_qs, R"(a\tab b\line c\~d)"},
                                        {u"\t1"_qs, R"(\tab 1)"},
                                        {u"a\u0001\u001fb"_qs, "ab"}}) {
            QTextDocument doc;
            doc.setDefaultFont(QFont(QStringLiteral("Arial"), 12));
            QTextCursor(&doc).insertText(text);
            // A blank ends \pard only where the text would run into it.
            QCOMPARE(body(RtfWriter::write(doc)),
                     "\\pard" + QByteArray(rtf.startsWith('\\') ? "" : " ") + rtf + "\\par\r\n");
        }
    }

    // Faces go out with the family class and character set others choose a
    // substitute by; in a face of another set, text goes out as \u. Only the
    // changes of formatting are written.
    void writesHeaderAndCharacterFormatting()
    {
        const QByteArray rtf = rewritten(
            R"({\rtf1{\fonttbl{\f0 Courier New;}{\f1 Times New Roman;}{\f2 Caf\'e9 \{Sans\};}{\f3 Arial CYR;}{\f4 Symbol;})"
            R"({\f5 Comic Sans MS;}{\f6 Mystery;}}{\colortbl;\red255\green0\blue0;\red255\green255\blue0;})"
            R"(\f0\fs18\cf1 a\f1\fs24\i\ul\strike\cf0\highlight2 b\plain\f2 \'e9\f3 \'e9\f4 \'e9\f5\'e9\f6\'e9})");
        QCOMPARE(
            rtf,
            QByteArray(
                R"({\rtf1\ansi\ansicpg1252\deff0\uc1{\fonttbl{\f0\fmodern\fcharset0 Courier New;})"
                R"({\f1\froman\fcharset0 Times New Roman;}{\f2\fswiss\fcharset0 Caf\'e9 \{Sans\};})"
                R"({\f3\fswiss\fcharset204 Arial CYR;}{\f4\ftech\fcharset2 Symbol;}{\f5\fscript\fcharset0 Comic Sans MS;})"
                R"({\f6\fnil\fcharset0 Mystery;}})"
                "\r\n"
                R"({\colortbl ;\red255\green0\blue0;\red255\green255\blue0;})"
                "\r\n"
                R"({\*\generator Tessaly 2002;}\viewkind4)"
                "\r\n"
                R"(\pard\fs18\cf1 a\f1\fs24\i\ul\strike\cf0\highlight2 b\f2\i0\ulnone\strike0)"
                R"(\highlight0\'e9\f3\u233 ?\f4\u233 ?\f5\'e9\f6\'e9\par)"
                "\r\n}"));
    }

    // \pard only where paragraph formatting changes; indents of Qt's indent
    // steps; line spacing of each kind.
    void writesParagraphFormatting()
    {
        QTextDocument doc;
        QTextBlockFormat stepped;
        stepped.setIndent(1);
        stepped.setLineHeight(115, QTextBlockFormat::ProportionalHeight);
        QVERIFY(RtfReader::read(
            R"({\rtf1\qc\li720\ri360\fi-360\sb120\sa240 a\par b\par\pard\qr\sl-300 c\par\qj\sl300\slmult0 d})", doc));
        QTextCursor end(&doc);
        end.movePosition(QTextCursor::End);
        end.insertBlock(stepped);
        QCOMPARE(body(RtfWriter::write(doc)),
                 QByteArray("\\pard\\qc\\li720\\ri360\\fi-360\\sb120\\sa240 a\\par\r\nb\\par\r\n"
                            "\\pard\\qr\\sl-300\\slmult0 c\\par\r\n\\pard\\qj\\sl300\\slmult0 d\\par\r\n"
                            "\\pard\\li600\\sl276\\slmult1\\par\r\n"));
    }

    // A list item, a table with widths and a merge, a picture and a kept one.
    void writesStructure()
    {
        const QByteArray rtf = rewritten(
            R"({\rtf1{\*\listtable{\list{\listlevel\levelnfc0\levelstartat3}\listid1}}{\*\listoverridetable{\listoverride\listid1)"
            R"(\ls1}}\ls1 a\par\pard\trowd\clmgf\cellx600\clmrg\cellx900\intbl b\cell\cell\row)"
            R"(\pard{\pict\pngblip\picwgoal30\pichgoal15 )"
            + QByteArray(kPng) + R"(}{\pict\wmetafile8 01}})");
        QVERIFY2(
            rtf.contains(R"({\*\listtable{\list\listtemplateid1{\listlevel\levelnfc0\levelnfcn0\leveljc0\levelfollow0)"
                         R"(\levelstartat3{\leveltext\'02\'00.;}{\levelnumbers\'01;}\fi-360\li720}\listid1}})"
                         "\r\n"
                         R"({\*\listoverridetable{\listoverride\listid1\listoverridecount0\ls1}})"
                         "\r\n"),
            rtf.constData());
        const QByteArray borders =
            R"(\clbrdrt\brdrs\brdrw10\clbrdrl\brdrs\brdrw10\clbrdrb\brdrs\brdrw10\clbrdrr\brdrs\brdrw10)";
        QCOMPARE(body(rtf),
                 "\\pard\\li600\\fi-360\\ls1\\ilvl0{\\listtext 3.\\tab}{\\*\\pn\\pnlvlbody\\pndec\\pnstart3\\pnindent0"
                 "{\\pntxta .}}a\\par\r\n\\trowd\\trgaph108\\clmgf"
                     + borders + "\\cellx600\\clmrg" + borders
                     + "\\cellx900\r\n\\pard\\intbl "
                       "b\\cell\r\n\\cell\r\n\\row\r\n\\pard{\\pict\\pngblip\\picw2\\pich1\\picwgoal30"
                       "\\pichgoal15\r\n"
                     + QByteArray(kPng).insert(128, "\r\n") + "\r\n}{\\pict\\wmetafile8 01}\\par\r\n");
    }

    // The selection, and each paragraph it touches with its own format, also
    // a list item's (its list is the selection's own).
    void writesSelection()
    {
        QTextDocument doc;
        QVERIFY(RtfReader::read(R"({\rtf1\qc on\par\pard e \b two\b0  three\par{\*\pn\pnlvlblt}item})", doc));
        QTextCursor c(&doc);
        c.setPosition(5);
        c.setPosition(8, QTextCursor::KeepAnchor);
        QCOMPARE(body(RtfWriter::writeSelection(c)), QByteArray("\\pard\\b two\\par\r\n"));
        c.setPosition(1);
        c.setPosition(5, QTextCursor::KeepAnchor);
        QCOMPARE(body(RtfWriter::writeSelection(c)), QByteArray("\\pard\\qc n\\par\r\n\\pard e \\par\r\n"));
        c.setPosition(16);
        c.setPosition(18, QTextCursor::KeepAnchor);
        QVERIFY(body(RtfWriter::writeSelection(c))
                    .endsWith("\\ls1\\ilvl0{\\listtext\\'95\\tab}{\\*\\pn\\pnlvlblt\\pnindent0{\\pntxtb\\'95}}\\fs24 "
                              "te\\par\r\n"));
        c.clearSelection();  // nothing selected in the item: its paragraph, no list
        QCOMPARE(body(RtfWriter::writeSelection(c)), QByteArray("\\pard\\par\r\n"));
    }

    // Files of others (LibreOffice's with lists, tables and pictures among
    // them) and the shipped help file: what we write reads back as we read
    // it, in ASCII, and writing that again gives the same bytes.
    void roundTrip_data()
    {
        QTest::addColumn<QByteArray>("rtf");
        const QDir seeds(sourceDir() + u"/fuzz/seeds/rtf"_qs);
        for (const QString& name : seeds.entryList(QDir::Files, QDir::Name))
            QTest::newRow(qPrintable(name)) << readFile(seeds.filePath(name));
        QTest::newRow("help file") << readFile(sourceDir() + u"/resources/Data/help.doc"_qs);
    }
    void roundTrip()
    {
        QFETCH(QByteArray, rtf);
        QTextDocument doc;
        QVERIFY(RtfReader::read(rtf, doc));
        const QByteArray first = RtfWriter::write(doc);
        QVERIFY(std::all_of(first.begin(), first.end(), [](char ch) { return uchar(ch) < 0x80; })
                || first.contains("\\bin"));
        QTextDocument back;
        QVERIFY(RtfReader::read(first, back));
        QCOMPARE(describe(back), describe(doc));
        QCOMPARE(RtfWriter::write(back), first);
    }
};

QTEST_MAIN(TestRtfWrite)
#include "test_rtf_write.moc"
