#include "EngineBackend.h"

#include <QFile>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <sqlite3.h>

namespace platform {

namespace {

// Each connection of the program is used by one thread at a time (Qt's
// own rule for its connections, and the readings open theirs on their own
// threads): the engine need not take a lock of the connection around every
// call (reading a column of a row took one), nor count its memory under a
// lock of its own. Set before the engine's first use in the process; later,
// the engine refuses it and keeps its defaults, which are safe too.
const bool g_engineConfigured = [] {
    const bool threads = sqlite3_config(SQLITE_CONFIG_MULTITHREAD) == SQLITE_OK;
    const bool memory = sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0) == SQLITE_OK;
    return threads && memory;
}();

EngineError fileError(const QSqlError &e)
{
    EngineError out;
    out.text = e.driverText();
    if (!e.databaseText().isEmpty())
        out.text = e.databaseText();
    if (out.text.isEmpty())
        out.text = e.text();
    if (out.text.isEmpty())
        out.text = QStringLiteral("unknown error");
    out.code = e.nativeErrorCode().toInt();
    return out;
}

// The engine's own handle of a connection.
sqlite3 *engineHandle(const QSqlDatabase &db)
{
    const QVariant handle = db.driver() ? db.driver()->handle() : QVariant();
    return handle.isValid() && qstrcmp(handle.typeName(), "sqlite3*") == 0
               ? *static_cast<sqlite3 *const *>(handle.constData())
               : nullptr;
}

// A row of a statement the engine is stepping through, read in place. A
// whole number is written out here, as the engine would write it: the
// engine's own conversion turns the stored value into text in the row, which
// costs more than the reading of the row itself on a large table.
class StatementRow : public RowSource
{
public:
    explicit StatementRow(sqlite3_stmt *statement)
        : m_statement(statement), m_numbers(size_t(std::max(0, sqlite3_column_count(statement))))
    {
    }
    int columnCount() const override { return sqlite3_column_count(m_statement); }
    bool isNull(int column) const override { return sqlite3_column_type(m_statement, column) == SQLITE_NULL; }
    QByteArrayView text(int column) const override
    {
        if (sqlite3_column_type(m_statement, column) == SQLITE_INTEGER && size_t(column) < m_numbers.size()) {
            const sqlite3_int64 v = sqlite3_column_int64(m_statement, column);
            char *const end = m_numbers[size_t(column)].data() + m_numbers[size_t(column)].size();
            char *p = end;
            quint64 u = v < 0 ? 0 - quint64(v) : quint64(v);
            do {
                *--p = char('0' + u % 10);
                u /= 10;
            } while (u);
            if (v < 0)
                *--p = '-';
            return QByteArrayView(p, end - p);
        }
        const auto *bytes = reinterpret_cast<const char *>(sqlite3_column_text(m_statement, column));
        return QByteArrayView(bytes, bytes ? sqlite3_column_bytes(m_statement, column) : 0);
    }

private:
    sqlite3_stmt *m_statement;
    mutable std::vector<std::array<char, 24>> m_numbers; // each column's number, written out
};

} // namespace

// A SQLite file through QtSql's QSQLITE driver, and through the engine's own
// functions where QtSql would cost too much or cannot reach.
class FileBackend : public SqlBackend
{
public:
    EngineError toError(const QSqlError &e) const override { return fileError(e); }
    Sql tableSelect(const Identifier &table) override { return Sql("SELECT * FROM %1 ORDER BY rowid").arg(table); }
    qint64 changeCount() override
    {
        bool ok = false;
        const qint64 v = scalar("PRAGMA data_version", {}, &ok).toLongLong();
        return ok ? v : -1;
    }
    std::optional<qint64> lastInsertedRowid() override
    {
        bool ok = false;
        const qint64 v = scalar("SELECT last_insert_rowid()", {}, &ok).toLongLong();
        return ok && v != 0 ? std::optional(v) : std::nullopt;
    }
    // The engine's own cast, the fastest test it has.
    Sql isPlainNumber(const Identifier &column) const override
    {
        return Sql("CAST(CAST(%1 AS INTEGER) AS TEXT) = %1").arg(column);
    }
    std::optional<TableSurvey> surveyTable(const Identifier &table) override;
    bool execRows(const Sql &sql, const QVector<QVariantList> &rows) override;
    bool forEachRow(const Sql &sql, const std::function<bool(const RowText &)> &onRow) override;
    bool insertRows(const Identifier &table, const QVector<ColumnDef> &columns, qint64 count,
                    const Connection::RowFiller &fill) override;

