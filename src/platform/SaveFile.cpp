#include "SaveFile.h"
#include "Messages.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>

#include <algorithm>

namespace platform {

namespace {
QString shown(const QString &path) { return QDir::toNativeSeparators(path); }
} // namespace

SaveFile::SaveFile(const QString &path) : m_path(path), m_file(path) {}

SaveFile::~SaveFile() { discard(); }

bool SaveFile::open()
{
    const QFileInfo target(m_path);
    const QFileInfo folder(target.absolutePath());
    if (target.isDir()) {
        fail(msg::saveIsFolder().arg(shown(m_path)));
        return false;
    }
    if (!folder.isDir()) {
        fail(msg::saveFolderMissing().arg(shown(folder.filePath())));
        return false;
    }
    // The temporary file is made in the target's folder, so that the rename
    // stays on one file system: a folder that cannot be written is refused
    // even when the target itself could be.
    if (m_file.open(QIODevice::WriteOnly))
        return true;
    if (!folder.isWritable())
        fail(msg::saveFolderReadOnly().arg(shown(folder.filePath())));
    else
        fail(msg::saveCannotWrite().arg(shown(m_path)));
    return false;
}

bool SaveFile::write(const QByteArray &bytes)
{
    if (!m_error.isEmpty() || !m_file.isOpen())
        return false;
    m_lastChunk = bytes.size();
    if (m_file.write(bytes) == bytes.size() && m_file.error() == QFileDevice::NoError)
        return true;
    fail(whyNotWritten());
    return false;
}

bool SaveFile::commit()
{
    if (!m_error.isEmpty() || !m_file.isOpen())
        return false;
    // commit() flushes what Qt still holds, syncs the file to the disk and
    // renames it; the space it needs is looked at while the data is still there.
    const QString ifFull = whyNotWritten();
    if (m_file.commit())
        return true;
    if (m_file.error() == QFileDevice::RenameError)
        fail(msg::saveCannotReplace().arg(shown(m_path)));
    else
        fail(ifFull);
    return false;
}

void SaveFile::discard()
{
    if (m_file.isOpen()) {
        m_file.cancelWriting();
        m_file.commit(); // once cancelled, commit() only removes the temporary file
    }
}

void SaveFile::fail(const QString &why)
{
    if (m_error.isEmpty())
        m_error = why;
    discard();
}

// The system's own text is English; the two failures worth telling apart are
// a full disk and everything else.
QString SaveFile::whyNotWritten() const
{
    const QStorageInfo disk(QFileInfo(m_path).absolutePath());
    if (disk.isValid() && disk.bytesAvailable() <= std::max<qint64>(m_lastChunk, 64 * 1024))
        return msg::saveDiskFull();
    return msg::saveWriteError();
}

} // namespace platform
