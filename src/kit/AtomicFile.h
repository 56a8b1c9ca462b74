#pragma once

#include <QByteArray>
#include <QString>

// Every file the program writes is replaced in one step: the bytes go to a
// hidden temporary file in the target's folder (".<name>.XXXXXX", so no
// file dialog filter lists it), each write and the sync are checked, and
// only then is it renamed over the target. On any failure the old file is
// left exactly as it was and the temporary file is removed.
namespace AtomicFile {
// Returns an empty string on success, else the system's reason (for example
// "No space left on device"). A new file is made readable by its owner
// only; a replaced file keeps its permissions. Temporary files that an
// interrupted earlier save of the same file left behind are removed first.
QString write(const QString& path, const QByteArray& bytes);
}  // namespace AtomicFile