    bool hasTable(const Identifier &table) override
    {
        bool ok = false;
        const QVariant v = scalar("SELECT count(*) FROM sqlite_master WHERE type='table' AND name=?1 COLLATE NOCASE",
                                  {table.name()}, &ok);
        return ok && v.toInt() > 0;
    }

    QVector<ColumnDef> tableColumns(const Identifier &table, bool *ok) override
    {
        QVector<ColumnDef> out;
        bool good = false;
        // table_xinfo is not reached through a bound parameter in older engines;
        // the pragma table-valued function takes one.
        const auto rs = rows("SELECT name, type FROM pragma_table_info(?1)", {table.name()}, &good);
        if (ok)
            *ok = good;
        for (const QVariantList &r : rs)
            out << columnFromDeclaredType(r.value(0).toString(), r.value(1).toString());
        return out;
    }

    // A log stays one file the user can copy: rollback journal. Another program
    // may have put the file in write-ahead-log mode meanwhile, which the engine
    // follows on its own once it reads the file's header: the mode in force is
    // read inside the transaction, and put back to the rollback journal between
    // transactions. The engine tells the mode it set, which stays the other one
    // while that program holds the file: then nothing is written, and the next
    // transaction tries again.
    bool begin() override
    {
        if (mode != OpenMode::ReadWrite)
            return exec("BEGIN IMMEDIATE");
        for (int attempt = 0; attempt < 2; ++attempt) {
            if (!exec("BEGIN IMMEDIATE"))
                return false;
            bool ok = false;
            const QString journal = scalar("PRAGMA journal_mode", {}, &ok).toString();
            if (ok && journal.compare(QLatin1String("delete"), Qt::CaseInsensitive) == 0)
                return true;
            rollback();
            if (!ok)
                return false;
            const QString set = scalar("PRAGMA journal_mode=DELETE", {}, &ok).toString();
            if (!ok)
                return false;
            if (set.compare(QLatin1String("delete"), Qt::CaseInsensitive) != 0)
                break;
        }
        error = EngineError{QStringLiteral("the file stays in another journal mode"), code::Busy};
        return false;
    }
    bool beginRead() override
    {
        if (!exec("BEGIN"))
            return false;
        bool ok = false;
        scalar("SELECT count(*) FROM sqlite_master", {}, &ok); // the file is locked for reading from here
        if (!ok)
            rollback();
        return ok;
    }
};

std::unique_ptr<Backend> openFile(const QString &path, OpenMode mode, EngineError *error)
{
    auto fail = [&](const QString &text, int code = 0) -> std::unique_ptr<Backend> {
        if (error)
            *error = EngineError{text, code};
        return nullptr;
    };
    const QFileInfo info(path);
    if (path.isEmpty() || !info.exists())
        return fail(QStringLiteral("file not found"), code::CantOpen);
    if (info.isDir())
        return fail(QStringLiteral("is a folder"), code::CantOpenIsDir);
    if (!info.isReadable())
        return fail(QStringLiteral("permission denied"), code::Perm);

    auto c = std::make_unique<FileBackend>();
    c->name = newConnectionName();
    c->path = path;
    c->mode = mode;
    c->db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), c->name);
    c->db.setDatabaseName(path);
    QString options = QStringLiteral("QSQLITE_BUSY_TIMEOUT=1500");
    if (mode == OpenMode::ReadOnly)
        options += QStringLiteral(";QSQLITE_OPEN_READONLY");
    c->db.setConnectOptions(options);
    if (!c->db.open()) {
        const EngineError e = c->toError(c->db.lastError());
        return fail(e.text, e.code ? e.code : code::CantOpen);
    }

    // Reading the schema is the first real read of the file: a file that is
    // not a database, or a damaged header, fails here.
    bool ok = false;
    c->scalar("SELECT count(*) FROM sqlite_master", {}, &ok);
    if (!ok)
        return fail(c->error.text, c->error.code);
    // A connection that only reads mostly scans or fetches a few rows: a
    // small page cache serves it as well, and four of them at the engine's
    // default 2 MB each were a tenth of the program's memory on a large log.
    if (mode == OpenMode::ReadOnly)
        c->exec("PRAGMA cache_size=-256");
    if (mode == OpenMode::ReadWrite) {
        // Every commit reaches the disk before it returns. The journal mode
        // is set by the first begin(): changing it rewrites the file's
        // header, and a file that is opened only to be refused stays as it was.
        bool ok = c->exec("PRAGMA synchronous=FULL");
        ok = ok && c->scalar("PRAGMA synchronous", {}, &ok).toInt() == 2 && ok;
        if (!ok)
            return fail(QStringLiteral("synchronous=FULL refused"), c->error.code ? c->error.code : code::Busy);
    }
    return c;
}


