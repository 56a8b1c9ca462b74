#include "kit/AtomicFile.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {
QString reason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// Left-overs of a save that was killed between creating its temporary file
// and the rename: only names of exactly our own pattern.
void removeLeftovers(const QDir& folder, const QString& name)
{
    const QRegularExpression ours(QRegularExpression::anchoredPattern(
        QLatin1Char('.') + QRegularExpression::escape(name) + QStringLiteral("\\.[A-Za-z0-9]{6}")));
    for (const QString& entry : folder.entryList({QLatin1Char('.') + name + QStringLiteral(".*")},
                                                 QDir::Files | QDir::Hidden | QDir::System)) {
        if (ours.match(entry).hasMatch())
            ::unlink(QFile::encodeName(folder.filePath(entry)).constData());
    }
}

bool writeAll(int fd, const QByteArray& bytes)
{
    const char* p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = EIO;
            return false;
        }
        p += n;
        left -= n;
    }
    return true;
}

bool syncFolder(const QByteArray& folder)
{
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = ::fsync(fd) == 0;
    const int error = errno;
    ::close(fd);
    errno = error;
    return synced;
}
}  // namespace

AtomicFile::Writer::Writer(const QString& path)
{
    const QFileInfo target(path);
    const QDir folder = target.absoluteDir();
    removeLeftovers(folder, target.fileName());
    m_final = QFile::encodeName(target.absoluteFilePath());
    m_folder = QFile::encodeName(folder.absolutePath());
    m_temporary = QFile::encodeName(folder.filePath(QLatin1Char('.') + target.fileName())) + ".XXXXXX";
    m_fd = ::mkostemp(m_temporary.data(), O_CLOEXEC);  // mode 0600
    if (m_fd < 0)
        m_error = errno;
}

AtomicFile::Writer::~Writer()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        ::unlink(m_temporary.constData());
    }
}

bool AtomicFile::Writer::append(const QByteArray& bytes)
{
    if (m_error == 0 && !writeAll(m_fd, bytes))
        m_error = errno;
    return m_error == 0;
}

QString AtomicFile::Writer::commit()
{
    if (m_error != 0)
        return reason(m_error);
    struct stat old {};
    bool ok = true;
    if (::stat(m_final.constData(), &old) == 0 && S_ISREG(old.st_mode))
        ok = ::fchmod(m_fd, old.st_mode & 07777) == 0;
    ok = ok && ::fsync(m_fd) == 0;
    int error = errno;
    const int fd = std::exchange(m_fd, -1);
    if (::close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (ok && ::rename(m_temporary.constData(), m_final.constData()) != 0) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        ::unlink(m_temporary.constData());
        return reason(m_error = error);
    }
    // The rename is only lasting once the folder's entry is on disk too.
    if (!syncFolder(m_folder))
        return reason(errno);
    return QString();
}

QString AtomicFile::write(const QString& path, const QByteArray& bytes)
{
    Writer file(path);
    file.append(bytes);
    return file.commit();
}
