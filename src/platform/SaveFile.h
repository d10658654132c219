#pragma once
// A file written under a temporary name beside its final place, then put in
// that place by commit(). Until then a file already at the path stays whole;
// a failure, or a SaveFile dropped without commit(), leaves nothing behind.
// commit() says true only once the data and the new name are on the disk.
// Failures are described in French.
#include <QByteArray>
#include <QString>

namespace platform {

class SaveFile
{
public:
    explicit SaveFile(const QString &path);
    ~SaveFile();
    SaveFile(const SaveFile &) = delete;
    SaveFile &operator=(const SaveFile &) = delete;

    bool open();
    bool write(const QByteArray &bytes);
    // Syncs the data to the disk, puts the file in its place and syncs the
    // folder that holds it.
    bool commit();
    // Removes the temporary file; the path keeps what it held.
    void discard();

    // Why the last step failed, in French, without a final full stop
    // ("le disque est plein").
    QString errorText() const { return m_error; }

private:
    bool fail(const QString &why);

    QString m_path;
    QString m_temp;
    int m_fd = -1;
    qint64 m_written = 0;     // bytes written
    qint64 m_writtenBack = 0; // of which the disk was asked to start writing
    QString m_error;
};

// Puts the file at from in the place of the file at to, then syncs the folder,
// so that a power cut cannot lose the new name. With replace false, a file
// already at to is never replaced. When the folder cannot be synced, the file
// that was at to, if any, is put back. On failure from stays where it was
// and errno tells why.
bool placeFile(const QString &from, const QString &to, bool replace);

// A short hidden name in the folder of path, for a file made there before it
// takes path's place (the chosen name may already be as long as allowed).
QString hiddenBeside(const QString &path, const char *kind);

// A file put in another's place, whose old file can be put back until the new
// one is known to be good (a new log file, once it has been opened).
class FilePlacement
{
public:
    FilePlacement() = default;
    // Keeps the new file if neither keep() nor undo() was called.
    ~FilePlacement();
    FilePlacement(const FilePlacement &) = delete;
    FilePlacement &operator=(const FilePlacement &) = delete;

    // Puts from in the place of to and syncs the folder; the file that was at
    // to is kept aside. On failure nothing has changed and errno tells why.
    bool place(const QString &from, const QString &to);
    // The new file stays and the old one is dropped; when that cannot be
    // done, the placement is undone and false returned.
    bool keep();
    // The old file goes back to its place, the new one to its temporary name
    // (removed when there was no old file).
    void undo();

private:
    QByteArray m_from, m_to, m_kept;
    QString m_folder;
    bool m_pending = false;
};

// Flushes a file's data to the disk.
bool syncFile(const QString &path);

// Flushes a folder's entries (names made, renamed or removed) to the disk.
bool syncFolder(const QString &folder);

// Why a system call failed, in French, as a reason put into a sentence
// ("le disque est plein").
QString systemReason(int errnum);

} // namespace platform