bool createFile(const QString &path, const TableDef &table, EngineError *error)
{
    if (QFileInfo::exists(path)) {
        if (error)
            *error = EngineError{QStringLiteral("file exists"), code::CantOpen};
        return false;
    }
    bool ok = true;
    EngineError err;
    {
        const QString name = newConnectionName();
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            db.setDatabaseName(path);
            if (!db.open()) {
                ok = false;
                err = fileError(db.lastError());
            } else {
                QStringList cols;
                for (const ColumnDef &c : table.columns)
                    cols << quoteIdentifier(c.name) + QLatin1Char(' ') + declaredType(c);
                const QStringList statements = {
                    QStringLiteral("PRAGMA journal_mode=DELETE"),
                    QStringLiteral("PRAGMA synchronous=FULL"),
                    QStringLiteral("CREATE TABLE %1 (%2)")
                        .arg(quoteIdentifier(table.name), cols.join(QStringLiteral(", "))),
                };
                for (const QString &sql : statements) {
                    QSqlQuery q(db);
                    if (!q.exec(sql)) {
                        ok = false;
                        err = fileError(q.lastError());
                        break;
                    }
                    // The journal mode is told back: anything but the one asked
                    // for is a failure.
                    if (sql.contains(QLatin1String("journal_mode")) && q.next()
                        && q.value(0).toString().compare(QLatin1String("delete"), Qt::CaseInsensitive) != 0) {
                        ok = false;
                        err = EngineError{QStringLiteral("journal mode not set"), code::Busy};
                        break;
                    }
                }
                db.close();
            }
        }
        QSqlDatabase::removeDatabase(name);
    }
    if (!ok) {
        QFile::remove(path);
        QFile::remove(path + QStringLiteral("-journal"));
        if (error)
            *error = err;
    }
    return ok;
}


// ---------------------------------------------------------------- pages

namespace {

quint32 bigEndian32(const unsigned char *p) { return quint32(p[0]) << 24 | quint32(p[1]) << 16 | quint32(p[2]) << 8 | p[3]; }
quint32 bigEndian16(const unsigned char *p) { return quint32(p[0]) << 8 | p[1]; }

// A variable-length integer of the file: 7 bits a byte, the high bit set
// while more follow, all 8 bits of a ninth. Nothing when it runs past end.
std::optional<quint64> varint(const unsigned char *&p, const unsigned char *end)
{
    quint64 v = 0;
    for (int i = 0; i < 9 && p < end; ++i) {
        const unsigned char b = *p++;
        if (i == 8)
            return v << 8 | b;
        v = v << 7 | (b & 0x7F);
        if (!(b & 0x80))
            return v;
    }
    return std::nullopt;
}

// A 64-bit hash of a page: four lanes of 8-byte words, each word mixed in by
// a multiplication by an odd number and a shift, both invertible, so that a
// page that differs in one word always hashes otherwise.
quint64 pageHash(const unsigned char *p, size_t n)
{
    constexpr quint64 k = 0xFF51AFD7ED558CCDull;
    quint64 h[4] = {0x9E3779B97F4A7C15ull, 0xC2B2AE3D27D4EB4Full, 0x165667B19E3779F9ull, 0x27D4EB2F165667C5ull};
    for (size_t i = 0; i + 32 <= n; i += 32)
        for (int lane = 0; lane < 4; ++lane) {
            quint64 w;
            std::memcpy(&w, p + i + 8 * lane, 8);
            h[lane] = (h[lane] ^ w) * k;
            h[lane] ^= h[lane] >> 32;
        }
    quint64 out = n;
    for (quint64 lane : h) {
        out = (out ^ lane) * k;
        out ^= out >> 32;
    }
    return out;
}

} // namespace

