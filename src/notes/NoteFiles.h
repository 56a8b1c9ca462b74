#pragma once

#include <QByteArray>
#include <QString>

// Where a note's bytes go: its file, and the search index.
namespace NoteFiles {
// Writes the note's RTF to `path` whole or not at all, with a line end after
// it when `lineEnd`. The reason it failed, or empty.
QString write(const QString& path, QByteArray rtf, bool lineEnd);
// Puts the note's text into the search index of the program's store. A note
// whose index cannot be written is still saved: the index misses it until it
// is next rebuilt, and no store is made where there is none.
void index(const QString& path, const QString& plainText);
}  // namespace NoteFiles
