// The rich-text box as the note, find and about screens drive it (Parts 1.5,
// 5.1, 5.2, 5.3).

#include "RtfTestUtil.h"
#include "controls/RichTextBox.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QTemporaryDir>
#include <QTest>
#include <QTextCursor>
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
    void textRtfReadsAndWrites();
    void setTextRtfWithPlainText();
    void loadsRtfFile();
    void loadsPlainTextFile_data();
    void loadsPlainTextFile();
    void loadFailureKeepsContent();
    void savesTextRtf();
    void bothKindsOfNoteFileLoadTheSame();
    void saveFailureSaysWhy();

    void selStartAndLength_data();
    void selStartAndLength();
    void selectAllOnEmptyNote();
    void selTextReadAndReplace();
    void selTextInsertsAtInsertionPoint();
    void selRtfStartsWithHeader();
    void copyPasteKeepsFormatting();
    void cutLeavesNothing();
    void pasteOfPlainText();

    void findRanges_data();
    void findRanges();
    void findSequenceOfFindWindow();
    void replaceSequenceNeverFindsReplacement();

    void rightMargin();
    void ctrlZUndoesTyping();
    void postedCtrlZUndoesReplacement();
    void loadIsNotUndoable();
    void largeNoteShowsBeforeItIsLaidOut();
};

void TestRichTextBox::textRtfReadsAndWrites()
{
    RichTextBox box;
    box.setTextRTF(kSample);
    QCOMPARE(box.Text(), QStringLiteral("Hello bold"));
    QCOMPARE(charAttrsAt(*box.document(), 6), QStringLiteral("f=Arial fs=10 b"));
    const QString rtf = box.TextRTF();
    QVERIFY(rtf.startsWith(QStringLiteral("{\\rtf1\\ansi\\ansicpg1252")));
    QVERIFY2(rtf.contains(QStringLiteral("\\pard\\fs20 Hello \\b bold\\par\r\n}")), qPrintable(rtf));

    RichTextBox other;
    other.setTextRTF(rtf);
    QCOMPARE(other.TextRTF(), rtf);
    QCOMPARE(describe(*other.document()), describe(*box.document()));
}

void TestRichTextBox::setTextRtfWithPlainText()
{
    RichTextBox box;
    box.setTextRTF(QStringLiteral("just {text}"));
    QCOMPARE(box.Text(), QStringLiteral("just {text}"));
    // Characters outside code page 1252 in RTF source are still read.
    box.setTextRTF(QString::fromUtf16(u"{\\rtf1 Жук \\'e9}"));
    QCOMPARE(box.Text(), QString::fromUtf16(u"Жук é"));
}

void TestRichTextBox::loadsRtfFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.nte"));
    writeFile(path, kSample.toLatin1());
    RichTextBox box;
    box.setPlainText(QStringLiteral("old content"));
    box.setSelStart(3);
    box.LoadFile(path);
    QCOMPARE(box.Text(), QStringLiteral("Hello bold"));
    QCOMPARE(box.SelStart(), 0);
    QCOMPARE(box.SelLength(), 0);
    QCOMPARE(charAttrsAt(*box.document(), 7), QStringLiteral("f=Arial fs=10 b"));
}

void TestRichTextBox::loadsPlainTextFile_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("ASCII") << QByteArray("Tessaly 2002\r\nA personal organizer.\r\n")
                           << QStringLiteral("Tessaly 2002\nA personal organizer.\n");
    QTest::newRow("code page 1252") << QByteArray("Caf\xe9 \x80") << QString::fromUtf16(u"Café €");
    QTest::newRow("UTF-8") << QByteArray("Caf\xc3\xa9 \xd0\x96") << QString::fromUtf16(u"Café Ж");
    QTest::newRow("empty") << QByteArray() << QString();
}

void TestRichTextBox::loadsPlainTextFile()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("description.txt"));
    writeFile(path, bytes);
    RichTextBox box;
    box.setTextRTF(kSample);
    box.LoadFile(path);
    QCOMPARE(box.Text(), text);
    if (!text.isEmpty())
        QCOMPARE(charAttrsAt(*box.document(), 0).contains(QLatin1String(" b")), false);
}