// The table's tree is walked from its root page, read with the engine's own
// file handle (a second handle of the process on the same file would lose
// the process's locks on it when closed). Only the pages of the tree count:
// a page freed, or one of another table, keeps bytes that no longer matter.
std::optional<TableSurvey> FileBackend::surveyTable(const Identifier &table)
{
    sqlite3 *handle = engineHandle(db);
    sqlite3_file *file = nullptr;
    if (!handle || sqlite3_file_control(handle, "main", SQLITE_FCNTL_FILE_POINTER, &file) != SQLITE_OK || !file
        || !file->pMethods)
        return std::nullopt;
    bool ok = false;
    const qint64 root =
        scalar("SELECT rootpage FROM sqlite_master WHERE type = 'table' AND name = ?1", {table.name()}, &ok)
            .toLongLong();
    unsigned char header[100];
    sqlite3_int64 size = 0;
    if (!ok || root < 2 || file->pMethods->xRead(file, header, sizeof header, 0) != SQLITE_OK
        || file->pMethods->xFileSize(file, &size) != SQLITE_OK)
        return std::nullopt;
    // A file in write-ahead-log mode keeps its latest pages in another file.
    if (std::memcmp(header, "SQLite format 3", 16) != 0 || header[18] != 1 || header[19] != 1)
        return std::nullopt;
    const quint32 pageSize = bigEndian16(header + 16) == 1 ? 65536 : bigEndian16(header + 16);
    if (pageSize < 512 || pageSize > 65536 || (pageSize & (pageSize - 1)) || header[20] > pageSize - 480)
        return std::nullopt;
    const quint32 usable = pageSize - header[20];
    const qint64 pageCount = size / pageSize;

    TableSurvey out;
    // Page size, reserved bytes, payload fractions, schema cookie and
    // format, text encoding, and the table's root page.
    unsigned char layout[8 * 5] = {};
    std::memcpy(layout, header + 16, 8);
    std::memcpy(layout + 8, header + 40, 8);
    std::memcpy(layout + 16, header + 56, 4);
    std::memcpy(layout + 24, &root, 8);
    out.layout = pageHash(layout, sizeof layout);

    std::vector<unsigned char> buffer(pageSize);
    const unsigned char *const page = buffer.data();
    const unsigned char *const end = page + usable;
    std::vector<std::pair<quint32, int>> todo{{quint32(root), 0}}; // page, depth
    qint64 visited = 0;
    while (!todo.empty()) {
        const auto [number, depth] = todo.back();
        todo.pop_back();
        if (number < 2 || number > pageCount || depth > 40 || ++visited > pageCount
            || file->pMethods->xRead(file, buffer.data(), int(pageSize), sqlite3_int64(number - 1) * pageSize)
                   != SQLITE_OK)
            return std::nullopt;
        const quint32 cells = bigEndian16(page + 3);
        if (page[0] == 0x05) { // interior page: a child per cell, and the right-most one
            if (12 + 2 * cells > usable)
                return std::nullopt;
            todo.emplace_back(bigEndian32(page + 8), depth + 1);
            for (quint32 i = 0; i < cells; ++i) {
                const quint32 at = bigEndian16(page + 12 + 2 * i);
                if (at < 12 || at + 4 > usable)
                    return std::nullopt;
                todo.emplace_back(bigEndian32(page + at), depth + 1);
            }
        } else if (page[0] == 0x0D) { // leaf page: a row per cell, its payload size then its rowid
            if (8 + 2 * cells > usable)
                return std::nullopt;
            TableSurvey::Part leaf;
            leaf.place = number;
            leaf.fingerprint = pageHash(page, pageSize);
            for (quint32 i = 0; i < cells; ++i) {
                const quint32 at = bigEndian16(page + 8 + 2 * i);
                if (at < 8)
                    return std::nullopt;
                const unsigned char *cell = page + at;
                const auto payload = varint(cell, end);
                const auto rowid = payload ? varint(cell, end) : std::nullopt;
                if (!rowid)
                    return std::nullopt;
                const qint64 r = qint64(*rowid);
                leaf.first = i == 0 ? r : std::min(leaf.first, r);
                leaf.last = i == 0 ? r : std::max(leaf.last, r);
                if (*payload > usable - 35)
                    leaf.whole = false; // the rest of the row is on overflow pages
            }
            out.parts.push_back(leaf);
        } else {
            return std::nullopt;
        }
    }
    std::sort(out.parts.begin(), out.parts.end(),
              [](const TableSurvey::Part &a, const TableSurvey::Part &b) { return a.place < b.place; });
    return out;
}

