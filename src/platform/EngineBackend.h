#pragma once
// What a Connection is made of: one engine, a SQLite file through QtSql
// (EngineSqlite.cpp, on SqlBackend) or a PostgreSQL server through libpq
// (EnginePostgres.cpp). Private to the platform library.
#include "Engine.h"

#include <QHash>
#include <QSqlDatabase>
#include <QSqlQuery>

class QSqlError;

namespace platform {

// The values of one row, as RowText hands them over.
class RowSource
{
public:
    virtual ~RowSource() = default;
    virtual int columnCount() const = 0;
    virtual bool isNull(int column) const = 0;
    virtual QByteArrayView text(int column) const = 0;
};

// The rows of a cursor as its engine reads them, one at a time.
class RowStream
{
public:
    virtual ~RowStream() = default;
    // Runs the statement (again) and stands on its first row: false, with
    // error, when it could not run.
    virtual bool start() = 0;
    // True while it stands on a row: after start() or next().
    virtual bool onRow() const = 0;
    // The next row; false at the end, or with error when the reading failed.
    virtual bool next() = 0;
    virtual QVariant value(int column) const = 0;
    virtual QStringList names() const = 0;
    EngineError error;
};

class Backend
{
public:
    virtual ~Backend() = default;

    QString path; // the log's name as given (a server's address without its password)
    OpenMode mode = OpenMode::ReadWrite;
    EngineError error;
    int changes = 0; // rows changed by the last exec()

    // What Connection's routines of the same names do.
    virtual bool exec(const Sql &sql, const QVariantList &params = {}) = 0;
    virtual QVector<QVariantList> rows(const Sql &sql, const QVariantList &params = {}, bool *ok = nullptr) = 0;
    // The statement run once for each row of parameters.
    virtual bool execRows(const Sql &sql, const QVector<QVariantList> &rows);
    QVariant scalar(const Sql &sql, const QVariantList &params = {}, bool *ok = nullptr);
    virtual bool commit() = 0;
    virtual void rollback() = 0;
    // The statement, then the commit; its rows in *out when out is given.
    virtual bool execAndCommit(const Sql &sql, const QVariantList &params, QVector<QVariantList> *out) = 0;
    virtual std::unique_ptr<RowStream> stream(const Sql &sql, const QVariantList &params) = 0;

    // Batches of rows, one INSERT of many rows each, through exec().
    virtual bool insertRows(const Identifier &table, const QVector<ColumnDef> &columns, qint64 count,
                            const Connection::RowFiller &fill);

    virtual bool hasTable(const Identifier &table) = 0;
    virtual QVector<ColumnDef> tableColumns(const Identifier &table, bool *ok) = 0;
    // The select of a whole table's own columns in insertion order.
    virtual Sql tableSelect(const Identifier &table) = 0;
    virtual bool begin() = 0;
    virtual bool beginRead() = 0;
    virtual std::optional<TableSurvey> surveyTable(const Identifier &) { return std::nullopt; }
    virtual bool forEachRow(const Sql &sql, const std::function<bool(const RowText &)> &onRow) = 0;
    virtual qint64 changeCount() = 0;
    virtual std::optional<qint64> lastInsertedRowid() = 0;
    virtual Sql isPlainNumber(const Identifier &column) const = 0;
    virtual QString storeKeyColumn() const { return {}; }
    virtual bool indexesSerials() const { return false; }
    virtual LinkState link() const { return {}; }
    virtual std::optional<bool> reserve(qint64) { return true; }
    virtual void releaseReservations() {}
    virtual Sql largestReservedElsewhere() const { return "0"; }
    virtual Sql reservedElsewhere(const Sql &) const { return "0 = 1"; }
};

// A database reached through QtSql.
class SqlBackend : public Backend
{
public:
    ~SqlBackend() override;

    QString name; // QtSql's connection name
    QSqlDatabase db;
    QHash<QString, QSqlQuery> statements;

    // The engine's error for one of QtSql's.
    virtual EngineError toError(const QSqlError &e) const = 0;
    // The value of a column of the query's current row, in the form the
    // program stores (dates as text).
    virtual QVariant readValue(const QSqlQuery &q, int column) const;

    // The statement, prepared once and kept; nullptr and error on failure.
    QSqlQuery *prepared(const Sql &sql);
    // Binds params and runs the statement; false and error on failure.
    bool run(QSqlQuery *q, const QVariantList &params);
    // The statement prepared and run.
    QSqlQuery *start(const Sql &sql, const QVariantList &params);

    bool exec(const Sql &sql, const QVariantList &params = {}) override;
    QVector<QVariantList> rows(const Sql &sql, const QVariantList &params = {}, bool *ok = nullptr) override;
    bool commit() override;
    void rollback() override;
    bool execAndCommit(const Sql &sql, const QVariantList &params, QVector<QVariantList> *out) override;
    std::unique_ptr<RowStream> stream(const Sql &sql, const QVariantList &params) override;
};

// A connection name no other connection of the process has.
QString newConnectionName();

std::unique_ptr<Backend> openFile(const QString &path, OpenMode mode, EngineError *error);
bool createFile(const QString &path, const TableDef &table, EngineError *error);
std::unique_ptr<Backend> openServer(const QString &address, OpenMode mode, EngineError *error);
bool createServer(const QString &address, const TableDef &table, EngineError *error);
bool removeServer(const QString &address);

// Codes of the engine errors. A file's are the engine's own result codes; a
// server's five-character SQLSTATE is kept in base 36 above kServerCode.
namespace code {
constexpr int Perm = 3, Busy = 5, Locked = 6, ReadOnly = 8, IoErr = 10, Corrupt = 11, Full = 13, CantOpen = 14,
              Constraint = 19, Auth = 23, NotADb = 26;
constexpr int CantOpenIsDir = CantOpen | (2 << 8);
constexpr int ReadOnlyDbMoved = ReadOnly | (4 << 8);
constexpr int kServerCode = 1 << 30;
} // namespace code

// The code standing for a server's SQLSTATE, and back (empty for a file's code).
int serverCode(const QString &sqlState);
QString sqlStateOf(int code);
// The kind of failure a server's SQLSTATE is, and the French sentence for it.
EngineFault serverFault(const QString &sqlState);
QString describeServer(const QString &sqlState);

} // namespace platform