void TestRichTextBox::loadFailureKeepsContent()
{
    QTemporaryDir dir;
    RichTextBox box;
    box.setTextRTF(kSample);
    const QString missing = dir.filePath(QStringLiteral("missing.nte"));
    const QString error = errorOf([&] { box.LoadFile(missing); });
    QVERIFY2(error.startsWith(QStringLiteral("Cannot open \"%1\": ").arg(missing)), qPrintable(error));
    QVERIFY2(error.size() > QStringLiteral("Cannot open \"%1\": ").arg(missing).size(), qPrintable(error));
    QCOMPARE(box.Text(), QStringLiteral("Hello bold"));

    const QString folderError = errorOf([&] { box.LoadFile(dir.path()); });
    QVERIFY2(folderError.startsWith(QStringLiteral("Cannot ")), qPrintable(folderError));
    QCOMPARE(box.Text(), QStringLiteral("Hello bold"));
}

void TestRichTextBox::savesTextRtf()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("note.nte"));
    writeFile(path, QByteArray(100000, 'x'));  // a longer file is replaced whole
    RichTextBox box;
    box.setTextRTF(kSample);
    box.SaveFile(path);
    QCOMPARE(readFile(path), box.TextRTF().toLatin1());
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("note.nte")});
}

// Notes: the first save is the box's own, later ones write TextRTF and a
// CR LF; both load the same.
void TestRichTextBox::bothKindsOfNoteFileLoadTheSame()
{
    QTemporaryDir dir;
    RichTextBox box;
    box.setTextRTF(kSample);
    QTextCursor c = box.textCursor();
    c.movePosition(QTextCursor::End);
    box.setTextCursor(c);
    box.setSelText(QString::fromUtf16(u" café Жук"));

    const QString own = dir.filePath(QStringLiteral("own.nte"));
    const QString text = dir.filePath(QStringLiteral("text.nte"));
    box.SaveFile(own);
    writeFile(text, box.TextRTF().toLatin1() + "\r\n");

    RichTextBox a, b;
    a.LoadFile(own);
    b.LoadFile(text);
    QCOMPARE(a.Text(), QString::fromUtf16(u"Hello bold café Жук"));
    QCOMPARE(b.Text(), a.Text());
    QCOMPARE(b.TextRTF(), a.TextRTF());
    QCOMPARE(a.TextRTF(), box.TextRTF());
}

void TestRichTextBox::saveFailureSaysWhy()
{
    QTemporaryDir dir;
    RichTextBox box;
    box.setTextRTF(kSample);
    const QString path = dir.filePath(QStringLiteral("no such folder/note.nte"));
    const QString error = errorOf([&] { box.SaveFile(path); });
    QVERIFY2(error.startsWith(QStringLiteral("Cannot save \"%1\": ").arg(path)), qPrintable(error));
    QVERIFY(!QFile::exists(path));

    const QString folder = dir.filePath(QStringLiteral("folder"));
    QVERIFY(QDir().mkdir(folder));
    QVERIFY(errorOf([&] { box.SaveFile(folder); }).startsWith(QStringLiteral("Cannot save")));
    QVERIFY(QFileInfo(folder).isDir());
}

void TestRichTextBox::selStartAndLength_data()
{
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("selStart");
    QTest::addColumn<int>("selLength");
    QTest::addColumn<QString>("selText");
    // Text: "Hello\nworld" (11 characters, the paragraph break is one).
    QTest::newRow("insertion point") << 3 << 0 << 3 << 0 << QString();
    QTest::newRow("a word") << 6 << 5 << 6 << 5 << QStringLiteral("world");
    QTest::newRow("across the paragraph") << 3 << 5 << 3 << 5 << QStringLiteral("lo\nwo");
    QTest::newRow("length past the end") << 8 << 100 << 8 << 3 << QStringLiteral("rld");
    QTest::newRow("start past the end") << 100 << 2 << 11 << 0 << QString();
    QTest::newRow("negative start") << -5 << 2 << 0 << 2 << QStringLiteral("He");
    QTest::newRow("negative length") << 4 << -2 << 4 << 0 << QString();
}

