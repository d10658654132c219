// Shared logs on a PostgreSQL server, through QtSql's QPSQL driver; libpq
// itself for the notifications that tell another station's changes.
//
// A shared log is a schema named after the journal, holding the table of a
// log file with the same columns (varchar(n) for a text of n characters,
// smallint, timestamp(0) for a date), and two columns of the server's own
// that the program's statements do not list: rowid, an identity in
// insertion order standing for SQLite's rowid, and CleEnregistrement, the
// unique key a store carries (empty for rows copied from a file). A trigger
// notifies the channel named after the journal at each statement that
// changes the table; others keep, in sequanel_versions, a version for each
// chunk of rowids, so that a reader learns which rows another station
// changed without reading the table again.
#include "EngineBackend.h"
#include "Passwords.h"
#include "Messages.h"
#include "Regional.h"

#include <QRegularExpression>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QSqlRecord>
#include <QSqlResult>
#include <QUrl>

#include <algorithm>
#include <libpq-fe.h>
#include <utility>

namespace platform {

namespace {

const QString kStoreKey = QStringLiteral("CleEnregistrement");
// The versions of a journal's chunks of rowids, and a chunk's size.
const char *const kVersionsTable = "sequanel_versions";
constexpr qint64 kVersionChunk = 1024;

// SQLSTATEs of failures found before the server is asked, in a class the
// server does not use.
const QString kBadAddress = QStringLiteral("SQ001");
const QString kBadJournal = QStringLiteral("SQ002");
// The client library's own failures come without a SQLSTATE: nearly all are
// a connection that could not be made or was lost.
const QString kConnectionFailure = QStringLiteral("08006");

struct ServerAddress {
    QString user, password, host, base, journal;
    int port = -1;
    QStringList options; // other connection parameters, key=value
    QString shown;       // the address without its password
};

// A journal's name is quoted in every statement; it is also held to the
// rules of an unquoted PostgreSQL name, so that it means the same written
// either way: letters, digits and underscores, not a digit first, 63 bytes
// at most, and not the prefix of the server's own schemas.
bool validJournal(const QString &name)
{
    if (name.isEmpty() || name.toUtf8().size() > 63 || name[0].isDigit()
        || name.startsWith(QLatin1String("pg_"), Qt::CaseInsensitive))
        return false;
    for (QChar ch : name)
        if (!ch.isLetterOrNumber() && ch != QLatin1Char('_'))
            return false;
    return true;
}

// The values a connection parameter given in the address may hold: the
// driver joins them into one text of key=value pairs.
bool plainValue(const QString &value)
{
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_./:@-]*$"));
    return plain.match(value).hasMatch();
}

// postgresql://[user[:password]@][host][:port][/base][?key=value&...], read
// by libpq's rules: every part percent-encoded, a host beginning with "/" is
// the folder of a Unix socket, and host, port, user, password and dbname
// may be given as parameters too. journal names the shared log.
std::optional<ServerAddress> parseAddress(const QString &address, QString *problem)
{
    static const QRegularExpression form(QStringLiteral(
        "^postgresql://(?:([^@/?]*)@)?(\\[[^\\]]*\\]|[^:/?]*)(?::(\\d*))?(?:/([^?]*))?(?:\\?(.*))?$"));
    const auto m = form.match(address);
    *problem = kBadAddress;
    if (!m.hasMatch())
        return std::nullopt;
    auto decoded = [](const QString &part) { return QUrl::fromPercentEncoding(part.toUtf8()); };
    ServerAddress a;
    const QString userInfo = m.captured(1);
    const qsizetype colon = userInfo.indexOf(QLatin1Char(':'));
    a.user = decoded(userInfo.left(colon));
    if (colon >= 0)
        a.password = decoded(userInfo.mid(colon + 1));
    a.host = decoded(m.captured(2));
    if (a.host.startsWith(QLatin1Char('[')))
        a.host = a.host.mid(1, a.host.size() - 2);
    if (!m.captured(3).isEmpty())
        a.port = m.captured(3).toInt();
    a.base = decoded(m.captured(4));
    QStringList shownParams;
    for (const QString &pair : m.captured(5).split(QLatin1Char('&'), Qt::SkipEmptyParts)) {
        const qsizetype eq = pair.indexOf(QLatin1Char('='));
        if (eq <= 0)
            return std::nullopt;
        const QString key = decoded(pair.left(eq)), value = decoded(pair.mid(eq + 1));
        if (key != QLatin1String("password"))
            shownParams << pair;
        if (key == QLatin1String("journal"))
            a.journal = value;
        else if (key == QLatin1String("host"))
            a.host = value;
        else if (key == QLatin1String("port"))
            a.port = value.toInt();
        else if (key == QLatin1String("user"))
            a.user = value;
        else if (key == QLatin1String("password"))
            a.password = value;
        else if (key == QLatin1String("dbname"))
            a.base = value;
        else if (plainValue(key) && plainValue(value))
            a.options << key + QLatin1Char('=') + value;
        else
            return std::nullopt;
    }
    if (a.port == 0 || a.port > 65535 || a.base.isEmpty())
        return std::nullopt;
    if (!validJournal(a.journal)) {
        *problem = kBadJournal;
        return std::nullopt;
    }
    a.shown = QStringLiteral("postgresql://%1%2%3/%4?%5")
                  .arg(m.captured(1).isEmpty() ? QString() : m.captured(1).left(colon) + QLatin1Char('@'),
                       m.captured(2), m.captured(3).isEmpty() ? QString() : QLatin1Char(':') + m.captured(3),
                       m.captured(4), shownParams.join(QLatin1Char('&')));
    problem->clear();
    return a;
}

EngineError serverFailure(const QString &text, const QString &sqlState)
{
    return EngineError{text.isEmpty() ? QStringLiteral("unknown error") : text, serverCode(sqlState)};
}

EngineError serverError(const QSqlError &e)
{
    QString text = e.databaseText().isEmpty() ? e.driverText() : e.databaseText();
    const QString state = e.nativeErrorCode();
    return serverFailure(text, state.size() == 5 ? state : kConnectionFailure);
}

// A connection that could not be made comes with the client library's text
// only; the server's refusals are told by it (in English: the server's
// own language setting is the one of its cluster, C on a test server).
EngineError connectionError(const QSqlError &e)
{
    const QString text = e.databaseText().isEmpty() ? e.driverText() : e.databaseText();
    QString state = kConnectionFailure;
    if (text.contains(QLatin1String("password")) || text.contains(QLatin1String("authentication"))
        || text.contains(QLatin1String("role \"")))
        state = QStringLiteral("28000");
    else if (text.contains(QLatin1String("database \"")) && text.contains(QLatin1String("does not exist")))
        state = QStringLiteral("3D000");
    return serverFailure(text, state);
}

// The server's own handle of a connection.
PGconn *serverHandle(const QSqlDatabase &db)
{
    const QVariant handle = db.driver() ? db.driver()->handle() : QVariant();
    // (PGconn is libpq's name for struct pg_conn, the one Qt's type system keeps)
    return handle.isValid() && (qstrcmp(handle.typeName(), "PGconn*") == 0 || qstrcmp(handle.typeName(), "pg_conn*") == 0)
               ? *static_cast<PGconn *const *>(handle.constData())
               : nullptr;
}

// A value of the current row as the server wrote it, when that text is
// already the program's own: strings (UTF-8), whole numbers, and a date
// (timestamp(0), ISO style, "yyyy-mm-dd hh:mm:ss"). QtSql would make a local
// QDateTime of a date, a call into the C library's time zone code per value,
// which the program then writes back as text; and a time that the change to
// summer time skips would come back moved by an hour.
struct ServerText {
    enum Type { Text, Date } type = Text;
    bool isNull = false;
    QByteArrayView bytes;
};

std::optional<ServerText> serverText(const QSqlQuery &q, int column)
{
    const QSqlResult *result = q.result();
    const QVariant handle = result ? result->handle() : QVariant();
    if (!handle.isValid()
        || (qstrcmp(handle.typeName(), "PGresult*") != 0 && qstrcmp(handle.typeName(), "pg_result*") != 0))
        return std::nullopt;
    const PGresult *r = *static_cast<const PGresult *const *>(handle.constData());
    if (!r)
        return std::nullopt;
    // A forward-only result comes a row at a time; otherwise all at once.
    const int row = PQresultStatus(r) == PGRES_SINGLE_TUPLE ? 0 : q.at();
    if (row < 0 || row >= PQntuples(r) || column < 0 || column >= PQnfields(r))
        return std::nullopt;
    enum : Oid { kInt8 = 20, kInt2 = 21, kInt4 = 23, kText = 25, kBpchar = 1042, kVarchar = 1043, kTimestamp = 1114 };
    const Oid type = PQftype(r, column);
    ServerText out;
    out.isNull = PQgetisnull(r, row, column);
    out.bytes = out.isNull ? QByteArrayView() : QByteArrayView(PQgetvalue(r, row, column), PQgetlength(r, row, column));
    switch (type) {
    case kInt8: case kInt2: case kInt4: case kText: case kBpchar: case kVarchar:
        return out;
    case kTimestamp: {
        out.type = ServerText::Date;
        const QByteArrayView b = out.bytes;
        auto digitsAt = [&](std::initializer_list<int> at) {
            return std::all_of(at.begin(), at.end(), [&](int i) { return b[i] >= '0' && b[i] <= '9'; });
        };
        if (out.isNull || (b.size() == 19 && b[4] == '-' && b[7] == '-' && b[10] == ' ' && b[13] == ':' && b[16] == ':'
                           && digitsAt({0, 1, 2, 3, 5, 6, 8, 9, 11, 12, 14, 15, 17, 18})))
            return out;
        return std::nullopt; // another era or form: read through QtSql
    }
    default:
        return std::nullopt;
    }
}

// A row read through QtSql, its values held as UTF-8 bytes while it is
// handed over.
class HeldRow : public RowSource
{
public:
    std::vector<QByteArray> values;
    std::vector<bool> nulls;
    int columnCount() const override { return int(values.size()); }
    bool isNull(int column) const override { return nulls[size_t(column)]; }
    QByteArrayView text(int column) const override { return values[size_t(column)]; }
};

QString serverType(const ColumnDef &column)
{
    switch (column.type) {
    case ColumnType::DateTime: return QStringLiteral("timestamp(0) without time zone");
    case ColumnType::SmallInt: return QStringLiteral("smallint");
    case ColumnType::Text: return QStringLiteral("varchar(%1)").arg(column.size);
    case ColumnType::Other: break;
    }
    return QStringLiteral("text");
}

ColumnDef columnFromServerType(const QString &name, const QString &type, const QVariant &size)
{
    ColumnDef c{name, ColumnType::Other, 0};
    if (type == QLatin1String("timestamp without time zone"))
        c.type = ColumnType::DateTime;
    else if (type == QLatin1String("smallint"))
        c.type = ColumnType::SmallInt;
    else if (type == QLatin1String("character varying") && !size.isNull())
        c = ColumnDef{name, ColumnType::Text, size.toInt()};
    return c;
}

} // namespace

