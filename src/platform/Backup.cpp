#include "Backup.h"
#include "Messages.h"

#include "SaveFile.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryFile>
#include <QThread>

#include <sqlite3.h>

namespace platform {

namespace {

// Pages read from the log at a time, and the pause between two readings:
// the log is held for a fraction of a millisecond, then left free many times
// as long for the program that stores into it.
constexpr int kPages = 16;
constexpr int kPauseMs = 5;
// A store into the log meanwhile starts the copy again; one that cannot end
// between stores gives up, rather than hold the log longer (it is tried
// again later).
constexpr int kMostRestarts = 50;
// How long a log that another program keeps locked is waited for.
constexpr int kBusyMs = 30000;

// Why the engine failed on the file named, as a reason put into a sentence.
QString engineReason(int code, const QString &file)
{
    // (a read the disk fails, EIO, is the engine's "file system corrupt")
    if (code == SQLITE_IOERR_READ || code == SQLITE_IOERR_SHORT_READ || code == SQLITE_IOERR_CORRUPTFS)
        return msg::backupLogUnreadable().arg(QDir::toNativeSeparators(file));
    switch (code & 0xff) {
    case SQLITE_FULL: return msg::saveDiskFull();
    case SQLITE_BUSY:
    case SQLITE_LOCKED: return msg::backupLogBusy();
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT: return msg::backupLogDamaged();
    case SQLITE_CANTOPEN:
    case SQLITE_PERM:
    case SQLITE_AUTH: return msg::backupLogUnreadable().arg(QDir::toNativeSeparators(file));
    default: return msg::saveWriteError();
    }
}

struct Database {
    sqlite3 *db = nullptr;
    ~Database() { sqlite3_close_v2(db); }
    int open(const QString &path, int flags)
    {
        // (the code an opening returns is a primary one: its reason, a read
        // of the file's header that failed, is in the extended code)
        const int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &db, flags, nullptr);
        sqlite3_extended_result_codes(db, 1);
        return rc == SQLITE_OK ? rc : sqlite3_extended_errcode(db);
    }
};

// The log copied page by page into the database staged (an empty file).
QString stage(const QString &log, const QString &staged, const std::atomic<bool> *stop)
{
    Database source, copy;
    if (int rc = source.open(log, SQLITE_OPEN_READONLY); rc != SQLITE_OK)
        return engineReason(rc, log);
    if (int rc = copy.open(staged, SQLITE_OPEN_READWRITE); rc != SQLITE_OK)
        return engineReason(rc, staged);
    // The staging file is thrown away on any failure: no journal, no sync.
    sqlite3_exec(copy.db, "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF", nullptr, nullptr, nullptr);
    sqlite3_backup *backup = sqlite3_backup_init(copy.db, "main", source.db, "main");
    if (!backup)
        return engineReason(sqlite3_extended_errcode(copy.db), log);
    int remaining = -1, restarts = 0, rc = SQLITE_OK;
    QElapsedTimer busy;
    while (!(stop && *stop)) {
        rc = sqlite3_backup_step(backup, kPages);
        if (rc == SQLITE_OK) {
            const int left = sqlite3_backup_remaining(backup);
            if (remaining >= 0 && left > remaining && ++restarts > kMostRestarts)
                break;
            remaining = left;
            busy.invalidate();
        } else if ((rc & 0xff) == SQLITE_BUSY || (rc & 0xff) == SQLITE_LOCKED) {
            if (!busy.isValid())
                busy.start();
            if (busy.elapsed() > kBusyMs)
                break;
        } else {
            break;
        }
        QThread::msleep(kPauseMs);
    }
    sqlite3_backup_finish(backup);
    if (rc != SQLITE_DONE)
        return stop && *stop              ? msg::backupStopped()
               : restarts > kMostRestarts ? msg::backupLogChanging()
                                          : engineReason(rc, log);
    // The copy reads back as a database, every page of it.
    sqlite3_stmt *check = nullptr;
    const bool read = sqlite3_prepare_v2(copy.db, "PRAGMA quick_check", -1, &check, nullptr) == SQLITE_OK
                      && sqlite3_step(check) == SQLITE_ROW;
    const bool whole = read && qstrcmp(reinterpret_cast<const char *>(sqlite3_column_text(check, 0)), "ok") == 0;
    sqlite3_finalize(check);
    if (!read)
        return engineReason(sqlite3_extended_errcode(copy.db), staged);
    return whole ? QString() : msg::backupLogDamaged();
}

} // namespace

QString copyLogFile(const QString &from, const QString &to, const std::atomic<bool> *stop)
{
    QTemporaryFile staged(QDir::tempPath() + QStringLiteral("/sequanel-copie-XXXXXX.adb"));
    if (!staged.open())
        return msg::saveWriteError();
    staged.close();
    if (const QString why = stage(from, staged.fileName(), stop); !why.isEmpty())
        return why;

    QFile in(staged.fileName());
    if (!in.open(QIODevice::ReadOnly))
        return msg::saveWriteError();
    SaveFile out(to);
    if (!out.open())
        return out.errorText();
    for (QByteArray chunk; !(chunk = in.read(1 << 20)).isEmpty();)
        if (!out.write(chunk))
            return out.errorText();
    if (in.error() != QFileDevice::NoError)
        return msg::saveWriteError();
    if (stop && *stop)
        return msg::backupStopped();
    return out.commit() ? QString() : out.errorText();
}

} // namespace platform