void TestRichTextBox::selStartAndLength()
{
    QFETCH(int, start);
    QFETCH(int, length);
    QFETCH(int, selStart);
    QFETCH(int, selLength);
    QFETCH(QString, selText);
    RichTextBox box;
    box.setTextRTF(QStringLiteral(R"({\rtf1 Hello\par world\par})"));
    QCOMPARE(box.Text(), QStringLiteral("Hello\nworld"));
    box.setSelStart(start);
    QCOMPARE(box.SelLength(), 0);
    box.setSelLength(length);
    QCOMPARE(box.SelStart(), selStart);
    QCOMPARE(box.SelLength(), selLength);
    QCOMPARE(box.SelText(), selText);
}

// Select All: insertion point 0, then the length of the plain text.
void TestRichTextBox::selectAllOnEmptyNote()
{
    RichTextBox box;
    box.setSelStart(0);
    box.setSelLength(int(box.Text().size()));
    QCOMPARE(box.SelStart(), 0);
    QCOMPARE(box.SelLength(), 0);

    box.setTextRTF(QStringLiteral(R"({\rtf1 ab\par cd\par})"));
    box.setSelStart(0);
    box.setSelLength(int(box.Text().size()));
    QCOMPARE(box.SelText(), QStringLiteral("ab\ncd"));
}

void TestRichTextBox::selTextReadAndReplace()
{
    RichTextBox box;
    box.setTextRTF(QStringLiteral(R"({\rtf1 one \b two\b0  three})"));
    box.setSelStart(4);
    box.setSelLength(3);
    QCOMPARE(box.SelText(), QStringLiteral("two"));
    box.setSelText(QStringLiteral("2"));
    QCOMPARE(box.Text(), QStringLiteral("one 2 three"));
    QCOMPARE(box.SelStart(), 5);
    QCOMPARE(box.SelLength(), 0);
}

// Date with nothing selected: the text goes in at the insertion
// point, which then stands behind it.
void TestRichTextBox::selTextInsertsAtInsertionPoint()
{
    RichTextBox box;
    box.setPlainText(QStringLiteral("ab"));
    box.setSelStart(1);
    box.setSelText(QStringLiteral("06/12/2024"));
    QCOMPARE(box.Text(), QStringLiteral("a06/12/2024b"));
    QCOMPARE(box.SelStart(), 11);
    QCOMPARE(box.SelLength(), 0);

    RichTextBox empty;
    empty.setSelText(QStringLiteral("10:30:00"));
    QCOMPARE(empty.Text(), QStringLiteral("10:30:00"));
    QCOMPARE(empty.SelStart(), 8);
}

void TestRichTextBox::selRtfStartsWithHeader()
{
    RichTextBox box;
    box.setTextRTF(kSample);
    box.setSelStart(6);
    box.setSelLength(4);
    const QString rtf = box.SelRTF();
    QVERIFY2(rtf.startsWith(QStringLiteral("{\\rtf1")), qPrintable(rtf));
    QVERIFY2(rtf.endsWith(QStringLiteral("\\pard\\fs20\\b bold\\par\r\n}")), qPrintable(rtf));
    QVERIFY(!rtf.contains(QStringLiteral("Hello")));
}

// Copy and paste: select a formatted word, Copy, click elsewhere, Paste: the word
// comes in again with its formatting.
void TestRichTextBox::copyPasteKeepsFormatting()
{
    RichTextBox box;
    box.setTextRTF(QStringLiteral(R"({\rtf1{\colortbl;\red255\green0\blue0;}plain \b\cf1 red\b0\cf0  end})"));
    QCOMPARE(box.Text(), QStringLiteral("plain red end"));
    box.setSelStart(6);
    box.setSelLength(3);
    const QString clipboard = box.SelRTF();

    box.setSelStart(13);
    box.setSelRTF(clipboard);
    QCOMPARE(box.Text(), QStringLiteral("plain red endred"));
    QCOMPARE(box.SelStart(), 16);
    QCOMPARE(box.SelLength(), 0);
    // The copy names the font the word was drawn in.
    QCOMPARE(charAttrsAt(*box.document(), 14),
             QStringLiteral("f=%1 fs=12 b fg=#ff0000").arg(box.document()->defaultFont().family()));
    QCOMPARE(charAttrsAt(*box.document(), 12), QStringLiteral("fs=12"));
}