int serverCode(const QString &sqlState)
{
    int n = 0;
    for (QChar ch : sqlState)
        n = n * 36 + (ch.isDigit() ? ch.digitValue() : ch.toUpper().unicode() - 'A' + 10);
    return code::kServerCode | n;
}

QString sqlStateOf(int c)
{
    if (!(c & code::kServerCode))
        return QString();
    int n = c & ~code::kServerCode;
    QString out(5, QLatin1Char('0'));
    for (int i = 4; i >= 0; --i, n /= 36)
        out[i] = QLatin1Char("0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ"[n % 36]);
    return out;
}

// By the SQLSTATE's class (its first two characters), or the state itself.
EngineFault serverFault(const QString &state)
{
    const QString cls = state.left(2);
    if (cls == QLatin1String("08") || state.startsWith(QLatin1String("57P")))
        return EngineFault::Unreachable; // no connection, or the server shutting down or restarting
    if (state == kBadAddress || state == kBadJournal || state == QLatin1String("3D000")
        || state == QLatin1String("3F000") || state == QLatin1String("42P01") || state == QLatin1String("42P06"))
        return EngineFault::CannotOpen;
    if (cls == QLatin1String("28") || state == QLatin1String("42501"))
        return EngineFault::Permission;
    if (cls == QLatin1String("22") || cls == QLatin1String("23"))
        return EngineFault::Refused; // a value too long, out of range, a unique key taken
    if (state == QLatin1String("40001") || state == QLatin1String("40P01") || state == QLatin1String("53300"))
        return EngineFault::Busy;
    if (state == QLatin1String("55P03"))
        return EngineFault::Locked;
    if (state == QLatin1String("25006"))
        return EngineFault::ReadOnly;
    if (state == QLatin1String("53100"))
        return EngineFault::Full;
    if (cls == QLatin1String("58"))
        return EngineFault::IoError;
    if (cls == QLatin1String("XX"))
        return EngineFault::Corrupt;
    return EngineFault::Other;
}