// ---------------------------------------------------------------- rows

// QtSql hands every value over as a QVariant holding a QString made from the
// engine's UTF-16 form of the text, which costs more than the reading itself
// on a large table. This runs the statement on the same engine handle with
// the engine's own functions instead.
bool FileBackend::forEachRow(const Sql &sql, const std::function<bool(const RowText &)> &onRow)
{
    error = {};
    sqlite3 *handle = engineHandle(db);
    if (!handle) {
        error.text = QStringLiteral("no engine handle");
        return false;
    }
    const QByteArray text = sql.text().toUtf8();
    sqlite3_stmt *st = nullptr;
    int rc = sqlite3_prepare_v2(handle, text.constData(), int(text.size()), &st, nullptr);
    if (rc == SQLITE_OK) {
        const StatementRow source(st);
        const RowText row(source);
        while ((rc = sqlite3_step(st)) == SQLITE_ROW)
            if (!onRow(row)) {
                rc = SQLITE_DONE;
                break;
            }
    }
    if (rc != SQLITE_DONE) {
        error.text = QString::fromUtf8(sqlite3_errmsg(handle));
        error.code = sqlite3_extended_errcode(handle);
    }
    sqlite3_finalize(st);
    return rc == SQLITE_DONE;
}

// One prepared INSERT run for each row on the engine's own handle, the
// texts bound where they lie: the engine turns those of whole-number
// columns into numbers as QtSql's bound integers would be.
bool FileBackend::insertRows(const Identifier &table, const QVector<ColumnDef> &columns, qint64 count,
                             const Connection::RowFiller &fill)
{
    error = {};
    sqlite3 *handle = engineHandle(db);
    if (!handle) {
        error.text = QStringLiteral("no engine handle");
        return false;
    }
    QVector<Sql> names;
    for (const ColumnDef &c : columns)
        names << Identifier(c.name);
    const QByteArray text = Sql::insertValues(table, names, 1).text().toUtf8();
    sqlite3_stmt *st = nullptr;
    int rc = sqlite3_prepare_v2(handle, text.constData(), int(text.size()), &st, nullptr);
    QVector<std::optional<QByteArrayView>> values(columns.size());
    bool stopped = false;
    for (qint64 r = 0; r < count && rc == SQLITE_OK; ++r) {
        if (!fill(r, values)) {
            stopped = true;
            break;
        }
        for (int c = 0; c < columns.size() && rc == SQLITE_OK; ++c)
            rc = values[c] ? sqlite3_bind_text(st, c + 1, values[c]->data(), int(values[c]->size()), SQLITE_STATIC)
                           : sqlite3_bind_null(st, c + 1);
        if (rc == SQLITE_OK)
            rc = sqlite3_step(st) == SQLITE_DONE ? sqlite3_reset(st) : sqlite3_errcode(handle);
    }
    if (stopped)
        error = EngineError{QStringLiteral("stopped"), 0};
    else if (rc != SQLITE_OK)
        error = EngineError{QString::fromUtf8(sqlite3_errmsg(handle)), sqlite3_extended_errcode(handle)};
    sqlite3_finalize(st);
    return !stopped && rc == SQLITE_OK;
}

