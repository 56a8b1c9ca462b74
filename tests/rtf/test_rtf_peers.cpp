// Our RTF read by a program of others, and theirs read by us: LibreOffice's
// headless converter.

#include "RtfTestUtil.h"
#include "rtf/RtfReader.h"
#include "rtf/RtfWriter.h"
#include "support/Require.h"
#include "support/Run.h"

#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

using namespace RtfTest;

namespace {

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
    // LibreOffice writes a list, a table with a merged cell and a picture;
    // we read that file and write it again; LibreOffice reads both alike.
    void libreOfficeAndWeKeepEachOthersStructure()
    {
        const QString soffice = QStandardPaths::findExecutable(u"soffice"_qs);
        if (soffice.isEmpty())
            SKIP_OR_FAIL(QStringLiteral("LibreOffice (soffice) is not installed"));
        QTemporaryDir dir;
        // One converter run per step, with a profile of its own.
        auto convert = [&](const char* to, const QStringList& args) {
            return run(soffice,
                       QStringList{u"-env:UserInstallation=file://"_qs + dir.filePath(u"profile"_qs), u"--headless"_qs,
                                   u"--convert-to"_qs, QLatin1String(to), u"--outdir"_qs, dir.path()}
                           + args,
                       nullptr, 180000)
                   == 0;
        };
        QVERIFY(writeFile(
            dir.filePath(u"theirs.html"_qs),
            "<html><body><p>Intro</p><ul><li>one</li><li>two<ol><li>inner</li></ol></li></ul><table border=1><tr>"
            "<td colspan=2>wide</td></tr><tr><td>a</td><td>b</td></tr></table><p>pic <img src=\"data:image/png;base64,"
                + QByteArray::fromHex(kPng).toBase64() + "\" width=20 height=10></p></body></html>"));
        QVERIFY(convert("rtf", {u"--infilter=HTML (StarWriter)"_qs, dir.filePath(u"theirs.html"_qs)}));
        QTextDocument doc;
        QVERIFY(RtfReader::read(readFile(dir.filePath(u"theirs.rtf"_qs)), doc));
        const QString shown = describe(doc, false);
        for (const char* part : {"#1:-1.1", "#2:-4.2", "@0,0+1x2", "@1,1", "[img=20x10]"})
            QVERIFY2(shown.contains(QLatin1String(part)), qPrintable(shown));
        QVERIFY(writeFile(dir.filePath(u"ours.rtf"_qs), RtfWriter::write(doc)));
        QVERIFY(convert("fodt", {dir.filePath(u"theirs.rtf"_qs), dir.filePath(u"ours.rtf"_qs)}));
        const QString theirs = structure(dir.filePath(u"theirs.fodt"_qs));
        QCOMPARE(theirs, u"Intro item1: one item1: two item2: inner cell2: wide cell: a cell: b pic  pictures=1"_qs);
        QCOMPARE(structure(dir.filePath(u"ours.fodt"_qs)), theirs);
    }
};

QTEST_MAIN(TestRtfPeers)
#include "test_rtf_peers.moc"
