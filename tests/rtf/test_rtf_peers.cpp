// Our RTF read by programs of others, and theirs read by us: pandoc and
// LibreOffice's headless converter.

#include "RtfTestUtil.h"
#include "rtf/RtfReader.h"
#include "rtf/RtfWriter.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

using namespace RtfTest;

namespace {

QString run(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    return p.waitForFinished(180000) && p.exitCode() == 0 ? QString::fromUtf8(p.readAllStandardOutput()) : u"failed"_qs;
}

void writeFile(const QString& path, const QByteArray& data)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly) && f.write(data) == data.size());
}

// What LibreOffice made of a file: its text, list items with their depth,
// table cells with the columns they span, and the number of pictures.
QString structure(const QString& fodt)
{
    QXmlStreamReader xml(readFile(fodt));
    QStringList out;
    int depth = 0, pictures = 0;
    bool body = false, image = false;  // in the text; in a picture's data
    while (!xml.atEnd()) {
        xml.readNext();
        const auto name = xml.qualifiedName();
        body = body || name == u"office:text";
        if (!body)
            continue;
        if (xml.isEndElement())
            depth -= name == u"text:list";
        if (xml.isEndElement())
            image = image && name != u"draw:image";
        else if (xml.isCharacters() && !xml.isWhitespace() && !image)
            out << xml.text().toString();
        else if (!xml.isStartElement())
            continue;
        else if (name == u"text:list")
            ++depth;
        else if (name == u"text:list-item")
            out << u"item%1:"_qs.arg(depth);
        else if (name == u"table:table-cell")
            out << u"cell%1:"_qs.arg(xml.attributes().value(u"table:number-columns-spanned"_qs));
        else if (name == u"draw:image")
            pictures += image = true;
    }
    return out.join(u' ') + u" pictures=%1"_qs.arg(pictures);
}

}  // namespace

class TestRtfPeers : public QObject {
    Q_OBJECT
private slots:
    // pandoc finds our text where we put it.
    void pandocReadsOurOutput()
    {
        const QString pandoc = QStandardPaths::findExecutable(u"pandoc"_qs);
        if (pandoc.isEmpty())
            QSKIP("pandoc is not installed");
        // pandoc 2.17 reads each half of a surrogate pair on its own: no
        // character outside the BMP here.
        QTextDocument doc;
        QVERIFY(RtfReader::read(R"({\rtf1 Hello \b bold\b0\par caf\'e9 \'80 \u1046?\u1091?\u1082? ok})", doc));
        QTemporaryDir dir;
        writeFile(dir.filePath(u"note.rtf"_qs), RtfWriter::write(doc));
        QCOMPARE(run(pandoc, {u"-f"_qs, u"rtf"_qs, u"-t"_qs, u"markdown"_qs, dir.filePath(u"note.rtf"_qs)}).trimmed(),
                 u"Hello **bold**\n\ncafé € Жук ok"_qs);
    }

    // LibreOffice writes a list, a table with a merged cell and a picture;
    // we read that file and write it again; LibreOffice reads both alike.
    void libreOfficeAndWeKeepEachOthersStructure()
    {
        const QString soffice = QStandardPaths::findExecutable(u"soffice"_qs);
        if (soffice.isEmpty())
            QSKIP("LibreOffice (soffice) is not installed");
        QTemporaryDir dir;
        const QStringList common = {u"-env:UserInstallation=file://"_qs + dir.filePath(u"profile"_qs), u"--headless"_qs};
        const QByteArray png = QByteArray::fromHex(kPng);
        writeFile(dir.filePath(u"theirs.html"_qs),
                  "<html><body><p>Intro</p><ul><li>one</li><li>two<ol><li>inner</li></ol></li></ul><table border=1><tr>"
                  "<td colspan=2>wide</td></tr><tr><td>a</td><td>b</td></tr></table><p>pic <img src=\"data:image/png;base64,"
                  + png.toBase64() + "\" width=20 height=10></p></body></html>");
        QVERIFY(run(soffice, common + QStringList{u"--infilter=HTML (StarWriter)"_qs, u"--convert-to"_qs, u"rtf"_qs, u"--outdir"_qs,
                                                  dir.path(), dir.filePath(u"theirs.html"_qs)}) != u"failed");
        QTextDocument doc;
        QVERIFY(RtfReader::read(readFile(dir.filePath(u"theirs.rtf"_qs)), doc));
        const QString shown = describe(doc, false);
        for (const char* part : {"#1:-1.1", "#2:-4.2", "@0,0+1x2", "@1,1", "[img=20x10]"})
            QVERIFY2(shown.contains(QLatin1String(part)), qPrintable(shown));
        writeFile(dir.filePath(u"ours.rtf"_qs), RtfWriter::write(doc));
        QVERIFY(run(soffice, common + QStringList{u"--convert-to"_qs, u"fodt"_qs, u"--outdir"_qs, dir.path(),
                                                  dir.filePath(u"theirs.rtf"_qs),
                                                  dir.filePath(u"ours.rtf"_qs)}) != u"failed");
        const QString theirs = structure(dir.filePath(u"theirs.fodt"_qs));
        QCOMPARE(theirs, u"Intro item1: one item1: two item2: inner cell2: wide cell: a cell: b pic  pictures=1"_qs);
        QCOMPARE(structure(dir.filePath(u"ours.fodt"_qs)), theirs);
    }
};

QTEST_MAIN(TestRtfPeers)
#include "test_rtf_peers.moc"
