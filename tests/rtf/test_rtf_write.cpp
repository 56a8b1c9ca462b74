// What the writer does that no file of tests/data/rtf shows, and the round
// trip of the fuzz seeds and the help file.

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

}  // namespace

class TestRtfWrite : public QObject {
    Q_OBJECT
private slots:
    // Control characters pasted into the box are not written (no file read
    // can hold them: the reader drops them). What else is written is shown by
    // the files of tests/data/rtf.
    void dropsControlCharacters()
    {
        QTextDocument doc;
        doc.setDefaultFont(QFont(u"Arial"_qs, 12));
        QTextCursor(&doc).insertText(u"a\u0001\u001fb"_qs);
        QCOMPARE(body(RtfWriter::write(doc)), QByteArray("\\pard ab\\par\r\n"));
    }

    // Qt's indent steps, which no RTF read gives, as indents of 600 twips.
    void writesIndentSteps()
    {
        QTextDocument doc;
        doc.setDefaultFont(QFont(u"Arial"_qs, 12));
        QTextBlockFormat stepped;
        stepped.setIndent(1);
        stepped.setLineHeight(115, QTextBlockFormat::ProportionalHeight);
        QTextCursor(&doc).setBlockFormat(stepped);
        QCOMPARE(body(RtfWriter::write(doc)), QByteArray("\\pard\\li600\\sl276\\slmult1\\par\r\n"));
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
        checkRoundTrip(doc, RtfWriter::write(doc));
    }
};

QTEST_MAIN(TestRtfWrite)
#include "test_rtf_write.moc"
