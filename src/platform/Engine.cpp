#include "Engine.h"
#include "Messages.h"

#include <QAtomicInteger>
#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sqlite3.h>

namespace platform {

Sql Sql::join(const QVector<Sql> &pieces, const Sql &separator)
{
    QStringList texts;
    for (const Sql &p : pieces)
        texts << p.m_text;
    return Sql(texts.join(separator.m_text));
}

Sql Sql::substitute(const QVector<Sql> &pieces) const
{
    QString out;
    out.reserve(m_text.size());
    for (qsizetype i = 0; i < m_text.size(); ++i) {
        const QChar ch = m_text[i];
        if (ch == QLatin1Char('%') && i + 1 < m_text.size() && m_text[i + 1].isDigit()) {
            const int n = m_text[i + 1].digitValue();
            if (n >= 1 && n <= pieces.size()) {
                out += pieces[n - 1].m_text;
                ++i;
                continue;
            }
        }
        out += ch;
    }
    return Sql(out);
}

QString quoteIdentifier(const QString &name)
{
    QString q = name;
    q.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + q + QLatin1Char('"');
}

QString declaredType(const ColumnDef &column)
{
    switch (column.type) {
    case ColumnType::DateTime: return QStringLiteral("DATETIME");
    case ColumnType::SmallInt: return QStringLiteral("SMALLINT");
    case ColumnType::Text: return QStringLiteral("VARCHAR(%1)").arg(column.size);
    case ColumnType::Other: break;
    }
    return QString();
}

ColumnDef columnFromDeclaredType(const QString &name, const QString &declared)
{
    ColumnDef c;
    c.name = name;
    const QString t = declared.trimmed().toUpper();
    static const QRegularExpression varchar(QStringLiteral("^(?:VAR)?CHAR\\s*\\(\\s*(\\d+)\\s*\\)$"));
    if (t == QLatin1String("DATETIME")) {
        c.type = ColumnType::DateTime;
    } else if (t == QLatin1String("SMALLINT")) {
        c.type = ColumnType::SmallInt;
    } else if (auto m = varchar.match(t); m.hasMatch()) {
        c.type = ColumnType::Text;
        c.size = m.captured(1).toInt();
    } else {
        c.type = ColumnType::Other;
    }
    return c;
}

bool fitsWindows1252(const QString &text)
{
    // Windows-1252 is Latin-1 with 27 printable characters in place of the
    // C1 controls 0x80..0x9F.
    static const char16_t extra[] = {0x20AC, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                     0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x017D, 0x2018,
                                     0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC,
                                     0x2122, 0x0161, 0x203A, 0x0153, 0x017E, 0x0178};
    for (QChar ch : text) {
        const char16_t u = ch.unicode();
        if (u < 0x80 || (u >= 0xA0 && u <= 0xFF))
            continue;
        bool found = false;
        for (char16_t e : extra)
            if (e == u) {
                found = true;
                break;
            }
        if (!found)
            return false;
    }
    return true;
}

// Primary result codes of the engine.
namespace code {
constexpr int Perm = 3, Busy = 5, Locked = 6, ReadOnly = 8, IoErr = 10, Corrupt = 11, Full = 13, CantOpen = 14,
              Constraint = 19, Auth = 23, NotADb = 26;
constexpr int CantOpenIsDir = CantOpen | (2 << 8);
constexpr int ReadOnlyDbMoved = ReadOnly | (4 << 8);
} // namespace code

EngineFault faultOf(const EngineError &error)
{
    if (error.code == 0)
        return error.isSet() ? EngineFault::Other : EngineFault::None;
    if (error.code == code::ReadOnlyDbMoved)
        return EngineFault::Moved;
    switch (error.code & 0xff) {
    case code::Busy: return EngineFault::Busy;
    case code::Locked: return EngineFault::Locked;
    case code::ReadOnly: return EngineFault::ReadOnly;
    case code::NotADb: return EngineFault::NotDatabase;
    case code::Corrupt: return EngineFault::Corrupt;
    case code::Full: return EngineFault::Full;
    case code::CantOpen: return EngineFault::CannotOpen;
    case code::IoErr: return EngineFault::IoError;
    case code::Perm:
    case code::Auth: return EngineFault::Permission;
    case code::Constraint: return EngineFault::Refused;
    default: return EngineFault::Other;
    }
}

QString describe(const EngineError &error)
{
    if (error.isSet())
        qWarning().noquote() << "engine:" << error.text << "( code" << error.code << ")";
    switch (faultOf(error)) {
    case EngineFault::None: return QString();
    case EngineFault::Busy: return msg::fileBusy();
    case EngineFault::Locked: return msg::fileLocked();
    case EngineFault::ReadOnly: return msg::fileReadOnly();
    case EngineFault::NotDatabase: return msg::notADatabase();
    case EngineFault::Corrupt: return msg::fileDamaged();
    case EngineFault::Full: return msg::diskFull();
    case EngineFault::CannotOpen:
        if (error.code == code::CantOpenIsDir)
            return msg::isFolder();
        return msg::cannotOpen();
    case EngineFault::IoError: return msg::diskError();
    case EngineFault::Permission: return msg::noPermission();
    case EngineFault::Refused: return msg::changeRefusedByRule();
    case EngineFault::Moved: return msg::fileMoved();
    case EngineFault::Other: break;
    }
    return msg::engineError().arg(error.code);
}

EngineError systemError(int errnum)
{
    int c = code::IoErr;
    switch (errnum) {
    case EACCES:
    case EPERM: c = code::Perm; break;
    case EROFS: c = code::ReadOnly; break;
    case ENOSPC:
    case EDQUOT:
    case EFBIG: c = code::Full; break;
    case EBUSY:
    case ETXTBSY: c = code::Busy; break;
    case ENOENT:
    case ENOTDIR: c = code::CantOpen; break;
    case EISDIR: c = code::CantOpenIsDir; break;
    default: break;
    }
    return EngineError{QString::fromLocal8Bit(std::strerror(errnum)), c};
}

namespace {

QString newConnectionName()
{
    static QAtomicInteger<quint64> counter;
    return QStringLiteral("sequanel-%1").arg(counter.fetchAndAddRelaxed(1));
}

EngineError toError(const QSqlError &e)
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

} // namespace

// ---------------------------------------------------------------- Connection

struct Connection::Impl {
    QString name;
    QString path;
    OpenMode mode = OpenMode::ReadWrite;
    QSqlDatabase db;
    QHash<QString, QSqlQuery> statements;
    EngineError error;
    int changes = 0;         // rows changed by the last exec()

