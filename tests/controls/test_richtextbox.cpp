// The rich-text box's own promises that the note commands cannot reach:
// positions out of range, search ranges and options, the right margin and
// file errors. How it reads RTF is the RTF tests' business.

#include "RtfTestUtil.h"
#include "controls/RichTextBox.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFileInfo>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>

class TestRichTextBox : public QObject {
    Q_OBJECT
private slots:
    // Text "Hello\nworld": 11 characters, the paragraph break is one.
    void selStartAndLength_data()
    {
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("length");
        QTest::addColumn<QString>("selected");  // "start-end text"
        QTest::newRow("across the paragraph") << 3 << 5 << "3-8 lo\nwo";
        QTest::newRow("length past the end") << 8 << 100 << "8-11 rld";
        QTest::newRow("start past the end") << 100 << 2 << "11-11 ";
        QTest::newRow("negative start") << -5 << 2 << "0-2 He";
        QTest::newRow("negative length") << 4 << -2 << "4-4 ";
    }
    void selStartAndLength()
    {
        QFETCH(int, start);
        QFETCH(int, length);
        QFETCH(QString, selected);
        RichTextBox box;
        box.setTextRTF(QStringLiteral(R"({\rtf1 Hello\par world\par})"));
        box.setSelStart(start);
        box.setSelLength(length);
        QCOMPARE(QStringLiteral("%1-%2 ").arg(box.SelStart()).arg(box.SelStart() + box.SelLength()) + box.SelText(),
                 selected);
    }

    // Find(text, start, end, options) on "abc ABC abcd":
    // the position returned, and the selection afterwards.
    void find_data()
    {
        QTest::addColumn<QString>("search");
        QTest::addColumn<QList<int>>("args");  // selection start, length; start, end, options
        QTest::addColumn<QString>("result");   // "found start-end"
        QTest::newRow("case ignored") << "ABC" << QList<int>{0, 0, -1, -1, 0} << "0 0-3";
        QTest::newRow("match case") << "ABC" << QList<int>{0, 0, -1, -1, 4} << "4 4-7";
        QTest::newRow("match case, no hit") << "aBc" << QList<int>{0, 0, -1, -1, 4} << "-1 0-0";
        QTest::newRow("from the insertion point") << "abc" << QList<int>{1, 0, -1, -1, 0} << "4 4-7";
        QTest::newRow("start given") << "abc" << QList<int>{0, 0, 5, -1, 0} << "8 8-11";
        QTest::newRow("hit must end before end") << "abc" << QList<int>{0, 0, 0, 2, 0} << "-1 0-0";
        QTest::newRow("end given, from insertion point") << "abc" << QList<int>{9, 0, -1, 11, 0} << "-1 9-9";
        QTest::newRow("neither given: the selection") << "abc" << QList<int>{1, 7, -1, -1, 0} << "4 4-7";
        QTest::newRow("selection too short") << "abc" << QList<int>{5, 5, -1, -1, 0} << "-1 5-10";
        QTest::newRow("whole word") << "abc" << QList<int>{1, 0, -1, -1, 2} << "4 4-7";
        QTest::newRow("part of a word") << "abc" << QList<int>{0, 0, 5, -1, 2} << "-1 0-0";
        QTest::newRow("no highlight") << "c a" << QList<int>{0, 0, -1, -1, 8} << "2 0-0";
        QTest::newRow("empty search text") << "" << QList<int>{0, 0, -1, -1, 0} << "-1 0-0";
        QTest::newRow("start past the end") << "abc" << QList<int>{0, 0, 50, -1, 0} << "-1 0-0";
    }
    void find()
    {
        QFETCH(QString, search);
        QFETCH(QList<int>, args);
        QFETCH(QString, result);
        RichTextBox box;
        box.setPlainText(QStringLiteral("abc ABC abcd"));
        box.setSelStart(args[0]);
        box.setSelLength(args[1]);
        const int found = box.Find(search, args[2], args[3], args[4]);
        QCOMPARE(QStringLiteral("%1 %2-%3").arg(found).arg(box.SelStart()).arg(box.SelStart() + box.SelLength()),
                 result);
    }

    void rightMarginAndFileErrors()
    {
        RichTextBox box;
        box.setRightMargin(9000);
        QCOMPARE(box.lineWrapColumnOrWidth(), 600);
        try {
            box.setRightMargin(-400);
            QFAIL("a negative margin was taken");
        } catch (const RichTextBoxError& e) {
            QVERIFY(e.reason() == QStringLiteral("Invalid property value") && box.RightMargin() == 9000);
        }
        box.setRightMargin(0);
        QCOMPARE(box.lineWrapMode(), QTextEdit::WidgetWidth);
        QTemporaryDir dir;
        box.setPlainText(QStringLiteral("kept"));
        try {
            box.LoadFile(dir.path());
            QFAIL("a folder was read");
        } catch (const RichTextBoxError& e) {
            QCOMPARE(e.reason() + box.Text(),
                     QStringLiteral("Cannot open \"%1\": file to open is a directorykept").arg(dir.path()));
        }
    }

    // The face text is typed in is one found here, and that is the face a
    // save names; pasted rich text shows what a save keeps.
    void typingFaceAndPasteSurviveSave()
    {
        RichTextBox box;
        QFont font;
        font.setFamilies({QStringLiteral("No Such Face 2002"), QStringLiteral("DejaVu Sans")});
        box.setFont(font);
        box.setSelText(QStringLiteral("typed "));
        QVERIFY2(box.TextRTF().contains(QStringLiteral("\\fswiss\\fcharset0 DejaVu Sans;")), qPrintable(box.TextRTF()));
        box.setTextRTF(box.TextRTF());
        box.moveCursor(QTextCursor::End);
        auto* mime = new QMimeData;
        mime->setHtml(
            QStringLiteral("<ol><li>one</li><li><s>two</s></li></ol><table><tr><td>a</td><td><b>b</b></td></tr>"
                           "</table><p style='font-variant:small-caps'><sup>x</sup></p>"));
        QApplication::clipboard()->setMimeData(mime);
        box.paste();
        const QString pasted = RtfTest::describe(*box.document());
        QVERIFY2(pasted.contains(QStringLiteral("#1:-4.1")) && pasted.contains(QStringLiteral("@0,1")),
                 qPrintable(pasted));
        box.setTextRTF(box.TextRTF());
        QCOMPARE(RtfTest::describe(*box.document()), pasted);
    }
};

QTEST_MAIN(TestRichTextBox)
#include "test_richtextbox.moc"
