#include "SaveFile.h"
#include "Messages.h"

#include <QAtomicInteger>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <functional>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

QString shown(const QString &path) { return QDir::toNativeSeparators(path); }
QByteArray encoded(const QString &path) { return QFile::encodeName(path); }

// The data of a file, without the times of its last access and change.
int syncData(int fd)
{
#if defined(__linux__)
    return ::fdatasync(fd);
#else
    return ::fsync(fd);
#endif
}

int retrying(const std::function<int()> &call)
{
    int r;
    do
        r = call();
    while (r < 0 && errno == EINTR);
    return r;
}

} // namespace

QString hiddenBeside(const QString &path, const char *kind)
{
    static QAtomicInteger<quint32> counter;
    return QFileInfo(path).absolutePath()
           + QStringLiteral("/.sequanel-%1-%2.%3")
                 .arg(QCoreApplication::applicationPid())
                 .arg(counter.fetchAndAddRelaxed(1))
                 .arg(QLatin1String(kind));
}

QString systemReason(int errnum)
{
    switch (errnum) {
    case ENOSPC:
    case EDQUOT:
    case EFBIG: return msg::saveDiskFull();
    case EACCES:
    case EPERM:
    case EROFS: return msg::saveNotAllowed();
    default: return msg::saveWriteError();
    }
}

namespace {
bool syncPath(const QString &path, int flags)
{
    const int fd = retrying([&] { return ::open(encoded(path).constData(), O_RDONLY | O_CLOEXEC | flags); });
    if (fd < 0)
        return false;
    const bool synced = (flags & O_DIRECTORY ? ::fsync(fd) : syncData(fd)) == 0;
    const int why = errno;
    ::close(fd);
    errno = why;
    return synced;
}
} // namespace

bool syncFile(const QString &path) { return syncPath(path, 0); }

bool syncFolder(const QString &folder) { return syncPath(folder, O_DIRECTORY); }

bool placeFile(const QString &from, const QString &to, bool replace)
{
    const QByteArray f = encoded(from), t = encoded(to);
    const QString folder = QFileInfo(to).absolutePath();
    if (!replace) {
        // A hard link never replaces what it meets; the temporary name goes after.
        if (::link(f.constData(), t.constData()) != 0)
            return false;
        if (!syncFolder(folder)) {
            const int why = errno;
            ::unlink(t.constData());
            errno = why;
            return false;
        }
        if (::unlink(f.constData()) != 0) {
            const int why = errno;
            ::unlink(t.constData());
            errno = why;
            return false;
        }
        return true;
    }
    FilePlacement placement;
    if (!placement.place(from, to))
        return false;
    return placement.keep();
}

FilePlacement::~FilePlacement()
{
    if (m_pending)
        keep();
}

bool FilePlacement::place(const QString &from, const QString &to)
{
    m_from = encoded(from);
    m_to = encoded(to);
    m_folder = QFileInfo(to).absolutePath();
    // The file being replaced keeps a second name until the new one is
    // known to be good, so that it can be put back.
    m_kept.clear();
    struct stat st;
    if (::lstat(m_to.constData(), &st) == 0 && S_ISREG(st.st_mode)) {
        m_kept = encoded(hiddenBeside(to, "old"));
        if (::link(m_to.constData(), m_kept.constData()) != 0)
            m_kept.clear(); // a file system without hard links: replaced without a way back
    }
    if (std::rename(m_from.constData(), m_to.constData()) != 0) {
        const int why = errno;
        if (!m_kept.isEmpty())
            ::unlink(m_kept.constData());
        errno = why;
        return false;
    }
    m_pending = true;
    if (!syncFolder(m_folder)) {
        const int why = errno;
        undo();
        errno = why;
        return false;
    }
    return true;
}

bool FilePlacement::keep()
{
    m_pending = false;
    if (m_kept.isEmpty())
        return true;
    // A name that cannot be removed is tried once more; then the placement is
    // undone, as a leftover copy of the old file would be found later.
    if (::unlink(m_kept.constData()) == 0 || ::unlink(m_kept.constData()) == 0) {
        m_kept.clear();
        return true;
    }
    const int why = errno;
    m_pending = true;
    undo();
    errno = why;
    return false;
}