    QSqlQuery *prepared(const QString &sql)
    {
        auto it = statements.find(sql);
        if (it == statements.end()) {
            QSqlQuery q(db);
            q.setForwardOnly(true);
            if (!q.prepare(sql)) {
                error = toError(q.lastError());
                return nullptr;
            }
            it = statements.insert(sql, q);
        }
        return &it.value();
    }

    bool run(QSqlQuery *q, const QVariantList &params)
    {
        for (int i = 0; i < params.size(); ++i)
            q->bindValue(i, params[i]);
        if (!q->exec()) {
            error = toError(q->lastError());
            q->finish();
            return false;
        }
        return true;
    }
};

Connection::Connection() : d(std::make_unique<Impl>()) {}

Connection::~Connection()
{
    d->statements.clear();
    const QString name = d->name;
    if (d->db.isValid())
        d->db.close();
    d->db = QSqlDatabase();
    if (!name.isEmpty())
        QSqlDatabase::removeDatabase(name);
}

std::unique_ptr<Connection> Connection::open(const QString &path, OpenMode mode, EngineError *error)
{
    auto fail = [&](const QString &text, int code = 0) -> std::unique_ptr<Connection> {
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

    std::unique_ptr<Connection> c(new Connection);
    c->d->name = newConnectionName();
    c->d->path = path;
    c->d->mode = mode;
    c->d->db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), c->d->name);
    c->d->db.setDatabaseName(path);
    QString options = QStringLiteral("QSQLITE_BUSY_TIMEOUT=1500");
    if (mode == OpenMode::ReadOnly)
        options += QStringLiteral(";QSQLITE_OPEN_READONLY");
    c->d->db.setConnectOptions(options);
    if (!c->d->db.open()) {
        const EngineError e = toError(c->d->db.lastError());
        return fail(e.text, e.code ? e.code : code::CantOpen);
    }

