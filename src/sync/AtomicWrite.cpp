#include "sync/AtomicWrite.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

QString reason()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

bool writeAll(int fd, const QByteArray& bytes)
{
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        left -= n;
    }
    return true;
}

}  // namespace

bool writeFileAtomically(const QString& path, const QByteArray& bytes, QString* error)
{
    const QFileInfo target(path);
    const QByteArray folder = QFile::encodeName(target.absolutePath());
    QByteArray temp = QFile::encodeName(target.absolutePath() + u'/' + u'.' + target.fileName()) + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        *error = reason();
        return false;
    }
    const bool written = writeAll(fd, bytes) && ::fsync(fd) == 0;
    const QString writeError = written ? QString() : reason();
    if (::close(fd) != 0 && written) {
        *error = reason();
        ::unlink(temp.constData());
        return false;
    }
    if (!written) {
        *error = writeError;
        ::unlink(temp.constData());
        return false;
    }
    if (::rename(temp.constData(), QFile::encodeName(target.absoluteFilePath()).constData()) != 0) {
        *error = reason();
        ::unlink(temp.constData());
        return false;
    }
    // The rename itself reaches the disk only with its folder.
    if (const int dir = ::open(folder.constData(), O_RDONLY | O_DIRECTORY); dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}