// QtSql makes and checks a copy of every value it binds, which costs more
// than the engine's own writing of the row: the rows are bound here with the
// engine's functions, as QtSql would bind them (texts in UTF-16, whole
// numbers, reals, bytes).
bool FileBackend::execRows(const Sql &sql, const QVector<QVariantList> &rows)
{
    error = {};
    sqlite3 *handle = engineHandle(db);
    if (!handle)
        return Backend::execRows(sql, rows);
    const QByteArray text = sql.text().toUtf8();
    sqlite3_stmt *st = nullptr;
    int rc = sqlite3_prepare_v2(handle, text.constData(), int(text.size()), &st, nullptr);
    QString other; // a value of another type, as text while it is bound
    for (qsizetype r = 0; rc == SQLITE_OK && r < rows.size(); ++r) {
        const QVariantList &row = rows[r];
        for (int i = 0; rc == SQLITE_OK && i < row.size(); ++i) {
            const QVariant &v = row[i];
            switch (v.isNull() ? QMetaType::UnknownType : v.typeId()) {
            case QMetaType::UnknownType: rc = sqlite3_bind_null(st, i + 1); break;
            case QMetaType::Int:
            case QMetaType::LongLong:
            case QMetaType::UInt:
            case QMetaType::Bool: rc = sqlite3_bind_int64(st, i + 1, v.toLongLong()); break;
            case QMetaType::Double: rc = sqlite3_bind_double(st, i + 1, v.toDouble()); break;
            case QMetaType::QByteArray: { // (a null one is NULL, as QtSql binds it)
                const QByteArray &bytes = *static_cast<const QByteArray *>(v.constData());
                rc = bytes.isNull() ? sqlite3_bind_null(st, i + 1)
                                    : sqlite3_bind_blob(st, i + 1, bytes.constData(), int(bytes.size()), SQLITE_STATIC);
                break;
            }
            case QMetaType::QString: {
                const QString &s = *static_cast<const QString *>(v.constData());
                rc = s.isNull() ? sqlite3_bind_null(st, i + 1)
                                : sqlite3_bind_text16(st, i + 1, s.utf16(), int(s.size() * 2), SQLITE_STATIC);
                break;
            }
            default:
                other = v.toString();
                rc = sqlite3_bind_text16(st, i + 1, other.utf16(), int(other.size() * 2), SQLITE_TRANSIENT);
            }
        }
        if (rc == SQLITE_OK && (rc = sqlite3_step(st)) == SQLITE_DONE)
            rc = sqlite3_reset(st);
    }
    if (rc != SQLITE_OK) {
        error.text = QString::fromUtf8(sqlite3_errmsg(handle));
        error.code = sqlite3_extended_errcode(handle);
    }
    sqlite3_finalize(st);
    return rc == SQLITE_OK;
}

// ---------------------------------------------------------------- counted reads