QString describeServer(const QString &state)
{
    switch (serverFault(state)) {
    case EngineFault::Unreachable: return msg::serverUnreachable();
    case EngineFault::CannotOpen:
        if (state == kBadAddress)
            return msg::sharedAddressInvalid();
        if (state == kBadJournal)
            return msg::sharedJournalNameInvalid();
        return state == QLatin1String("42P06") ? msg::sharedLogExists() : msg::sharedLogMissing();
    case EngineFault::Permission: return msg::serverNoPermission();
    case EngineFault::Refused: return msg::serverRefusedByRule();
    case EngineFault::Busy:
    case EngineFault::Locked: return msg::sharedLogBusy();
    case EngineFault::ReadOnly: return msg::sharedLogReadOnly();
    case EngineFault::Full: return msg::serverDiskFull();
    case EngineFault::IoError:
    case EngineFault::Corrupt: return msg::serverDamaged();
    default: break;
    }
    return msg::serverError().arg(state);
}

class ServerBackend : public Backend
{
public:
    QString journal;
    qint64 notified = 0; // the other connections' notifications received
    QSqlQuery direct;    // the last statement run without parameters
    bool inTransaction = false;

    EngineError toError(const QSqlError &e) const override { return serverError(e); }

    // Parameters are $1, $2... on the server (QtSql would number a ?1 as two).
    QString statementText(const Sql &sql) const override
    {
        const QString &in = sql.text();
        QString out;
        out.reserve(in.size());
        QChar quote;
        for (qsizetype i = 0; i < in.size(); ++i) {
            const QChar ch = in[i];
            if (!quote.isNull()) {
                if (ch == quote)
                    quote = QChar();
            } else if (ch == QLatin1Char('\'') || ch == QLatin1Char('"')) {
                quote = ch;
            } else if (ch == QLatin1Char('?') && i + 1 < in.size() && in[i + 1].isDigit()) {
                out += QLatin1Char('$');
                continue;
            }
            out += ch;
        }
        return out;
    }

    // Dates come back as the program stores them in a file.
    QVariant readValue(const QSqlQuery &q, int column) const override
    {
        if (const auto text = serverText(q, column); text && text->type == ServerText::Date)
            return text->isNull ? QVariant(QMetaType::fromType<QString>()) : QVariant(QString::fromLatin1(text->bytes));
        const QVariant v = q.value(column);
        if (v.typeId() == QMetaType::QDateTime && !v.isNull())
            return toStorage(v.toDateTime());
        return v;
    }

