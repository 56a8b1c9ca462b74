#pragma once

#include <QByteArray>
#include <QString>
#include <QTextDocumentFragment>

#include <atomic>

class QTextDocument;

// Reads RTF 1.x, as word processors and rich-edit controls write it, into a
// QTextDocument. No widget header: the reader is tested and fuzzed without a
// window. It never fails on damaged input; it keeps whatever text it can read.
namespace RtfReader {

// True when the data starts like an RTF file: "{\rtf" after blanks, or after
// a UTF-8 byte order mark.
bool isRtf(const QByteArray& data);

// Replaces the content of doc with the RTF in data and empties its undo
// history. Returns false, leaving doc as it was, when data is not RTF. Once
// `stop` (if given) is set, reading ends soon with what it has so far.
bool read(const QByteArray& data, QTextDocument& doc, const std::atomic<bool>* stop = nullptr);

// The RTF in data as a fragment to insert at a cursor; empty when data is not
// RTF. The final paragraph mark, as in read(), ends the last paragraph and
// does not add an empty one.
QTextDocumentFragment readFragment(const QByteArray& data);

// The text of a file that is not RTF: UTF-8 or UTF-16 by its byte order
// mark, UTF-8 when the bytes are valid UTF-8, else code page 1252.
QString decodePlainText(const QByteArray& data);

}  // namespace RtfReader