    // Reading the schema is the first real read of the file: a file that is
    // not a database, or a damaged header, fails here.
    bool ok = false;
    c->scalar("SELECT count(*) FROM sqlite_master", {}, &ok);
    if (!ok)
        return fail(c->d->error.text, c->d->error.code);
    if (mode == OpenMode::ReadWrite) {
        // Every commit reaches the disk before it returns. The journal mode
        // is set by the first begin(): changing it rewrites the file's
        // header, and a file that is opened only to be refused stays as it was.
        bool ok = c->exec("PRAGMA synchronous=FULL");
        ok = ok && c->scalar("PRAGMA synchronous", {}, &ok).toInt() == 2 && ok;
        if (!ok)
            return fail(QStringLiteral("synchronous=FULL refused"), c->d->error.code ? c->d->error.code : code::Busy);
    }
    return c;
}

bool Connection::create(const QString &path, const TableDef &table, EngineError *error)
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
                err = toError(db.lastError());
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
                        err = toError(q.lastError());
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

QString Connection::path() const { return d->path; }
OpenMode Connection::mode() const { return d->mode; }
EngineError Connection::lastError() const { return d->error; }
int Connection::changes() const { return d->changes; }

bool Connection::exec(const Sql &sql, const QVariantList &params)
{
    d->changes = 0;
    QSqlQuery *q = d->prepared(sql.text());
    if (!q)
        return false;
    const bool ok = d->run(q, params);
    if (ok)
        d->changes = q->numRowsAffected();
    q->finish();
    return ok;
}

QVariant Connection::scalar(const Sql &sql, const QVariantList &params, bool *ok)
{
    if (ok)
        *ok = false;
    QSqlQuery *q = d->prepared(sql.text());
    if (!q || !d->run(q, params))
        return {};
    QVariant v;
    if (q->next())
        v = q->value(0);
    else if (q->lastError().isValid()) {
        d->error = toError(q->lastError());
        q->finish();
        return {};
    }
    q->finish();
    if (ok)
        *ok = true;
    return v;
}

QVector<QVariantList> Connection::rows(const Sql &sql, const QVariantList &params, bool *ok)
{
    if (ok)
        *ok = false;
    QVector<QVariantList> out;
    QSqlQuery *q = d->prepared(sql.text());
    if (!q || !d->run(q, params))
        return out;
    const int n = q->record().count();
    while (q->next()) {
        QVariantList row;
        row.reserve(n);
        for (int i = 0; i < n; ++i)
            row << q->value(i);
        out << row;
    }
    const bool failed = q->lastError().isValid();
    if (failed)
        d->error = toError(q->lastError());
    q->finish();
    if (ok)
        *ok = !failed;
    return out;
}

bool Connection::hasTable(const Identifier &table)
{
    bool ok = false;
    const QVariant v = scalar("SELECT count(*) FROM sqlite_master WHERE type='table' AND name=?1 COLLATE NOCASE",
                              {table.name()}, &ok);
    return ok && v.toInt() > 0;
}

QVector<ColumnDef> Connection::tableColumns(const Identifier &table, bool *ok)
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
bool Connection::begin()
{
    if (d->mode != OpenMode::ReadWrite)
        return exec("BEGIN IMMEDIATE");
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!exec("BEGIN IMMEDIATE"))
            return false;
        bool ok = false;
        const QString mode = scalar("PRAGMA journal_mode", {}, &ok).toString();
        if (ok && mode.compare(QLatin1String("delete"), Qt::CaseInsensitive) == 0)
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
    d->error = EngineError{QStringLiteral("the file stays in another journal mode"), code::Busy};
    return false;
}
bool Connection::commit() { return exec("COMMIT"); }
void Connection::rollback()
{
    const EngineError keep = d->error;
    exec("ROLLBACK");
    d->error = keep;
}