    // The server prepares the statements that read or change rows, with
    // parameters or not: the largest serial number, read under the journal's
    // lock at each store, is planned once instead of at each store (0.4 ms of
    // the server's time, during which no other station can store). The others
    // (a transaction's, a session's, a schema's) are run at once.
    static bool readsOrChangesRows(const Sql &sql)
    {
        const QString text = sql.text();
        qsizetype i = 0;
        while (i < text.size() && text.at(i).isSpace())
            ++i;
        for (const char *word : {"SELECT", "INSERT", "UPDATE", "DELETE", "WITH"})
            if (QStringView(text).mid(i).startsWith(QLatin1String(word), Qt::CaseInsensitive))
                return true;
        return false;
    }

    QSqlQuery *startOnce(const Sql &sql, const QVariantList &params)
    {
        if (!params.isEmpty() || readsOrChangesRows(sql))
            return Backend::start(sql, params);
        direct = QSqlQuery(db);
        direct.setForwardOnly(true);
        if (!direct.exec(statementText(sql))) {
            error = toError(direct.lastError());
            return nullptr;
        }
        return &direct;
    }

    // A connection lost (the server restarted, the network cut) is made
    // again by the next statement that starts outside a transaction, which
    // is then run once more: the program's changes are all made inside
    // transactions, so what failed there was a reading or a BEGIN, and
    // nothing of it was done. A transaction under way is lost with its
    // connection and fails as a whole.
    QSqlQuery *start(const Sql &sql, const QVariantList &params) override
    {
        if (pendingLock && !sendTogether(nullptr, {}, false, nullptr))
            return nullptr;
        const bool outside = !inTransaction;
        QSqlQuery *q = startOnce(sql, params);
        if (!q && outside && serverFault(sqlStateOf(error.code)) == EngineFault::Unreachable && reconnect())
            q = startOnce(sql, params);
        if (sql.text().startsWith(QLatin1String("BEGIN")))
            inTransaction = q != nullptr;
        else if (sql.text() == QLatin1String("COMMIT") || sql.text() == QLatin1String("ROLLBACK"))
            inTransaction = false; // ended either way
        return q;
    }

    // The session's setting: the journal's table named alone. (Other
    // stations' changes are heard on a connection of their own: changeCount.)
    // The server's notices (a temporary table that exists already...) are
    // not written on the program's standard error: warnings and errors only.
    bool joinJournal()
    {
        return startOnce(Sql("SET search_path TO %1").arg(Identifier(journal)), {})
               && startOnce(Sql("SET client_min_messages TO warning"), {});
    }

    bool reconnect()
    {
        statements.clear();
        own.clear();
        direct = QSqlQuery();
        db.close();
        if (!db.open()) {
            error = connectionError(db.lastError());
            return false;
        }
        ++notified; // what other stations did meanwhile was not heard
        return joinJournal();
    }

    bool hasTable(const Identifier &table) override
    {
        bool ok = false;
        const QVariant v = scalar("SELECT count(*) FROM pg_catalog.pg_tables WHERE schemaname = ?1 "
                                  "AND lower(tablename) = lower(?2)",
                                  {journal, table.name()}, &ok);
        return ok && v.toInt() > 0;
    }

    QVector<ColumnDef> tableColumns(const Identifier &table, bool *ok) override
    {
        QVector<ColumnDef> out;
        bool good = false;
        const auto rs = rows("SELECT column_name, data_type, character_maximum_length FROM information_schema.columns "
                             "WHERE table_schema = ?1 AND lower(table_name) = lower(?2) AND column_name <> 'rowid' "
                             "AND column_name <> ?3 ORDER BY ordinal_position",
                             {journal, table.name(), kStoreKey}, &good);
        if (ok)
            *ok = good;
        for (const QVariantList &r : rs)
            out << columnFromServerType(r.value(0).toString(), r.value(1).toString(), r.value(2));
        return out;
    }

    Sql tableSelect(const Identifier &table) override
    {
        QVector<Sql> columns;
        for (const ColumnDef &c : tableColumns(table, nullptr))
            columns << Identifier(c.name);
        if (columns.isEmpty())
            columns << Sql("*");
        return Sql("SELECT %1 FROM %2 ORDER BY rowid").arg(Sql::join(columns, ", "), table);
    }

    // A write transaction holds the journal's lock until it ends, as a file's
    // write transaction holds the file: what is read inside it (the largest
    // serial number) stays true until its commit, and stores come one at a
    // time. The lock's key is the journal's name hashed (FNV-1a, 64 bits).
    // BEGIN and the lock wait for the transaction's first statement and go
    // to the server with it: every wait for the server while the lock is
    // held keeps all the other stations waiting too.
    bool pendingLock = false;

    bool begin() override
    {
        if (mode == OpenMode::ReadOnly)
            return exec("BEGIN");
        pendingLock = true;
        return true;
    }

    QByteArray lockStatements() const
    {
        quint64 key = 0xCBF29CE484222325ull;
        for (char byte : journal.toUtf8())
            key = (key ^ quint8(byte)) * 0x100000001B3ull;
        return "BEGIN; SELECT pg_advisory_xact_lock(" + QByteArray::number(qint64(key)) + "); ";
    }

    bool commit() override { return std::exchange(pendingLock, false) || Backend::commit(); }

    void rollback() override
    {
        if (!std::exchange(pendingLock, false))
            Backend::rollback();
    }

    QVector<QVariantList> rows(const Sql &sql, const QVariantList &params, bool *ok) override
    {
        if (!pendingLock || !readsOrChangesRows(sql))
            return Backend::rows(sql, params, ok);
        QVector<QVariantList> out;
        const bool sent = sendTogether(&sql, params, false, &out);
        if (ok)
            *ok = sent;
        return out;
    }