void TestRichTextBox::cutLeavesNothing()
{
    RichTextBox box;
    box.setTextRTF(QStringLiteral(R"({\rtf1 one\par two\par three})"));
    box.setSelStart(2);
    box.setSelLength(7);  // "e\ntwo\nt"
    const QString clipboard = box.SelRTF();
    box.setSelText(QString());
    QCOMPARE(box.Text(), QStringLiteral("onhree"));
    box.setSelStart(6);
    box.setSelRTF(clipboard);
    QCOMPARE(box.Text(), QStringLiteral("onhreee\ntwo\nt"));
    QCOMPARE(box.SelStart(), 13);
}

void TestRichTextBox::pasteOfPlainText()
{
    RichTextBox box;
    box.setPlainText(QStringLiteral("ab"));
    box.setSelStart(1);
    box.setSelRTF(QStringLiteral("plain {not rtf}"));
    QCOMPARE(box.Text(), QStringLiteral("aplain {not rtf}b"));
    QCOMPARE(box.SelStart(), 16);
}

void TestRichTextBox::findRanges_data()
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
    QTest::newRow("across a paragraph") << QStringLiteral("ab\ncd") << "b\nc" << 0 << 0 << -1 << -1 << 0 << 1;
    QTest::newRow("empty search text") << t << "" << 0 << 0 << -1 << -1 << 0 << -1;
    QTest::newRow("start past the end") << t << "abc" << 0 << 0 << 50 << -1 << 0 << -1;
}

void TestRichTextBox::findRanges()
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
    if (found >= 0) {
        QCOMPARE(box.SelStart(), found);
        QCOMPARE(box.SelLength(), search.size());
    } else {
        QCOMPARE(box.SelStart(), selStart);
        QCOMPARE(box.SelLength(), selLength);
    }
}

// Find: "abc abc": Find selects 0..2, Find Next 4..6, then nothing.
void TestRichTextBox::findSequenceOfFindWindow()
{
    RichTextBox box;
    box.setPlainText(QStringLiteral("abc abc"));
    box.setSelStart(0);
    QCOMPARE(box.Find(QStringLiteral("abc"), -1, -1, 0), 0);
    QCOMPARE(box.SelText(), QStringLiteral("abc"));

    box.setSelStart(box.SelStart() + int(box.SelText().size()));
    QCOMPARE(box.Find(QStringLiteral("abc"), -1, int(box.Text().size()), 0), 4);
    QCOMPARE(box.SelStart(), 4);
    QCOMPARE(box.SelLength(), 3);

    box.setSelStart(box.SelStart() + int(box.SelText().size()));
    QCOMPARE(box.Find(QStringLiteral("abc"), -1, int(box.Text().size()), 0), -1);
    QCOMPARE(box.SelStart(), 7);

    box.setSelStart(0);
    QCOMPARE(box.Find(QStringLiteral("c a"), -1, -1, RichTextBox::rtfNoHighlight), 2);
    QCOMPARE(box.SelStart(), 0);
    QCOMPARE(box.SelLength(), 0);
}

// Replace: the replacement is never searched again, even when it
// holds the search text.
void TestRichTextBox::replaceSequenceNeverFindsReplacement()
{
    RichTextBox box;
    box.setPlainText(QStringLiteral("cat cat"));
    box.setSelStart(0);
    QCOMPARE(box.Find(QStringLiteral("cat")), 0);
    QStringList steps;
    while (!box.SelText().isEmpty()) {
        box.setSelText(QStringLiteral("concat"));
        box.setSelStart(box.SelStart() + int(box.SelText().size()));
        steps << QString::number(box.Find(QStringLiteral("cat"), -1, int(box.Text().size())));
    }
    QCOMPARE(box.Text(), QStringLiteral("concat concat"));
    QCOMPARE(steps, (QStringList{QStringLiteral("7"), QStringLiteral("-1")}));
}

