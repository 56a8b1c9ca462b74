// The rich-text box on its own. What a person sees of it through the note
// commands (saving, Select All, Date, copy and paste, find and replace, Undo)
// is tested with the notes; here is what those commands cannot reach:
// positions out of range, search ranges and options, file errors, line
// wrapping and the layout of a large note.

#include "RtfTestUtil.h"
#include "controls/RichTextBox.h"

#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QTextLayout>

#include <functional>

using namespace RtfTest;

namespace {

const QString kSample = QStringLiteral(
    R"({\rtf1\ansi\ansicpg1252\deff0{\fonttbl{\f0\fswiss\fcharset0 Arial;}}\viewkind4\uc1\pard\f0\fs20 Hello \b bold\b0\par})");

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(bytes), bytes.size());
}

QString errorOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const RichTextBoxError& e) {
        return e.reason();
    }
    return QStringLiteral("<no error>");
}

}  // namespace

class TestRichTextBox : public QObject {
    Q_OBJECT
private slots:
    // TextRTF given RTF source, or anything else; what TextRTF gives back
    // sets the same content again.
    void setTextRtf_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("text");
        QTest::newRow("RTF") << kSample << QStringLiteral("Hello bold");
        QTest::newRow("not RTF: as typed") << QStringLiteral("just {text}") << QStringLiteral("just {text}");
        QTest::newRow("characters outside 1252 in RTF")
            << QString::fromUtf16(u"{\\rtf1 Жук \\'e9}") << QString::fromUtf16(u"Жук é");
    }
    void setTextRtf()
    {
        QFETCH(QString, source);
        QFETCH(QString, text);
        RichTextBox box, copy;
        box.setTextRTF(source);
        QCOMPARE(box.Text(), text);
        copy.setTextRTF(box.TextRTF());
        QCOMPARE(copy.TextRTF(), box.TextRTF());
    }

    // LoadFile replaces the content and puts the insertion point at 0.
    void loadsFile_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("RTF") << kSample.toLatin1() << QStringLiteral("Hello bold");
        QTest::newRow("not RTF") << QByteArray("Caf\xe9 \x80") << QString::fromUtf16(u"Café €");
        QTest::newRow("empty") << QByteArray() << QString();
    }
    void loadsFile()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("a.nte"));
        writeFile(path, bytes);
        RichTextBox box;
        box.setPlainText(QStringLiteral("old content"));
        box.setSelStart(3);
        box.LoadFile(path);
        QCOMPARE(box.Text(), text);
        QCOMPARE(box.SelStart(), 0);
        QCOMPARE(box.SelLength(), 0);
    }

    // The box's own save replaces a longer file whole, leaves nothing beside
    // it, and loads back the same.
    void saveReplacesTheFileWhole()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("note.nte"));
        writeFile(path, QByteArray(100000, 'x'));
        RichTextBox box, back;
        box.setTextRTF(kSample);
        box.setSelText(QString::fromUtf16(u"café Жук "));
        box.SaveFile(path);
        QCOMPARE(readFile(path), box.TextRTF().toLatin1());
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("note.nte")});
        back.LoadFile(path);
        QCOMPARE(back.TextRTF(), box.TextRTF());
    }

    // A folder where a file should be: a reason, and the content and the folder as they were.
    void folderInsteadOfFile()
    {
        QTemporaryDir dir;
        RichTextBox box;
        box.setTextRTF(kSample);
        const QString loadError = errorOf([&] { box.LoadFile(dir.path()); });
        QVERIFY2(loadError.startsWith(QStringLiteral("Cannot ")), qPrintable(loadError));
        QCOMPARE(box.Text(), QStringLiteral("Hello bold"));
        const QString saveError = errorOf([&] { box.SaveFile(dir.path()); });
        QVERIFY2(saveError.startsWith(QStringLiteral("Cannot save \"%1\": ").arg(dir.path())), qPrintable(saveError));
        QVERIFY(QFileInfo(dir.path()).isDir());
    }

    void selStartAndLength_data()
    {
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("length");
        QTest::addColumn<int>("selStart");
        QTest::addColumn<int>("selLength");
        QTest::addColumn<QString>("selText");
        // Text: "Hello\nworld" (11 characters, the paragraph break is one).
        QTest::newRow("insertion point") << 3 << 0 << 3 << 0 << QString();
        QTest::newRow("across the paragraph") << 3 << 5 << 3 << 5 << QStringLiteral("lo\nwo");
        QTest::newRow("length past the end") << 8 << 100 << 8 << 3 << QStringLiteral("rld");
        QTest::newRow("start past the end") << 100 << 2 << 11 << 0 << QString();
        QTest::newRow("negative start") << -5 << 2 << 0 << 2 << QStringLiteral("He");
        QTest::newRow("negative length") << 4 << -2 << 4 << 0 << QString();
    }
    void selStartAndLength()
    {
        QFETCH(int, start);
        QFETCH(int, length);
        QFETCH(int, selStart);
        QFETCH(int, selLength);
        QFETCH(QString, selText);
        RichTextBox box;
        box.setTextRTF(QStringLiteral(R"({\rtf1 Hello\par world\par})"));
        box.setSelStart(start);
        QCOMPARE(box.SelLength(), 0);
        box.setSelLength(length);
        QCOMPARE(box.SelStart(), selStart);
        QCOMPARE(box.SelLength(), selLength);
        QCOMPARE(box.SelText(), selText);
    }

    // Find(text, start, end, options): the range searched, the position
    // returned and what is selected.
    void findRanges_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("search");
        QTest::addColumn<int>("selStart");
        QTest::addColumn<int>("selLength");
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("end");
        QTest::addColumn<int>("options");
        QTest::addColumn<int>("found");
        const QString t = QStringLiteral("abc ABC abc");
        QTest::newRow("whole text") << t << "abc" << 0 << 0 << -1 << -1 << 0 << 0;
        QTest::newRow("case ignored") << t << "ABC" << 0 << 0 << -1 << -1 << 0 << 0;
        QTest::newRow("match case") << t << "ABC" << 0 << 0 << -1 << -1 << 4 << 4;
        QTest::newRow("match case, no hit") << t << "aBc" << 0 << 0 << -1 << -1 << 4 << -1;
        QTest::newRow("from the insertion point") << t << "abc" << 1 << 0 << -1 << -1 << 0 << 4;
        QTest::newRow("start given") << t << "abc" << 0 << 0 << 5 << -1 << 0 << 8;
        QTest::newRow("hit must end before end") << t << "abc" << 0 << 0 << 0 << 2 << 0 << -1;
        QTest::newRow("end given, from insertion point") << t << "abc" << 5 << 0 << -1 << 11 << 0 << 8;
        QTest::newRow("end given, nothing after") << t << "abc" << 9 << 0 << -1 << 11 << 0 << -1;
        QTest::newRow("neither given: the selection") << t << "abc" << 1 << 7 << -1 << -1 << 0 << 4;
        QTest::newRow("neither given: selection too short") << t << "abc" << 5 << 5 << -1 << -1 << 0 << -1;
        QTest::newRow("whole word") << QStringLiteral("abcd abc") << "abc" << 0 << 0 << -1 << -1 << 2 << 5;
        QTest::newRow("no highlight") << t << "c a" << 0 << 0 << -1 << -1 << 8 << 2;
        QTest::newRow("across a paragraph") << QStringLiteral("ab\ncd") << "b\nc" << 0 << 0 << -1 << -1 << 0 << 1;
        QTest::newRow("empty search text") << t << "" << 0 << 0 << -1 << -1 << 0 << -1;
        QTest::newRow("start past the end") << t << "abc" << 0 << 0 << 50 << -1 << 0 << -1;
    }
    void findRanges()
    {
        QFETCH(QString, text);
        QFETCH(QString, search);
        QFETCH(int, selStart);
        QFETCH(int, selLength);
        QFETCH(int, start);
        QFETCH(int, end);
        QFETCH(int, options);
        QFETCH(int, found);
        RichTextBox box;
        box.setPlainText(text);
        box.setSelStart(selStart);
        box.setSelLength(selLength);
        QCOMPARE(box.Find(search, start, end, options), found);
        const bool selects = found >= 0 && !(options & RichTextBox::rtfNoHighlight);
        QCOMPARE(box.SelStart(), selects ? found : selStart);
        QCOMPARE(box.SelLength(), selects ? int(search.size()) : selLength);
    }

    // Lines wrap at the right margin; 0 wraps at the box's edge.
    void rightMargin()
    {
        RichTextBox box;
        QCOMPARE(box.RightMargin(), 0);
        box.setRightMargin(9000);
        QCOMPARE(box.lineWrapColumnOrWidth(), 600);
        QCOMPARE(errorOf([&] { box.setRightMargin(-400); }), QStringLiteral("Invalid property value"));
        QCOMPARE(box.RightMargin(), 9000);
        box.setRightMargin(0);
        QCOMPARE(box.lineWrapMode(), QTextEdit::WidgetWidth);

        box.resize(800, 400);
        box.show();
        box.setPlainText(QString(400, u'x').replace(QLatin1String("xxxxx"), QLatin1String("xxxx ")));
        auto lines = [&box](int margin) {
            box.setRightMargin(margin);
            QApplication::processEvents();
            return box.document()->firstBlock().layout()->lineCount();
        };
        const int wide = lines(6000), narrow = lines(1500);
        QVERIFY2(narrow > wide, qPrintable(QStringLiteral("%1 lines at 100 px, %2 at 400 px").arg(narrow).arg(wide)));
    }

    // The box stays responsive with a large note: LoadFile returns with the
    // text read but not laid out; the first page is laid out on the first
    // event round and the rest in steps after it.
    void largeNoteShowsBeforeItIsLaidOut()
    {
        QByteArray rtf = R"({\rtf1\ansi{\fonttbl{\f0 Arial;}}\f0\fs20 )";
        for (int i = 0; i < 20000; ++i)
            rtf += "Paragraph " + QByteArray::number(i) + R"( with \b bold\b0  and \i italic\i0  words.\par)" "\r\n";
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("large.nte"));
        writeFile(path, rtf + '}');

        RichTextBox box;
        box.resize(600, 400);
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        box.LoadFile(path);
        QCOMPARE(box.document()->blockCount(), 20000);
        QCOMPARE(box.document()->lastBlock().layout()->lineCount(), 0);
        QApplication::processEvents();
        QVERIFY(box.document()->firstBlock().layout()->lineCount() > 0);
        QTRY_VERIFY_WITH_TIMEOUT(box.document()->lastBlock().layout()->lineCount() > 0, 60000);
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
        mime->setHtml(QStringLiteral("<ol><li>one</li><li><s>two</s></li></ol><table><tr><td>a</td><td><b>b</b></td></tr>"
                                     "</table><p style='font-variant:small-caps'><sup>x</sup></p>"));
        QApplication::clipboard()->setMimeData(mime);
        box.paste();
        const QString pasted = describe(*box.document());
        QVERIFY2(pasted.contains(QStringLiteral("#1:-4.1")) && pasted.contains(QStringLiteral("@0,1")), qPrintable(pasted));
        box.setTextRTF(box.TextRTF());
        QCOMPARE(describe(*box.document()), pasted);
    }
};

QTEST_MAIN(TestRichTextBox)
#include "test_richtextbox.moc"