    bool execAndCommit(const Sql &sql, const QVariantList &params, QVector<QVariantList> *out) override
    {
        if (!readsOrChangesRows(sql))
            return Backend::execAndCommit(sql, params, out);
        return sendTogether(&sql, params, true, out);
    }

    // Statements sent in one message, the program's own prepared statements
    // among them, are run by libpq itself: QtSql hands over one result of a
    // message only, and names its prepared statements itself.
    QHash<QString, QByteArray> own; // statement text -> name on the server
    int ownNamed = 0;

    // In one message: the lock's statements when begin() left them to send;
    // the statement (prepared first under a name of the program's own, the
    // first time it is sent), its values written as QtSql writes them; then
    // COMMIT when asked. The statement's rows in *out, its count of rows
    // changed in changes. Outside a transaction, a connection found lost
    // before the message goes (the server restarted since the last one) is
    // made again first; a message that fails because the connection was lost
    // while it went is sent again, once the connection is made again, when
    // it holds no COMMIT: the server may have committed it.
    bool sendTogether(const Sql *sql, const QVariantList &params, bool thenCommit, QVector<QVariantList> *out)
    {
        const bool outside = !inTransaction;
        const bool lockToSend = pendingLock;
        pendingLock = false;
        if (outside) {
            PGconn *conn = serverHandle(db);
            if ((!conn || PQstatus(conn) != CONNECTION_OK || !PQconsumeInput(conn)) && !reconnect())
                return false;
        }
        for (int attempt = 0;; ++attempt) {
            QByteArray text, name;
            int at = 0, prepareAt = -1, beginAt = -1, statementAt = -1, commitAt = -1;
            if (sql) {
                name = own.value(statementText(*sql));
                if (name.isEmpty()) {
                    name = "sequanel_" + QByteArray::number(++ownNamed);
                    text += "PREPARE " + name + " AS " + statementText(*sql).toUtf8() + "; ";
                    prepareAt = at++;
                }
            }
            if (lockToSend) {
                text += lockStatements();
                beginAt = at;
                at += 2;
            }
            if (sql) {
                text += "EXECUTE " + name;
                if (!params.isEmpty())
                    text += " (" + literals(params) + ')';
                text += "; ";
                statementAt = at++;
            }
            if (thenCommit) {
                text += "COMMIT";
                commitAt = at++;
            }
            const bool sent = together(text, [&](int i, const PGresult *r) {
                if (i == prepareAt)
                    own.insert(statementText(*sql), name);
                else if (i == beginAt)
                    inTransaction = true;
                else if (i == statementAt) {
                    changes = QByteArray(PQcmdTuples(const_cast<PGresult *>(r))).toInt();
                    if (out)
                        *out = rowsOf(r);
                } else if (i == commitAt)
                    inTransaction = false;
            });
            if (sent)
                return true;
            if (serverFault(sqlStateOf(error.code)) == EngineFault::Unreachable)
                inTransaction = false; // lost with its connection
            if (attempt > 0 || !outside || thenCommit || serverFault(sqlStateOf(error.code)) != EngineFault::Unreachable
                || !reconnect())
                return false;
        }
    }

    // The values as QtSql writes them in its own EXECUTE statements.
    QByteArray literals(const QVariantList &params) const
    {
        QStringList out;
        for (const QVariant &v : params) {
            QSqlField field(QString(), v.metaType());
            if (!isNullValue(v))
                field.setValue(v);
            out << db.driver()->formatValue(field);
        }
        return out.join(QStringLiteral(", ")).toUtf8();
    }

    static bool isNullValue(const QVariant &v)
    {
        if (v.isNull())
            return true;
        switch (v.typeId()) {
        case QMetaType::QString: return v.toString().isNull();
        case QMetaType::QByteArray: return v.toByteArray().isNull();
        case QMetaType::QDateTime: return !v.toDateTime().isValid();
        case QMetaType::QDate: return v.toDate().isNull();
        case QMetaType::QTime: return !v.toTime().isValid();
        default: return false;
        }
    }

    static QVector<QVariantList> rowsOf(const PGresult *r)
    {
        enum : Oid { kBool = 16, kInt8 = 20, kInt2 = 21, kInt4 = 23, kOid = 26, kFloat4 = 700, kFloat8 = 701, kNumeric = 1700 };
        QVector<QVariantList> out;
        const int columns = PQnfields(r);
        for (int row = 0; row < PQntuples(r); ++row) {
            QVariantList values;
            for (int c = 0; c < columns; ++c) {
                const QByteArray text(PQgetvalue(r, row, c), PQgetlength(r, row, c));
                const bool null = PQgetisnull(r, row, c);
                switch (PQftype(r, c)) {
                case kBool: values << (null ? QVariant(QMetaType::fromType<bool>()) : QVariant(text == "t")); break;
                case kInt2:
                case kInt4: values << (null ? QVariant(QMetaType::fromType<int>()) : QVariant(text.toInt())); break;
                case kInt8: values << (null ? QVariant(QMetaType::fromType<qlonglong>()) : QVariant(text.toLongLong())); break;
                case kOid: values << (null ? QVariant(QMetaType::fromType<qulonglong>()) : QVariant(text.toULongLong())); break;
                case kFloat4:
                case kFloat8:
                case kNumeric: values << (null ? QVariant(QMetaType::fromType<double>()) : QVariant(text.toDouble())); break;
                default: values << (null ? QVariant(QMetaType::fromType<QString>()) : QVariant(QString::fromUtf8(text)));
                }
            }
            out << values;
        }
        return out;
    }