void TestRichTextBox::rightMargin()
{
    RichTextBox box;
    QCOMPARE(box.RightMargin(), 0);
    box.setRightMargin(9000);
    QCOMPARE(box.RightMargin(), 9000);
    QCOMPARE(box.lineWrapMode(), QTextEdit::FixedPixelWidth);
    QCOMPARE(box.lineWrapColumnOrWidth(), 600);
    QCOMPARE(errorOf([&] { box.setRightMargin(-400); }), QStringLiteral("Invalid property value"));
    QCOMPARE(box.RightMargin(), 9000);
    box.setRightMargin(0);
    QCOMPARE(box.lineWrapMode(), QTextEdit::WidgetWidth);

    // Lines wrap at the margin: a long paragraph takes more lines when it is
    // narrow.
    box.resize(800, 400);
    box.show();
    box.setPlainText(QString(400, u'x').replace(QLatin1String("xxxxx"), QLatin1String("xxxx ")));
    box.setRightMargin(6000);
    QApplication::processEvents();
    const int wide = box.document()->firstBlock().layout()->lineCount();
    box.setRightMargin(1500);
    QApplication::processEvents();
    const int narrow = box.document()->firstBlock().layout()->lineCount();
    QVERIFY2(narrow > wide, qPrintable(QStringLiteral("%1 lines at 100 px, %2 at 400 px").arg(narrow).arg(wide)));
}

void TestRichTextBox::ctrlZUndoesTyping()
{
    RichTextBox box;
    box.setTextRTF(kSample);
    box.show();
    box.setFocus();
    QTextCursor c = box.textCursor();
    c.movePosition(QTextCursor::End);
    box.setTextCursor(c);
    QTest::keyClicks(&box, QStringLiteral(" typed"));
    QCOMPARE(box.Text(), QStringLiteral("Hello bold typed"));
    QTest::keyClick(&box, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(box.Text(), QStringLiteral("Hello bold"));
}

// Undo sends Ctrl+Z to the focused control without waiting.
void TestRichTextBox::postedCtrlZUndoesReplacement()
{
    RichTextBox box;
    box.setPlainText(QStringLiteral("one two"));
    box.setSelStart(4);
    box.setSelLength(3);
    box.setSelText(QStringLiteral("2"));
    QCOMPARE(box.Text(), QStringLiteral("one 2"));
    QCoreApplication::postEvent(&box, new QKeyEvent(QEvent::KeyPress, Qt::Key_Z, Qt::ControlModifier));
    QCOMPARE(box.Text(), QStringLiteral("one 2"));
    QCoreApplication::processEvents();
    QCOMPARE(box.Text(), QStringLiteral("one two"));
}

void TestRichTextBox::loadIsNotUndoable()
{
    RichTextBox box;
    box.setPlainText(QStringLiteral("before"));
    box.setSelText(QStringLiteral("x"));
    box.setTextRTF(kSample);
    QVERIFY(!box.document()->isUndoAvailable());
    QTest::keyClick(&box, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(box.Text(), QStringLiteral("Hello bold"));
}

// The box stays responsive with a large note: LoadFile returns with the text
// read but not laid out; the first page is laid out on the first event round
// and the rest in steps after it.
void TestRichTextBox::largeNoteShowsBeforeItIsLaidOut()
{
    QByteArray rtf = R"({\rtf1\ansi{\fonttbl{\f0 Arial;}}\f0\fs20 )";
    for (int i = 0; i < 20000; ++i)
        rtf += "Paragraph " + QByteArray::number(i) + R"( with \b bold\b0  and \i italic\i0  words.\par)" "\r\n";
    rtf += '}';
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("large.nte"));
    writeFile(path, rtf);

    RichTextBox box;
    box.resize(600, 400);
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    box.LoadFile(path);
    QCOMPARE(box.document()->blockCount(), 20000);
    QCOMPARE(box.SelStart(), 0);
    QCOMPARE(box.document()->lastBlock().layout()->lineCount(), 0);
    QApplication::processEvents();
    QVERIFY(box.document()->firstBlock().layout()->lineCount() > 0);
    QTRY_VERIFY_WITH_TIMEOUT(box.document()->lastBlock().layout()->lineCount() > 0, 60000);
}

QTEST_MAIN(TestRichTextBox)
#include "test_richtextbox.moc"
