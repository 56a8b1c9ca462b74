// libFuzzer target for the RTF reader. Besides "never crash", it checks the
// round trip on every input the reader accepts: what we write is ASCII, reads
// back to the same text, and writing that again gives the same bytes.
#include "rtf/RtfReader.h"
#include "rtf/RtfWriter.h"

#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void fail(const char* what, const QByteArray& first, const QByteArray& second)
{
    std::fprintf(stderr, "fuzz_rtf: %s\n--- first\n%s\n--- second\n%s\n", what, first.constData(), second.constData());
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray input = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    QTextDocument doc;
    if (!RtfReader::read(input, doc)) {
        (void)RtfReader::decodePlainText(input);
        return 0;
    }
    const QByteArray first = RtfWriter::write(doc);
    // A picture we do not show is written back as read, bytes and all.
    if (!first.contains("\\pict"))
        for (char c : first)
            if (static_cast<unsigned char>(c) >= 0x80)
                fail("output is not ASCII", first, {});

    QTextDocument again;
    if (!RtfReader::read(first, again))
        fail("own output is not RTF", first, {});
    if (again.toPlainText() != doc.toPlainText())
        fail("text changed in the round trip", doc.toPlainText().toUtf8(), again.toPlainText().toUtf8());
    const QByteArray second = RtfWriter::write(again);
    if (second != first)
        fail("second write differs", first, second);

    // The clipboard path: a selection out as RTF, back in as a fragment.
    QTextCursor cursor(&doc);
    const int length = doc.characterCount() - 1;
    cursor.setPosition(length / 3);
    cursor.setPosition(2 * length / 3, QTextCursor::KeepAnchor);
    const QByteArray selection = RtfWriter::writeSelection(cursor);
    const QTextDocumentFragment fragment = RtfReader::readFragment(selection);
    cursor.insertFragment(fragment);
    return 0;
}
