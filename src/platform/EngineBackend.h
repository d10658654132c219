#pragma once
// What a Connection is made of: one engine behind QtSql, a SQLite file
// (EngineSqlite.cpp) or a PostgreSQL server (EnginePostgres.cpp). The
// statements QtSql runs the same way on both live here; what differs is
// virtual. Private to the platform library.
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

class Backend
{
public:
    virtual ~Backend();

    QString name; // QtSql's connection name
    QString path; // the log's name as given (a server's address without its password)
    OpenMode mode = OpenMode::ReadWrite;
    QSqlDatabase db;
    QHash<QString, QSqlQuery> statements;
    EngineError error;
    int changes = 0; // rows changed by the last exec()

    // The engine's error for one of QtSql's.
    virtual EngineError toError(const QSqlError &e) const = 0;
    // The text QtSql is given for a statement (its parameters are ?1, ?2...).
    virtual QString statementText(const Sql &sql) const { return sql.text(); }
    // The value of a column of the query's current row, in the form the
    // program stores (dates as text).
    virtual QVariant readValue(const QSqlQuery &q, int column) const;

    // The statement, prepared once and kept; nullptr and error on failure.
    QSqlQuery *prepared(const Sql &sql);
    // Binds params and runs the statement; false and error on failure.
    virtual bool run(QSqlQuery *q, const QVariantList &params);
    // The statement ready to read or done: prepared and run, or run at once.
    virtual QSqlQuery *start(const Sql &sql, const QVariantList &params);

    // What Connection's routines of the same names do.
    bool exec(const Sql &sql, const QVariantList &params = {});
    virtual bool execRows(const Sql &sql, const QVector<QVariantList> &rows);
    QVariant scalar(const Sql &sql, const QVariantList &params = {}, bool *ok = nullptr);
    virtual QVector<QVariantList> rows(const Sql &sql, const QVariantList &params = {}, bool *ok = nullptr);
    virtual bool commit();
    virtual void rollback();
    // The statement, then the commit; its rows in *out when out is given.
    virtual bool execAndCommit(const Sql &sql, const QVariantList &params, QVector<QVariantList> *out);

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
