#include "Engine.h"
#include "EngineBackend.h"
#include "Messages.h"

#include <QAtomicInteger>
#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLoggingCategory>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace platform {

namespace {
// The engine's own words behind a message, for whoever debugs the program
// (QT_LOGGING_RULES="sequanel.engine.debug=true"); the user sees the message.
Q_LOGGING_CATEGORY(engineLog, "sequanel.engine", QtInfoMsg)
} // namespace

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

Sql Sql::insertValues(const Identifier &table, const QVector<Sql> &columns, qint64 rows)
{
    QVector<Sql> tuples, marks;
    for (qint64 r = 0; r < rows; ++r, marks.clear()) {
        for (qsizetype c = 0; c < columns.size(); ++c)
            marks << parameter(int(r * columns.size() + c + 1));
        tuples << Sql("(%1)").arg(join(marks, ", "));
    }
    return Sql("INSERT INTO %1 (%2) VALUES %3").arg(table, join(columns, ", "), join(tuples, ", "));
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


EngineFault faultOf(const EngineError &error)
{
    if (const QString state = sqlStateOf(error.code); !state.isEmpty())
        return serverFault(state);
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
        qCDebug(engineLog).noquote() << error.text << "( code" << error.code << ")";
    if (const QString state = sqlStateOf(error.code); !state.isEmpty())
        return describeServer(state);
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
    case EngineFault::Unreachable:
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

QString newConnectionName()
{
    static QAtomicInteger<quint64> counter;
    return QStringLiteral("sequanel-%1").arg(counter.fetchAndAddRelaxed(1));
}

// ---------------------------------------------------------------- Backend

QVariant Backend::scalar(const Sql &sql, const QVariantList &params, bool *ok)
{
    bool good = false;
    const QVector<QVariantList> out = rows(sql, params, &good);
    if (ok)
        *ok = good;
    return good && !out.isEmpty() ? out[0].value(0) : QVariant();
}

SqlBackend::~SqlBackend()
{
    statements.clear();
    const QString connectionName = name;
    if (db.isValid())
        db.close();
    db = QSqlDatabase();
    if (!connectionName.isEmpty())
        QSqlDatabase::removeDatabase(connectionName);
}

QSqlQuery *SqlBackend::prepared(const Sql &sql)
{
    const QString &text = sql.text();
    auto it = statements.find(text);
    if (it == statements.end()) {
        QSqlQuery q(db);
        q.setForwardOnly(true);
        if (!q.prepare(text)) {
            error = toError(q.lastError());
            return nullptr;
        }
        it = statements.insert(text, q);
    }
    return &it.value();
}

bool SqlBackend::run(QSqlQuery *q, const QVariantList &params)
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

QSqlQuery *SqlBackend::start(const Sql &sql, const QVariantList &params)
{
    QSqlQuery *q = prepared(sql);
    return q && run(q, params) ? q : nullptr;
}

bool SqlBackend::exec(const Sql &sql, const QVariantList &params)
{
    changes = 0;
    QSqlQuery *q = start(sql, params);
    if (!q)
        return false;
    changes = q->numRowsAffected();
    q->finish();
    return true;
}

bool Backend::execRows(const Sql &sql, const QVector<QVariantList> &rows)
{
    for (const QVariantList &row : rows)
        if (!exec(sql, row))
            return false;
    return true;
}

QVariant SqlBackend::readValue(const QSqlQuery &q, int column) const { return q.value(column); }

QVector<QVariantList> SqlBackend::rows(const Sql &sql, const QVariantList &params, bool *ok)
{
    if (ok)
        *ok = false;
    QVector<QVariantList> out;
    QSqlQuery *q = start(sql, params);
    if (!q)
        return out;
    const int n = q->record().count();
    while (q->next()) {
        QVariantList row;
        row.reserve(n);
        for (int i = 0; i < n; ++i)
            row << readValue(*q, i);
        out << row;
    }
    const bool failed = q->lastError().isValid();
    if (failed)
        error = toError(q->lastError());
    q->finish();
    if (ok)
        *ok = !failed;
    return out;
}

bool SqlBackend::commit() { return exec("COMMIT"); }

bool SqlBackend::execAndCommit(const Sql &sql, const QVariantList &params, QVector<QVariantList> *out)
{
    bool ok = false;
    if (out)
        *out = rows(sql, params, &ok);
    else
        ok = exec(sql, params);
    return ok && commit();
}

bool Backend::insertRows(const Identifier &table, const QVector<ColumnDef> &columns, qint64 count,
                         const Connection::RowFiller &fill)
{
    constexpr qint64 kBatch = 64;
    QVector<Sql> names;
    for (const ColumnDef &c : columns)
        names << Identifier(c.name);
    const Sql whole = Sql::insertValues(table, names, kBatch);
    QVector<std::optional<QByteArrayView>> values(columns.size());
    QVariantList params;
    for (qint64 first = 0; first < count; first += kBatch) {
        const qint64 rows = std::min(kBatch, count - first);
        params.clear();
        for (qint64 r = first; r < first + rows; ++r) {
            if (!fill(r, values)) {
                error = EngineError{QStringLiteral("stopped"), 0};
                return false;
            }
            for (qsizetype c = 0; c < columns.size(); ++c) {
                const auto &v = values[c];
                if (!v)
                    params << QVariant();
                else if (columns[c].type == ColumnType::SmallInt)
                    params << v->toByteArray().toInt();
                else
                    params << QString::fromUtf8(*v);
            }
        }
        if (!exec(rows == kBatch ? whole : Sql::insertValues(table, names, rows), params))
            return false;
    }
    return true;
}

void SqlBackend::rollback()
{
    const EngineError keep = error;
    exec("ROLLBACK");
    error = keep;
}

namespace {
// A cursor's rows through a QtSql query of its own.
class SqlRows : public RowStream
{
public:
    SqlRows(const SqlBackend &backend, const Sql &sql, const QVariantList &params)
        : m_backend(backend), m_sql(sql), m_params(params), m_query(backend.db)
    {
        m_query.setForwardOnly(true);
    }
    bool start() override
    {
        m_onRow = false;
        m_query.finish();
        if (!m_prepared && !(m_prepared = m_query.prepare(m_sql.text())))
            return fail();
        for (int i = 0; i < m_params.size(); ++i)
            m_query.bindValue(i, m_params[i]);
        if (!m_query.exec())
            return fail();
        return next() || !error.isSet();
    }
    bool onRow() const override { return m_onRow; }
    bool next() override
    {
        m_onRow = m_query.next();
        if (!m_onRow && m_query.lastError().isValid())
            return fail();
        return m_onRow;
    }
    QVariant value(int column) const override { return m_backend.readValue(m_query, column); }
    QStringList names() const override
    {
        QStringList out;
        const QSqlRecord rec = m_query.record();
        for (int i = 0; i < rec.count(); ++i)
            out << rec.fieldName(i);
        return out;
    }

private:
    bool fail()
    {
        error = m_backend.toError(m_query.lastError());
        m_onRow = false;
        return false;
    }
    const SqlBackend &m_backend;
    Sql m_sql;
    QVariantList m_params;
    QSqlQuery m_query;
    bool m_prepared = false;
    bool m_onRow = false;
};
} // namespace

std::unique_ptr<RowStream> SqlBackend::stream(const Sql &sql, const QVariantList &params)
{
    return std::make_unique<SqlRows>(*this, sql, params);
}

// ---------------------------------------------------------------- Connection

bool isServerAddress(const QString &name) { return name.startsWith(QLatin1String("postgresql://")); }

Connection::Connection(std::unique_ptr<Backend> backend) : d(std::move(backend)) {}
Connection::~Connection() = default;

std::unique_ptr<Connection> Connection::open(const QString &path, OpenMode mode, EngineError *error)
{
    auto backend = isServerAddress(path) ? openServer(path, mode, error) : openFile(path, mode, error);
    return backend ? std::unique_ptr<Connection>(new Connection(std::move(backend))) : nullptr;
}

bool Connection::create(const QString &path, const TableDef &table, EngineError *error)
{
    return isServerAddress(path) ? createServer(path, table, error) : createFile(path, table, error);
}

bool Connection::remove(const QString &path)
{
    if (isServerAddress(path))
        return removeServer(path);
    QFile::remove(path + QStringLiteral("-journal"));
    return QFile::remove(path) || !QFile::exists(path);
}

QString Connection::path() const { return d->path; }
OpenMode Connection::mode() const { return d->mode; }
EngineError Connection::lastError() const { return d->error; }
int Connection::changes() const { return d->changes; }

bool Connection::exec(const Sql &sql, const QVariantList &params) { return d->exec(sql, params); }
bool Connection::execRows(const Sql &sql, const QVector<QVariantList> &rows) { return d->execRows(sql, rows); }
QVariant Connection::scalar(const Sql &sql, const QVariantList &params, bool *ok) { return d->scalar(sql, params, ok); }
QVector<QVariantList> Connection::rows(const Sql &sql, const QVariantList &params, bool *ok)
{
    return d->rows(sql, params, ok);
}
bool Connection::hasTable(const Identifier &table) { return d->hasTable(table); }
QVector<ColumnDef> Connection::tableColumns(const Identifier &table, bool *ok) { return d->tableColumns(table, ok); }
bool Connection::begin() { return d->begin(); }
bool Connection::beginRead() { return d->beginRead(); }
bool Connection::commit() { return d->commit(); }
bool Connection::execAndCommit(const Sql &sql, const QVariantList &params, QVector<QVariantList> *rows)
{
    return d->execAndCommit(sql, params, rows);
}
void Connection::rollback() { d->rollback(); }
std::optional<TableSurvey> Connection::surveyTable(const Identifier &table) { return d->surveyTable(table); }
qint64 Connection::changeCount() { return d->changeCount(); }
std::optional<qint64> Connection::lastInsertedRowid() { return d->lastInsertedRowid(); }
Sql Connection::isPlainNumber(const Identifier &column) const { return d->isPlainNumber(column); }
QString Connection::storeKeyColumn() const { return d->storeKeyColumn(); }
bool Connection::indexesSerials() const { return d->indexesSerials(); }
LinkState Connection::link() const { return d->link(); }
std::optional<bool> Connection::reserve(qint64 number) { return d->reserve(number); }
void Connection::releaseReservations() { d->releaseReservations(); }
Sql Connection::largestReservedElsewhere() const { return d->largestReservedElsewhere(); }
Sql Connection::reservedElsewhere(const Sql &number) const { return d->reservedElsewhere(number); }

bool Connection::insertRows(const Identifier &table, const QVector<ColumnDef> &columns, qint64 count,
                            const RowFiller &fill)
{
    d->error = {};
    return d->insertRows(table, columns, count, fill);
}

bool Connection::forEachRow(const Sql &sql, const std::function<bool(const RowText &)> &onRow)
{
    d->error = {};
    return d->forEachRow(sql, onRow);
}

// ---------------------------------------------------------------- rows

int RowText::columnCount() const { return m_source->columnCount(); }
bool RowText::isNull(int column) const { return m_source->isNull(column); }
QByteArrayView RowText::text(int column) const { return m_source->text(column); }

// A row that differs lies, before or after, in a part that differs, or that
// joined or left the table: a part present in both surveys with the same
// fingerprint holds the same rows in both (rowids are unique in a table).
std::optional<std::vector<RowidRange>> changedRowids(const TableSurvey &before, const TableSurvey &after)
{
    if (before.layout != after.layout)
        return std::nullopt;
    std::vector<RowidRange> out;
    auto add = [&](const TableSurvey::Part &part) {
        if (part.first <= part.last)
            out.push_back({part.first, part.last});
    };
    auto a = before.parts.begin(), b = after.parts.begin();
    while (a != before.parts.end() || b != after.parts.end()) {
        if (b == after.parts.end() || (a != before.parts.end() && a->place < b->place)) {
            add(*a++);
        } else if (a == before.parts.end() || b->place < a->place) {
            add(*b++);
        } else {
            if (a->fingerprint != b->fingerprint || !a->whole || !b->whole) {
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

// ---------------------------------------------------------------- Cursor

struct Cursor::Impl {
    std::unique_ptr<RowStream> rows;
    bool valid = false;
    EngineError error;
    QStringList names;
};

Cursor::Cursor() : d(std::make_unique<Impl>()) {}
Cursor::~Cursor() = default;

std::unique_ptr<Cursor> Connection::openTable(const Identifier &table)
{
    return openQuery(d->tableSelect(table));
}

std::unique_ptr<Cursor> Connection::openQuery(const Sql &sql, const QVariantList &params)
{
    std::unique_ptr<Cursor> c(new Cursor);
    c->d->rows = d->stream(sql, params);
    c->d->valid = c->d->rows->start();
    c->d->error = c->d->rows->error;
    if (c->d->valid)
        c->d->names = c->d->rows->names();
    return c;
}

bool Cursor::isValid() const { return d->valid; }
EngineError Cursor::error() const { return d->error; }
bool Cursor::eof() const { return !d->valid || !d->rows->onRow(); }
int Cursor::columnCount() const { return d->names.size(); }
QStringList Cursor::columnNames() const { return d->names; }

bool Cursor::moveFirst()
{
    if (!d->valid)
        return false;
    if (!d->rows->start())
        d->error = d->rows->error;
    return d->rows->onRow();
}

bool Cursor::moveNext()
{
    if (eof())
        return false;
    if (!d->rows->next() && d->rows->error.isSet())
        d->error = d->rows->error;
    return d->rows->onRow();
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
    return d->rows->value(index);
}

} // namespace platform