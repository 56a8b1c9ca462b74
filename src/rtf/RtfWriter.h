#pragma once

#include <QByteArray>

class QTextCursor;
class QTextDocument;

// Writes a QTextDocument as RTF 1.x that word processors open with the same
// text and formatting: a font and a colour table, character formatting,
// paragraph alignment, indents and spacing. The output is plain ASCII:
// characters outside ASCII go out as \'hh (code page 1252) or \uN?.
// Reading the output back with RtfReader gives the same text and formatting,
// and writing that again gives the same bytes.
namespace RtfWriter {

QByteArray write(const QTextDocument& doc);

// The cursor's selection as a whole RTF document (an empty one when nothing
// is selected), formatted as in the cursor's document.
QByteArray writeSelection(const QTextCursor& cursor);

}  // namespace RtfWriter