namespace {

// A layer over the engine's own file layer: every file it opens is the
// engine's own file, wrapped, so that its reads are counted; everything else
// is passed through as it is.
std::atomic<qint64> g_fileReads{0};
sqlite3_vfs *g_fileLayer = nullptr; // the engine's own
sqlite3_vfs g_countingLayer;

struct CountedFile {
    sqlite3_file base;
    sqlite3_file *real; // right after this struct, in the same allocation
};

sqlite3_file *realOf(sqlite3_file *f) { return reinterpret_cast<CountedFile *>(f)->real; }

int countedClose(sqlite3_file *f) { return realOf(f)->pMethods->xClose(realOf(f)); }
int countedRead(sqlite3_file *f, void *buffer, int amount, sqlite3_int64 offset)
{
    g_fileReads.fetch_add(1, std::memory_order_relaxed);
    return realOf(f)->pMethods->xRead(realOf(f), buffer, amount, offset);
}
int countedWrite(sqlite3_file *f, const void *buffer, int amount, sqlite3_int64 offset)
{
    return realOf(f)->pMethods->xWrite(realOf(f), buffer, amount, offset);
}
int countedTruncate(sqlite3_file *f, sqlite3_int64 size) { return realOf(f)->pMethods->xTruncate(realOf(f), size); }
int countedSync(sqlite3_file *f, int flags) { return realOf(f)->pMethods->xSync(realOf(f), flags); }
int countedFileSize(sqlite3_file *f, sqlite3_int64 *size) { return realOf(f)->pMethods->xFileSize(realOf(f), size); }
int countedLock(sqlite3_file *f, int level) { return realOf(f)->pMethods->xLock(realOf(f), level); }
int countedUnlock(sqlite3_file *f, int level) { return realOf(f)->pMethods->xUnlock(realOf(f), level); }
int countedCheckReserved(sqlite3_file *f, int *out) { return realOf(f)->pMethods->xCheckReservedLock(realOf(f), out); }
int countedFileControl(sqlite3_file *f, int op, void *arg) { return realOf(f)->pMethods->xFileControl(realOf(f), op, arg); }
int countedSectorSize(sqlite3_file *f) { return realOf(f)->pMethods->xSectorSize(realOf(f)); }
int countedDevice(sqlite3_file *f) { return realOf(f)->pMethods->xDeviceCharacteristics(realOf(f)); }
int countedShmMap(sqlite3_file *f, int page, int size, int extend, void volatile **out)
{
    const sqlite3_io_methods *m = realOf(f)->pMethods;
    return m->iVersion >= 2 && m->xShmMap ? m->xShmMap(realOf(f), page, size, extend, out) : SQLITE_IOERR;
}
int countedShmLock(sqlite3_file *f, int offset, int n, int flags)
{
    const sqlite3_io_methods *m = realOf(f)->pMethods;
    return m->iVersion >= 2 && m->xShmLock ? m->xShmLock(realOf(f), offset, n, flags) : SQLITE_IOERR;
}
void countedShmBarrier(sqlite3_file *f)
{
    const sqlite3_io_methods *m = realOf(f)->pMethods;
    if (m->iVersion >= 2 && m->xShmBarrier)
        m->xShmBarrier(realOf(f));
}
int countedShmUnmap(sqlite3_file *f, int remove)
{
    const sqlite3_io_methods *m = realOf(f)->pMethods;
    return m->iVersion >= 2 && m->xShmUnmap ? m->xShmUnmap(realOf(f), remove) : SQLITE_OK;
}
// (Memory-mapped pages are not counted: the file is read through xRead
// alone, since mapping is turned off below.)
int countedFetch(sqlite3_file *, sqlite3_int64, int, void **out)
{
    *out = nullptr;
    return SQLITE_OK;
}
int countedUnfetch(sqlite3_file *, sqlite3_int64, void *) { return SQLITE_OK; }

const sqlite3_io_methods g_countedMethods = {
    3, countedClose, countedRead, countedWrite, countedTruncate, countedSync, countedFileSize, countedLock,
    countedUnlock, countedCheckReserved, countedFileControl, countedSectorSize, countedDevice, countedShmMap,
    countedShmLock, countedShmBarrier, countedShmUnmap, countedFetch, countedUnfetch};

int countedOpen(sqlite3_vfs *, sqlite3_filename name, sqlite3_file *file, int flags, int *outFlags)
{
    auto *counted = reinterpret_cast<CountedFile *>(file);
    counted->real = reinterpret_cast<sqlite3_file *>(counted + 1);
    counted->base.pMethods = nullptr;
    const int rc = g_fileLayer->xOpen(g_fileLayer, name, counted->real, flags, outFlags);
    if (counted->real->pMethods)
        counted->base.pMethods = &g_countedMethods;
    return rc;
}

} // namespace

void countFileReads()
{
    static const bool registered = [] {
        g_fileLayer = sqlite3_vfs_find(nullptr);
        g_countingLayer = *g_fileLayer;
        g_countingLayer.szOsFile = int(sizeof(CountedFile)) + g_fileLayer->szOsFile;
        g_countingLayer.zName = "sequanel-counted";
        g_countingLayer.xOpen = countedOpen;
        return sqlite3_vfs_register(&g_countingLayer, 1) == SQLITE_OK;
    }();
    (void)registered;
}

qint64 fileReads() { return g_fileReads.load(); }

} // namespace platform