    // Sends the statements and hands over each one's result in order; false
    // and error at the first that failed (the server runs none after it).
    bool together(const QByteArray &text, const std::function<void(int, const PGresult *)> &onResult)
    {
        PGconn *conn = serverHandle(db);
        if (!conn) {
            error = serverFailure(QStringLiteral("no connection"), kConnectionFailure);
            return false;
        }
        while (PGresult *r = PQgetResult(conn)) // what QtSql left unread
            PQclear(r);
        if (!PQsendQuery(conn, text.constData())) {
            error = serverFailure(QString::fromUtf8(PQerrorMessage(conn)).trimmed(), kConnectionFailure);
            return false;
        }
        bool ok = true;
        int i = 0;
        while (PGresult *r = PQgetResult(conn)) {
            const ExecStatusType status = PQresultStatus(r);
            if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) {
                if (ok)
                    onResult(i++, r);
            } else if (ok) {
                const char *state = PQresultErrorField(r, PG_DIAG_SQLSTATE);
                error = serverFailure(QString::fromUtf8(PQresultErrorMessage(r)).trimmed(),
                                      state ? QString::fromLatin1(state) : kConnectionFailure);
                ok = false;
            }
            PQclear(r);
        }
        return ok;
    }

    // The snapshot is taken by the first statement: what the statements read
    // stays as it was then.
    bool beginRead() override
    {
        if (!exec("BEGIN ISOLATION LEVEL REPEATABLE READ"))
            return false;
        bool ok = false;
        scalar("SELECT 1", {}, &ok);
        if (!ok)
            rollback();
        return ok;
    }

    bool forEachRow(const Sql &sql, const std::function<bool(const RowText &)> &onRow) override
    {
        QSqlQuery q(db);
        q.setForwardOnly(true);
        if (!q.exec(statementText(sql))) {
            error = toError(q.lastError());
            return false;
        }
        HeldRow held;
        const RowText row(held);
        const int n = q.record().count();
        held.values.resize(size_t(n));
        held.nulls.resize(size_t(n));
        while (q.next()) {
            for (int i = 0; i < n; ++i) {
                if (const auto text = serverText(q, i)) {
                    held.nulls[size_t(i)] = text->isNull;
                    held.values[size_t(i)] = QByteArray(text->bytes.data(), text->bytes.size());
                    continue;
                }
                const QVariant v = readValue(q, i);
                held.nulls[size_t(i)] = v.isNull();
                held.values[size_t(i)] = v.isNull() ? QByteArray() : v.toString().toUtf8();
            }
            if (!onRow(row))
                return true;
        }
        if (q.lastError().isValid()) {
            error = toError(q.lastError());
            return false;
        }
        return true;
    }

    // Notifications come on a connection of their own, opened at the first
    // question: the log's own connection may be in the middle of a result read
    // row by row (QtSql reads a forward-only result so), and libpq hands over
    // no notification until that result ends. They are read as they are asked
    // for, by libpq itself: QtSql's way needs an event loop of the connection's
    // thread. A listener opened again (the server restarted, the network came
    // back) counts as a change: what happened meanwhile was not heard. Inside
    // a transaction of the log's connection the count is not known: a commit
    // of another station just before it may not have been heard yet.
    QSqlDatabase listener;
    bool listened = false;

    ~ServerBackend() override
    {
        const QString listenerName = listener.connectionName();
        if (listener.isValid())
            listener.close();
        listener = QSqlDatabase();
        if (!listenerName.isEmpty())
            QSqlDatabase::removeDatabase(listenerName);
    }

    qint64 changeCount() override
    {
        if (inTransaction || pendingLock)
            return -1;
        if (!listener.isValid())
            listener = QSqlDatabase::cloneDatabase(db, name + QStringLiteral("-listener"));
        PGconn *conn = listener.isOpen() ? serverHandle(listener) : nullptr;
        if (!conn || PQstatus(conn) != CONNECTION_OK) {
            listener.close();
            QSqlQuery listen(listener);
            if (!listener.open() || !listen.exec(QStringLiteral("LISTEN ") + quoteIdentifier(journal)))
                return -1;
            conn = serverHandle(listener);
            if (std::exchange(listened, true))
                ++notified;
        }
        if (!conn || !PQconsumeInput(conn))
            return -1;
        // As on a file, the connection's own changes do not count.
        PGconn *own = serverHandle(db);
        const int ownPid = own ? PQbackendPID(own) : 0;
        while (PGnotify *n = PQnotifies(conn)) {
            if (n->be_pid != ownPid)
                ++notified;
            PQfreemem(n);
        }
        return notified;
    }

    // A shared log's survey: a leaf for each chunk of rowids, its hash the
    // version the journal's triggers gave the chunk at its latest change, and
    // one leaf over every rowid whose version changes when the table is
    // emptied at once. Read in the reading's snapshot, it holds what the rows
    // read hold, the connection's own changes included. A journal without
    // versions has no survey: each change is then a whole reading.
    std::optional<TableSurvey> surveyTable(const Identifier &table) override
    {
        // (Asked so that a missing table is no error: an error would end the
        // reading's transaction.)
        bool ok = false;
        const QString schema = quoteIdentifier(journal) + QLatin1Char('.');
        const QVariantList oids = rows("SELECT CAST(to_regclass(?1) AS oid), CAST(to_regclass(?2) AS oid)",
                                       {schema + quoteIdentifier(table.name()), schema + QLatin1String(kVersionsTable)}, &ok)
                                      .value(0);
        if (!ok || oids.value(0).isNull() || oids.value(1).isNull())
            return std::nullopt;
        const auto versions = rows(Sql("SELECT chunk, version FROM sequanel_versions ORDER BY chunk"), {}, &ok);
        if (!ok || versions.isEmpty())
            return std::nullopt;
        TableSurvey survey;
        survey.layout = oids.value(0).toULongLong();
        for (const QVariantList &v : versions) {
            const qint64 chunk = v.value(0).toLongLong();
            TableSurvey::Part leaf;
            leaf.place = quint32(chunk + 1);
            leaf.fingerprint = v.value(1).toULongLong();
            leaf.first = chunk < 0 ? 0 : chunk * kVersionChunk;
            leaf.last = chunk < 0 ? std::numeric_limits<qint64>::max() : leaf.first + kVersionChunk - 1;
            survey.parts.push_back(leaf);
        }
        return survey;
    }

    // The server's cast refuses anything else, and a bigint has 18 digits.
    Sql isPlainNumber(const Identifier &column) const override
    {
        return Sql("(%1 ~ '^[1-9][0-9]{0,14}$' OR %1 = '0')").arg(column);
    }

    QString storeKeyColumn() const override { return kStoreKey; }
    bool indexesSerials() const override { return true; }

    std::optional<qint64> lastInsertedRowid() override
    {
        bool ok = false;
        const qint64 v = scalar("SELECT lastval()", {}, &ok).toLongLong();
        return ok && v != 0 ? std::optional(v) : std::nullopt;
    }
};

