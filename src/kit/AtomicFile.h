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

// The same for a file made piece by piece, so that it is never held whole:
// each append() goes to the temporary file, commit() replaces the target.
// Without commit() (or after a failed append) the target stays as it was.
class Writer {
public:
    explicit Writer(const QString& path);
    ~Writer();
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;
    // False once a write has failed; the rest is then not written.
    bool append(const QByteArray& bytes);
    // Empty on success, else the system's reason.
    QString commit();

private:
    QByteArray m_final, m_temporary, m_folder;
    int m_fd = -1;
    int m_error = 0;
};
}  // namespace AtomicFile