void FilePlacement::undo()
{
    if (!m_pending)
        return;
    m_pending = false;
    // The new file goes back to its temporary name, the old one to its place.
    if (m_kept.isEmpty() || std::rename(m_to.constData(), m_from.constData()) != 0)
        ::unlink(m_to.constData());
    if (!m_kept.isEmpty())
        std::rename(m_kept.constData(), m_to.constData());
    m_kept.clear();
    syncFolder(m_folder);
}

SaveFile::SaveFile(const QString &path) : m_path(path) {}

SaveFile::~SaveFile() { discard(); }

bool SaveFile::open()
{
    const QFileInfo target(m_path);
    const QFileInfo folder(target.absolutePath());
    if (target.isDir())
        return fail(msg::saveIsFolder().arg(shown(m_path)));
    if (!folder.isDir())
        return fail(msg::saveFolderMissing().arg(shown(folder.filePath())));
    // The temporary file is made in the target's folder, so that the rename
    // stays on one file system: a folder that cannot be written is refused
    // even when the target itself could be.
    m_temp = hiddenBeside(m_path, "tmp");
    m_fd = retrying([&] {
        return ::open(encoded(m_temp).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    });
    if (m_fd < 0) {
        const int why = errno;
        m_temp.clear();
        if (why == ENOSPC || why == EDQUOT)
            return fail(msg::saveDiskFull());
        if (!folder.isWritable() || why == EACCES || why == EROFS)
            return fail(msg::saveFolderReadOnly().arg(shown(folder.filePath())));
        return fail(msg::saveCannotWrite().arg(shown(m_path)));
    }
    // The new file gets the permissions of the one it replaces, or those the
    // user's mask gives; its owner can always read and write it.
    struct stat st;
    mode_t mode = 0;
    if (::stat(encoded(m_path).constData(), &st) == 0)
        mode = st.st_mode & 07777;
    else if (::fstat(m_fd, &st) == 0)
        mode = st.st_mode & 07777;
    ::fchmod(m_fd, mode | S_IRUSR | S_IWUSR);
    return true;
}

bool SaveFile::write(const QByteArray &bytes)
{
    if (!m_error.isEmpty() || m_fd < 0)
        return false;
    const char *p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = retrying([&] { return int(::write(m_fd, p, size_t(left))); });
        if (n <= 0)
            return fail(systemReason(n < 0 ? errno : ENOSPC));
        p += n;
        left -= n;
        m_written += n;
    }
#if defined(__linux__)
    // A large file goes to the disk while the rest is being made, rather
    // than all at the commit's sync (which still waits for all of it). A
    // failure here is the sync's to tell.
    constexpr qint64 kWriteBack = 16 << 20;
    if (m_written - m_writtenBack >= kWriteBack) {
        ::sync_file_range(m_fd, m_writtenBack, m_written - m_writtenBack, SYNC_FILE_RANGE_WRITE);
        m_writtenBack = m_written;
    }
#endif
    return true;
}

bool SaveFile::commit()
{
    if (!m_error.isEmpty() || m_fd < 0)
        return false;
    if (syncData(m_fd) != 0)
        return fail(systemReason(errno));
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0)
        return fail(systemReason(errno));
    if (!placeFile(m_temp, m_path, true)) {
        const int why = errno;
        return fail(why == ENOSPC || why == EIO ? systemReason(why) : msg::saveCannotReplace().arg(shown(m_path)));
    }
    m_temp.clear();
    return true;
}

void SaveFile::discard()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_temp.isEmpty()) {
        ::unlink(encoded(m_temp).constData());
        m_temp.clear();
    }
}

bool SaveFile::fail(const QString &why)
{
    if (m_error.isEmpty())
        m_error = why;
    discard();
    return false;
}

} // namespace platform