bool Connection::beginRead()
{
    if (!exec("BEGIN"))
        return false;
    bool ok = false;
    scalar("SELECT count(*) FROM sqlite_master", {}, &ok); // the file is locked for reading from here
    if (!ok)
        rollback();
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
std::optional<PageSurvey> Connection::surveyPages(const Identifier &table)
{
    sqlite3 *db = engineHandle(d->db);
    sqlite3_file *file = nullptr;
    if (!db || sqlite3_file_control(db, "main", SQLITE_FCNTL_FILE_POINTER, &file) != SQLITE_OK || !file
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

    PageSurvey out;
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
            PageSurvey::Leaf leaf;
            leaf.page = number;
            leaf.hash = pageHash(page, pageSize);
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
            out.leaves.push_back(leaf);
        } else {
            return std::nullopt;
        }
    }
    std::sort(out.leaves.begin(), out.leaves.end(),
              [](const PageSurvey::Leaf &a, const PageSurvey::Leaf &b) { return a.page < b.page; });
    return out;
}

// A row that differs lives, before or after, on a leaf that differs, or that
// joined or left the tree: a leaf present in both surveys with the same
// bytes holds the same rows in both (rowids are unique in a table).
std::optional<std::vector<RowidRange>> changedRowids(const PageSurvey &before, const PageSurvey &after)
{
    if (before.layout != after.layout)
        return std::nullopt;
    std::vector<RowidRange> out;
    auto add = [&](const PageSurvey::Leaf &leaf) {
        if (leaf.first <= leaf.last)
            out.push_back({leaf.first, leaf.last});
    };
    auto a = before.leaves.begin(), b = after.leaves.begin();
    while (a != before.leaves.end() || b != after.leaves.end()) {
        if (b == after.leaves.end() || (a != before.leaves.end() && a->page < b->page)) {
            add(*a++);
        } else if (a == before.leaves.end() || b->page < a->page) {
            add(*b++);
        } else {
            if (a->hash != b->hash || !a->whole || !b->whole) {
                add(*a);
                add(*b);
            }
            ++a;
            ++b;
        }
    }
    std::sort(out.begin(), out.end(), [](const RowidRange &x, const RowidRange &y) { return x.first < y.first; });
    std::vector<RowidRange> merged;
    for (const RowidRange &r : out)
        if (!merged.empty() && r.first <= merged.back().last)
            merged.back().last = std::max(merged.back().last, r.last);
        else
            merged.push_back(r);
    return merged;
}

// ---------------------------------------------------------------- RowText

int RowText::columnCount() const { return sqlite3_column_count(static_cast<sqlite3_stmt *>(m_statement)); }

bool RowText::isNull(int column) const
{
    return sqlite3_column_type(static_cast<sqlite3_stmt *>(m_statement), column) == SQLITE_NULL;
}

QByteArrayView RowText::text(int column) const
{
    auto *st = static_cast<sqlite3_stmt *>(m_statement);
    const auto *bytes = reinterpret_cast<const char *>(sqlite3_column_text(st, column));
    return QByteArrayView(bytes, bytes ? sqlite3_column_bytes(st, column) : 0);
}

