// The RTF reader on its own, without a window, and the files of others
// read and written again.

#include "RtfTestUtil.h"
#include "rtf/RtfReader.h"
#include "rtf/RtfWriter.h"
#include "support/Golden.h"

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

    // The files of tests/data/rtf: the text as stored (paragraph ends as
    // \n), the formats as describe() shows them, and what the writer makes
    // of it, which reads back alike and writes again to the same bytes.
    void files_data() { Golden::addRows("rtf", {"*.rtf"}); }
    void files()
    {
        QFETCH(QString, input);
        QTextDocument doc;
        doc.setDefaultFont(QFont(u"Arial"_qs, 12));
        QVERIFY(RtfReader::read(readFile(input), doc));
        QString made =
            "Text=" + Golden::escaped(doc.toRawText().replace(QChar::ParagraphSeparator, u'\n')) + "\n== formats\n";
        for (const QString& line : describe(doc, false).split(u'\n'))
            made += Golden::escaped(line) + u'\n';
        const QByteArray written = RtfWriter::write(doc);
        Golden::compare(input, made + "== written, every line ending in CR LF\n" + Golden::crlfLines(written));
        checkRoundTrip(doc, written);
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