namespace {

// Connects to the server's base; nullptr and *error set on failure.
std::unique_ptr<ServerBackend> connectServer(const QString &address, OpenMode mode, EngineError *error,
                                             ServerAddress *parsed)
{
    auto fail = [&](const EngineError &e) -> std::unique_ptr<ServerBackend> {
        if (error)
            *error = e;
        return nullptr;
    };
    QString problem;
    const auto a = parseAddress(address, &problem);
    if (!a)
        return fail(serverFailure(QStringLiteral("not a shared log's address"), problem));
    *parsed = *a;
    auto c = std::make_unique<ServerBackend>();
    c->name = newConnectionName();
    c->path = a->shown;
    c->mode = mode;
    c->journal = a->journal;
    c->db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), c->name);
    if (!c->db.isValid())
        return fail(EngineError{QStringLiteral("QtSql's PostgreSQL driver is missing"), 0});
    c->db.setHostName(a->host);
    if (a->port > 0)
        c->db.setPort(a->port);
    c->db.setUserName(a->user);
    // Kept by the driver alone, never in the log's name: the address's own,
    // else one typed in this session, else libpq's password file.
    c->db.setPassword(a->password.isEmpty() ? serverPassword(a->shown) : a->password);
    c->db.setDatabaseName(a->base);
    // libpq's own TLS setting stays "prefer" unless the address says otherwise.
    // Over TCP, a peer gone without a word (a cable pulled, a machine off) is
    // told within about 20 s, not after the system's retransmissions (a
    // quarter of an hour): data unacknowledged for 15 s, or an idle
    // connection unanswered to three probes 5 s apart after 10 s, ends it.
    // (libpq leaves these aside on a Unix socket.)
    c->db.setConnectOptions((QStringList{QStringLiteral("connect_timeout=10"),
                                         QStringLiteral("application_name=sequanel"),
                                         QStringLiteral("tcp_user_timeout=15000"), QStringLiteral("keepalives_idle=10"),
                                         QStringLiteral("keepalives_interval=5"), QStringLiteral("keepalives_count=3")}
                             + a->options)
                                .join(QLatin1Char(';')));
    if (!c->db.open())
        return fail(connectionError(c->db.lastError()));
    return c;
}

} // namespace

QString logDisplayName(const QString &name)
{
    QString problem;
    const auto a = isServerAddress(name) ? parseAddress(name, &problem) : std::nullopt;
    if (!a)
        return name;
    const QString host = a->host.contains(QLatin1Char(':')) ? QLatin1Char('[') + a->host + QLatin1Char(']') : a->host;
    return host + (a->port > 0 ? QLatin1Char(':') + QString::number(a->port) : QString()) + QLatin1Char('/') + a->base
           + QLatin1Char('/') + a->journal;
}

std::unique_ptr<Backend> openServer(const QString &address, OpenMode mode, EngineError *error)
{
    ServerAddress a;
    auto c = connectServer(address, mode, error, &a);
    if (!c)
        return nullptr;
    auto fail = [&](const EngineError &e) -> std::unique_ptr<Backend> {
        if (error)
            *error = e;
        return nullptr;
    };
    bool ok = false;
    const int schemas =
        c->scalar("SELECT count(*) FROM pg_catalog.pg_namespace WHERE nspname = ?1", {a.journal}, &ok).toInt();
    if (!ok)
        return fail(c->error);
    if (schemas == 0)
        return fail(serverFailure(QStringLiteral("no such journal"), QStringLiteral("3F000")));
    // (A read-only opening is not made a read-only session: that would
    // refuse the temporary tables a reading keeps its bounds in.)
    if (!c->joinJournal())
        return fail(c->error);
    return c;
}