// QtSql hands every value over as a QVariant holding a QString made from the
// engine's UTF-16 form of the text, which costs more than the reading itself
// on a large table. This runs the statement on the same engine handle with
// the engine's own functions instead.
bool Connection::forEachRow(const Sql &sql, const std::function<bool(const RowText &)> &onRow)
{
    d->error = {};
    sqlite3 *db = engineHandle(d->db);
    if (!db) {
        d->error.text = QStringLiteral("no engine handle");
        return false;
    }
    const QByteArray text = sql.text().toUtf8();
    sqlite3_stmt *st = nullptr;
    int rc = sqlite3_prepare_v2(db, text.constData(), int(text.size()), &st, nullptr);
    if (rc == SQLITE_OK) {
        const RowText row(st);
        while ((rc = sqlite3_step(st)) == SQLITE_ROW)
            if (!onRow(row)) {
                rc = SQLITE_DONE;
                break;
            }
    }
    if (rc != SQLITE_DONE) {
        d->error.text = QString::fromUtf8(sqlite3_errmsg(db));
        d->error.code = sqlite3_extended_errcode(db);
    }
    sqlite3_finalize(st);
    return rc == SQLITE_DONE;
}

// ---------------------------------------------------------------- Cursor

struct Cursor::Impl {
    Connection *connection = nullptr;
    Sql countSql = "";
    QVariantList params;
    QSqlQuery query;
    bool valid = false;
    bool atEnd = true;
    EngineError error;
    QStringList names;
};

Cursor::Cursor() : d(std::make_unique<Impl>()) {}
Cursor::~Cursor() = default;

std::unique_ptr<Cursor> Connection::openTable(const Identifier &table)
{
    return openQuery(Sql("SELECT * FROM %1 ORDER BY rowid").arg(table));
}

std::unique_ptr<Cursor> Connection::openQuery(const Sql &sql, const QVariantList &params)
{
    std::unique_ptr<Cursor> c(new Cursor);
    c->d->connection = this;
    c->d->params = params;
    c->d->countSql = Sql("SELECT count(*) FROM (%1)").arg(sql);
    c->d->query = QSqlQuery(d->db);
    c->d->query.setForwardOnly(true);
    if (!c->d->query.prepare(sql.text())) {
        c->d->error = toError(c->d->query.lastError());
        return c;
    }
    for (int i = 0; i < params.size(); ++i)
        c->d->query.bindValue(i, params[i]);
    if (!c->d->query.exec()) {
        c->d->error = toError(c->d->query.lastError());
        return c;
    }
    const QSqlRecord rec = c->d->query.record();
    for (int i = 0; i < rec.count(); ++i)
        c->d->names << rec.fieldName(i);
    c->d->valid = true;
    c->d->atEnd = !c->d->query.next();
    if (c->d->atEnd && c->d->query.lastError().isValid()) {
        c->d->error = toError(c->d->query.lastError());
        c->d->valid = false;
    }
    return c;
}

bool Cursor::isValid() const { return d->valid; }
EngineError Cursor::error() const { return d->error; }
bool Cursor::eof() const { return !d->valid || d->atEnd; }
int Cursor::columnCount() const { return d->names.size(); }
QStringList Cursor::columnNames() const { return d->names; }

qint64 Cursor::recordCount()
{
    if (!d->valid)
        return 0;
    bool ok = false;
    const QVariant v = d->connection->scalar(d->countSql, d->params, &ok);
    if (!ok) {
        d->error = d->connection->lastError();
        return 0;
    }
    return v.toLongLong();
}

bool Cursor::moveFirst()
{
    if (!d->valid)
        return false;
    d->query.finish();
    for (int i = 0; i < d->params.size(); ++i)
        d->query.bindValue(i, d->params[i]);
    if (!d->query.exec()) {
        d->error = toError(d->query.lastError());
        d->atEnd = true;
        return false;
    }
    d->atEnd = !d->query.next();
    return !d->atEnd;
}

bool Cursor::moveNext()
{
    if (eof())
        return false;
    d->atEnd = !d->query.next();
    if (d->atEnd && d->query.lastError().isValid()) {
        d->error = toError(d->query.lastError());
        return false;
    }
    return !d->atEnd;
}

QVariant Cursor::value(const QString &column) const
{
    const int i = d->names.indexOf(column);
    return i < 0 ? QVariant() : value(i);
}

QVariant Cursor::value(int index) const
{
    if (eof() || index < 0 || index >= d->names.size())
        return {};
    return d->query.value(index);
}

} // namespace platform