bool createServer(const QString &address, const TableDef &table, EngineError *error)
{
    ServerAddress a;
    auto c = connectServer(address, OpenMode::ReadWrite, error, &a);
    if (!c)
        return false;
    const QString schema = quoteIdentifier(a.journal);
    const QString qualified = schema + QLatin1Char('.') + quoteIdentifier(table.name);
    const QString versions = QLatin1String(kVersionsTable);
    QStringList columns{QStringLiteral("rowid bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY")};
    for (const ColumnDef &col : table.columns)
        columns << quoteIdentifier(col.name) + QLatin1Char(' ') + serverType(col);
    columns << quoteIdentifier(kStoreKey) + QStringLiteral(" uuid UNIQUE");
    // In one transaction: a journal is made whole or not at all.
    const QStringList statements = {
        QStringLiteral("BEGIN"),
        QStringLiteral("CREATE SCHEMA %1").arg(schema),
        QStringLiteral("CREATE TABLE %1 (%2)").arg(qualified, columns.join(QStringLiteral(", "))),
        QStringLiteral("CREATE FUNCTION %1.sequanel_changed() RETURNS trigger LANGUAGE plpgsql AS "
                       "$$BEGIN PERFORM pg_notify(TG_TABLE_SCHEMA, ''); RETURN NULL; END$$")
            .arg(schema),
        QStringLiteral("CREATE TRIGGER sequanel_changed AFTER INSERT OR UPDATE OR DELETE OR TRUNCATE ON %1 "
                       "FOR EACH STATEMENT EXECUTE FUNCTION %2.sequanel_changed()")
            .arg(qualified, schema),
        // Each statement gives the chunks of rowids it changed a new version,
        // its transaction's number (one upsert per chunk, not per row: a copy
        // stays fast; no sequence either, which would move the session's
        // lastval()); emptying the table changes the version of chunk -1,
        // which stands for all.
        QStringLiteral("CREATE TABLE %1.%2 (chunk bigint PRIMARY KEY, version bigint NOT NULL)").arg(schema, versions),
        QStringLiteral("INSERT INTO %1.%2 VALUES (-1, 0)").arg(schema, versions),
        QStringLiteral("CREATE FUNCTION %1.sequanel_chunks() RETURNS trigger LANGUAGE plpgsql AS $$"
                       "DECLARE v bigint := CAST(CAST(pg_current_xact_id() AS text) AS bigint); BEGIN "
                       "IF TG_OP = 'TRUNCATE' THEN UPDATE %1.%2 SET version = v WHERE chunk = -1; RETURN NULL; END IF; "
                       "IF TG_OP <> 'INSERT' THEN INSERT INTO %1.%2 SELECT DISTINCT rowid / %3, v FROM old_rows "
                       "ON CONFLICT (chunk) DO UPDATE SET version = v; END IF; "
                       "IF TG_OP <> 'DELETE' THEN INSERT INTO %1.%2 SELECT DISTINCT rowid / %3, v FROM new_rows "
                       "ON CONFLICT (chunk) DO UPDATE SET version = v; END IF; "
                       "RETURN NULL; END$$")
            .arg(schema, versions).arg(kVersionChunk),
        QStringLiteral("CREATE TRIGGER sequanel_added AFTER INSERT ON %1 REFERENCING NEW TABLE AS new_rows "
                       "FOR EACH STATEMENT EXECUTE FUNCTION %2.sequanel_chunks()").arg(qualified, schema),
        QStringLiteral("CREATE TRIGGER sequanel_changed_rows AFTER UPDATE ON %1 REFERENCING OLD TABLE AS old_rows "
                       "NEW TABLE AS new_rows FOR EACH STATEMENT EXECUTE FUNCTION %2.sequanel_chunks()").arg(qualified, schema),
        QStringLiteral("CREATE TRIGGER sequanel_deleted AFTER DELETE ON %1 REFERENCING OLD TABLE AS old_rows "
                       "FOR EACH STATEMENT EXECUTE FUNCTION %2.sequanel_chunks()").arg(qualified, schema),
        QStringLiteral("CREATE TRIGGER sequanel_emptied AFTER TRUNCATE ON %1 "
                       "FOR EACH STATEMENT EXECUTE FUNCTION %2.sequanel_chunks()").arg(qualified, schema),
        QStringLiteral("COMMIT"),
    };
    for (const QString &sql : statements) {
        QSqlQuery q(c->db);
        if (!q.exec(sql)) {
            if (error)
                *error = serverError(q.lastError());
            QSqlQuery(c->db).exec(QStringLiteral("ROLLBACK"));
            return false;
        }
    }
    return true;
}

bool removeServer(const QString &address)
{
    ServerAddress a;
    auto c = connectServer(address, OpenMode::ReadWrite, nullptr, &a);
    return c && QSqlQuery(c->db).exec(QStringLiteral("DROP SCHEMA %1 CASCADE").arg(quoteIdentifier(a.journal)));
}

} // namespace platform
