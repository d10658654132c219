// Shared logs on a PostgreSQL server, through libpq.
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
//
// Every statement is prepared once for its connection under a name of the
// program's own and run with its values as parameters; the statements of
// one exchange (a store: BEGIN, the journal's lock, the INSERT, COMMIT) go
// to the server together in libpq's pipeline mode, and their answers come
// back together. The connection's socket is never waited on for longer than
// the server's silence allows (answerTimeoutMs), nor once the link of the
// process to the server is known lost (ServerLink): a connection lost is
// made again by the link's thread, and taken at the next statement.
#include "EngineBackend.h"
#include "Messages.h"
#include "Regional.h"
#include "ServerLink.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <deque>
#include <libpq-fe.h>
#include <poll.h>
#include <utility>

namespace platform {

namespace {

// Statements of this thread waiting for their answers with the thread's
// events running.
thread_local int t_waiting = 0;
// The event loop's level where the innermost EventsWhileWaiting of this
// thread was made; -1: none, or its events are running.
thread_local int t_eventsLevel = -1;

const QString kStoreKey = QStringLiteral("CleEnregistrement");
// The versions of a journal's chunks of rowids, and a chunk's size.
const char *const kVersionsTable = "sequanel_versions";
constexpr qint64 kVersionChunk = 1024;

// The journal's name hashed (FNV-1a, 64 bits): the key of its lock, and
// (its low half) of its stations' reserved serial numbers.
qint64 journalKey(const QString &journal)
{
    quint64 key = 0xCBF29CE484222325ull;
    for (char byte : journal.toUtf8())
        key = (key ^ quint8(byte)) * 0x100000001B3ull;
    return qint64(key);
}
qint32 reservationKey(const QString &journal) { return qint32(quint32(quint64(journalKey(journal)))); }

// A statement's text for the server: its parameters are $1, $2...
QByteArray serverText(const Sql &sql)
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
    return out.toUtf8();
}

// A value as the text of a parameter; nothing for a null.
std::optional<QByteArray> parameterText(const QVariant &v)
{
    if (!v.isValid() || v.isNull())
        return std::nullopt;
    switch (v.typeId()) {
    case QMetaType::Bool: return QByteArray(v.toBool() ? "t" : "f");
    case QMetaType::Double:
    case QMetaType::Float: return QByteArray::number(v.toDouble(), 'g', 17);
    case QMetaType::QDateTime: return toStorage(v.toDateTime()).toUtf8();
    case QMetaType::QByteArray: return v.toByteArray();
    case QMetaType::QString:
        if (v.toString().isNull())
            return std::nullopt;
        return v.toString().toUtf8();
    default: return v.toString().toUtf8();
    }
}

// The server's type of a value: whole numbers, reals and booleans typed
// (a function with several forms then knows which); a text left for the
// server to read in the place it stands (a date in a date column).
Oid parameterType(const QVariant &v)
{
    switch (v.typeId()) {
    case QMetaType::Bool: return 16;
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Int: return 23;
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong: return 20;
    case QMetaType::Float:
    case QMetaType::Double: return 701;
    default: return 0;
    }
}

// A value of a result as the program stores it: whole numbers and
// booleans as numbers, every other (a date too, in the ISO form the
// session asks for, the program's own) as text.
QVariant valueOf(const PGresult *r, int row, int column)
{
    enum : Oid { kBool = 16, kInt8 = 20, kInt2 = 21, kInt4 = 23, kOid = 26, kFloat4 = 700, kFloat8 = 701, kNumeric = 1700 };
    const bool null = PQgetisnull(r, row, column);
    const QByteArray text = null ? QByteArray() : QByteArray(PQgetvalue(r, row, column), PQgetlength(r, row, column));
    switch (PQftype(r, column)) {
    case kBool: return null ? QVariant(QMetaType::fromType<bool>()) : QVariant(text == "t");
    case kInt2:
    case kInt4: return null ? QVariant(QMetaType::fromType<int>()) : QVariant(text.toInt());
    case kInt8: return null ? QVariant(QMetaType::fromType<qlonglong>()) : QVariant(text.toLongLong());
    case kOid: return null ? QVariant(QMetaType::fromType<qulonglong>()) : QVariant(text.toULongLong());
    case kFloat4:
    case kFloat8:
    case kNumeric: return null ? QVariant(QMetaType::fromType<double>()) : QVariant(text.toDouble());
    default: return null ? QVariant(QMetaType::fromType<QString>()) : QVariant(QString::fromUtf8(text));
    }
}

// A row of a result, read in place.
class ResultRow : public RowSource
{
public:
    const PGresult *result = nullptr;
    int columnCount() const override { return PQnfields(result); }
    bool isNull(int column) const override { return PQgetisnull(result, 0, column); }
    QByteArrayView text(int column) const override
    {
        return QByteArrayView(PQgetvalue(result, 0, column), PQgetlength(result, 0, column));
    }
};

struct ResultDeleter {
    void operator()(PGresult *r) const { PQclear(r); }
};
using Result = std::unique_ptr<PGresult, ResultDeleter>;

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
    if (state == state::BadAddress || state == state::BadJournal || state == QLatin1String("3D000")
        || state == QLatin1String("3F000") || state == QLatin1String("42P01") || state == QLatin1String("42P06"))
        return EngineFault::CannotOpen;
    if (cls == QLatin1String("28") || state == QLatin1String("42501") || state == state::NotReadable
        || state == state::Tls)
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
    case EngineFault::Unreachable: return state == state::Unknown ? msg::serverAnswerLost() : msg::serverUnreachable();
    case EngineFault::CannotOpen:
        if (state == state::BadAddress)
            return msg::sharedAddressInvalid();
        if (state == state::BadJournal)
            return msg::sharedJournalNameInvalid();
        return state == QLatin1String("42P06") ? msg::sharedLogExists() : msg::sharedLogMissing();
    case EngineFault::Permission:
        if (state == state::NotReadable)
            return msg::sharedLogNotReadable();
        return state == state::Tls ? msg::serverTlsRefused() : msg::serverNoPermission();
    case EngineFault::Refused: return msg::serverRefusedByRule();
    case EngineFault::Busy:
    case EngineFault::Locked: return msg::sharedLogBusy();
    case EngineFault::ReadOnly: return msg::sharedLogReadOnly();
    case EngineFault::Full: return msg::serverDiskFull();
    case EngineFault::IoError:
    case EngineFault::Corrupt: return msg::serverDamaged();
    default: break;
    }
    return state == state::Client ? msg::serverClientError() : msg::serverError().arg(state);
}

bool answerLost(const EngineError &error) { return sqlStateOf(error.code) == state::Unknown; }
int lostAnswerCode() { return serverCode(state::Unknown); }
bool passwordRefused(const EngineError &error) { return sqlStateOf(error.code) == state::NeedsPassword; }
bool journalMissing(const EngineError &error) { return sqlStateOf(error.code) == QLatin1String("3F000"); }

class ServerRows;

class ServerBackend : public Backend
{
public:
    ServerAddress address;
    std::shared_ptr<ServerLink> serverLink;
    std::shared_ptr<ServerLink::Slot> slot;
    PGconn *conn = nullptr; // none while a lost one is being made again

    // The transaction under way: none; begun by begin() but not sent yet
    // (BEGIN and the journal's lock go with its first statement, so that no
    // wait for the server comes while the lock is held); open on the server;
    // or lost with its connection (its statements fail until it is ended).
    enum class Tx { None, Pending, Open, Lost } tx = Tx::None;

    QHash<QByteArray, QByteArray> names; // statement text -> its name on this connection
    int named = 0;
    qint64 reconnections = 0;      // connections taken since the first
    std::optional<qint64> reserved; // the serial number this session holds
    ServerRows *streaming = nullptr; // a cursor reading its rows on the connection
    bool waiting = false;            // for an answer, with the thread's events running
    // The server's process of the connection's session (kept: libpq no longer
    // gives it once the connection is lost), those of the station's
    // connections given up (see endOrphans), and whether the number reserved
    // must be taken again on the new connection.
    int pid = 0;
    std::vector<int> orphans;
    bool endingOrphans = false, retakeReservation = false;

    ~ServerBackend() override;

    // -------------------------------------------------------- the connection

    // The connection to use, made again by the link when it was lost: false
    // (and error) when there is none, at once.
    bool connection()
    {
        if (waiting) // (asked from an event run while this connection waits)
            return failed(QStringLiteral("the connection is busy with another statement"), state::Client);
        if (tx == Tx::Lost)
            return failed(QStringLiteral("the transaction was lost with its connection"), state::Unreachable);
        if (serverLink->isDown())
            return failed(QStringLiteral("the server does not answer"), state::Unreachable);
        PGconn *now = serverLink->renew(*slot, conn);
        if (now != conn) { // (the one given up, lost or dropped by the link)
            if (pid > 0 && slot->purpose == Purpose::Station)
                orphans.push_back(pid);
            conn = now;
            pid = conn ? PQbackendPID(conn) : 0;
            names.clear();
            ++reconnections;
            retakeReservation = true; // (it ended with the session)
            if (tx == Tx::Open)
                tx = Tx::Lost;
            if (tx == Tx::Lost)
                return failed(QStringLiteral("the transaction was lost with its connection"), state::Unreachable);
        }
        if (!conn)
            return failed(QStringLiteral("no connection to the server"), state::Unreachable);
        if (endingOrphans)
            return true;
        if (!orphans.empty() && !endOrphans())
            return false;
        if (std::exchange(retakeReservation, false) && reserved && tx == Tx::None)
            reserveNow(*reserved);
        return true;
    }

    // A connection cut is not a session ended: the server may still hold
    // what this station sent before the cut (a store received whole whose
    // answer was lost) and run it later, after the stores made since on a
    // new connection, putting an old change back over a newer one; it may
    // also still hold the journal's lock, or the number reserved. Such
    // sessions are ended, and waited for, before the new connection does
    // anything: what they did is then settled, and the next try sees it.
    bool endOrphans()
    {
        QStringList pids;
        for (int orphan : orphans)
            pids << QString::number(orphan);
        const Step ask = step("SELECT count(pg_catalog.pg_terminate_backend(pid)) FROM pg_catalog.pg_stat_activity "
                              "WHERE pid = ANY(CAST(?1 AS integer[])) AND usename = current_user",
                              {QStringLiteral("{%1}").arg(pids.join(QLatin1Char(',')))});
        endingOrphans = true;
        QElapsedTimer waited;
        waited.start();
        bool ok = true;
        qint64 left = 0;
        for (bool first = true;; first = false) {
            std::vector<Step> steps;
            if (!first) // (given time to end)
                steps.push_back(step("SELECT pg_catalog.pg_sleep(0.01)"));
            steps.push_back(ask);
            ok = exchange(steps, [&](size_t i, const PGresult *r) {
                if (i + 1 == steps.size())
                    left = QByteArray(PQgetvalue(r, 0, 0)).toLongLong();
            }, false);
            if (!ok || left == 0 || waited.elapsed() > answerTimeoutMs())
                break;
        }
        endingOrphans = false;
        if (ok && left > 0)
            return failed(QStringLiteral("a lost session of this station is still running on the server"), state::Unreachable);
        if (!ok && !conn)
            return false; // (lost again: ended from the next connection)
        // Ended, or the question refused by the server: nothing more can be
        // done for them.
        orphans.clear();
        error = {};
        return true;
    }

    bool failed(const QString &text, const QString &sqlState)
    {
        error = serverFailure(text, sqlState);
        return false;
    }

    // The connection lost while an exchange went: given up, and asked for
    // again. commitSent: a commit went without its answer, so whether it was
    // made is not known.
    bool lost(bool commitSent)
    {
        const QString text = conn ? QString::fromUtf8(PQerrorMessage(conn)).trimmed() : QString();
        PQfinish(conn);
        conn = nullptr;
        names.clear();
        if (tx == Tx::Open || tx == Tx::Pending)
            tx = Tx::Lost;
        serverLink->renew(*slot, nullptr);
        return failed(text.isEmpty() ? QStringLiteral("no answer from the server") : text,
                      commitSent ? state::Unknown : state::Unreachable);
    }

    // Waits until the socket is ready for events; false when the server
    // says nothing for the answer time, or the link is known lost. For a
    // command of the window (EventsWhileWaiting), the window's events run
    // meanwhile, all but the operator's input: a window whose server went
    // silent still paints and tells the link's state while the link's
    // thread finds it lost.
    bool wait(short events)
    {
        QElapsedTimer quiet;
        quiet.start();
        pollfd p{PQsocket(conn), events, 0};
        const QCoreApplication *app = QCoreApplication::instance();
        const bool loop = app && t_eventsLevel >= 0 && QThread::currentThread() == app->thread()
                          && QThread::currentThread()->loopLevel() == t_eventsLevel;
        struct Mark {
            bool &on;
            const bool events;
            Mark(bool &b, bool e) : on(b), events(e) { on = true, t_waiting += events; }
            ~Mark() { on = false, t_waiting -= events; }
        } mark(waiting, loop);
        for (;;) {
            if (serverLink->isDown())
                return false;
            const int n = ::poll(&p, 1, loop ? 5 : 50);
            if (n > 0)
                return true;
            if ((n < 0 && errno != EINTR) || quiet.elapsed() > answerTimeoutMs())
                return false;
            if (loop) {
                const int level = std::exchange(t_eventsLevel, -1); // (their statements wait without)
                QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
                t_eventsLevel = level;
            }
        }
    }

    bool flush()
    {
        for (int r; (r = PQflush(conn)) != 0;)
            if (r < 0 || !wait(POLLIN | POLLOUT) || !PQconsumeInput(conn))
                return false;
        return true;
    }

    // The next result, waited for; nullptr at the end of a statement's
    // results (and *gone when the connection was lost instead).
    PGresult *next(bool *gone)
    {
        while (PQisBusy(conn))
            if (!wait(POLLIN) || !PQconsumeInput(conn)) {
                *gone = true;
                return nullptr;
            }
        PGresult *r = PQgetResult(conn);
        *gone = !r && PQstatus(conn) != CONNECTION_OK;
        return r;
    }

    // A failed result's error: the server's SQLSTATE; without one, the
    // connection lost, or a failure of the client library itself.
    EngineError errorOf(const PGresult *r) const
    {
        const char *sqlState = PQresultErrorField(r, PG_DIAG_SQLSTATE);
        const QString text = QString::fromUtf8(PQresultErrorMessage(r)).trimmed();
        if (sqlState)
            return serverFailure(text, QString::fromLatin1(sqlState));
        return serverFailure(text, PQstatus(conn) == CONNECTION_OK ? state::Client : state::Unreachable);
    }

    // -------------------------------------------------------- exchanges

    struct Step {
        QByteArray text; // $-numbered
        QVariantList params;
        bool run = true; // false: prepared only
        std::vector<Oid> types() const
        {
            std::vector<Oid> out;
            for (const QVariant &v : params)
                out.push_back(parameterType(v));
            return out;
        }
        // A statement is prepared for the types of its values.
        QByteArray key() const
        {
            const std::vector<Oid> t = types();
            return text + '\0' + QByteArray(reinterpret_cast<const char *>(t.data()), qsizetype(t.size() * sizeof(Oid)));
        }
    };

    // The name of a step's statement on this connection, and whether it
    // must be prepared first.
    QByteArray nameOf(const Step &step, bool *fresh)
    {
        QByteArray name = names.value(step.key());
        *fresh = name.isEmpty();
        if (*fresh)
            name = "sequanel_" + QByteArray::number(++named);
        return name;
    }

    bool sendStep(const QByteArray &name, const Step &step)
    {
        std::vector<QByteArray> held;
        std::vector<const char *> values;
        held.reserve(size_t(step.params.size()));
        for (const QVariant &v : step.params) {
            const auto text = parameterText(v);
            held.push_back(text.value_or(QByteArray()));
            values.push_back(text ? held.back().constData() : nullptr);
        }
        return PQsendQueryPrepared(conn, name.constData(), int(values.size()), values.data(), nullptr, nullptr, 0);
    }

    // The steps sent together, each prepared first when this connection has
    // not prepared it yet, and their answers read: onResult gets each run
    // step's result, in order. False, with error, at the first that failed
    // (the server runs none after it).
    bool exchange(const std::vector<Step> &steps, const std::function<void(size_t, const PGresult *)> &onResult,
                  bool commits)
    {
        for (const Step &s : steps)
            if (s.params.size() > 65535) // libpq's limit: refused before anything goes
                return failed(QStringLiteral("number of parameters must be between 0 and 65535"), state::Client);
        if (!connection())
            return false;
        finishStreaming();
        struct Expected {
            size_t step;
            QByteArray prepared; // the name a Parse gives, for a Parse
        };
        std::vector<Expected> expected;
        bool ok = PQenterPipelineMode(conn);
        for (size_t i = 0; ok && i < steps.size(); ++i) {
            bool fresh = false;
            const QByteArray name = nameOf(steps[i], &fresh);
            if (fresh) {
                const std::vector<Oid> types = steps[i].types();
                ok = PQsendPrepare(conn, name.constData(), steps[i].text.constData(), int(types.size()), types.data());
                expected.push_back({i, name});
            }
            if (ok && steps[i].run) {
                ok = sendStep(name, steps[i]);
                expected.push_back({i, {}});
            }
        }
        ok = ok && PQpipelineSync(conn);
        if (!ok) // (the statements queued before cannot be taken back: the connection goes)
            return lost(false);
        if (!flush())
            return lost(commits);
        EngineError first;
        bool gone = false;
        for (const Expected &e : expected) {
            Result r(next(&gone));
            // The first statement sent after a stream may come row by row:
            // libpq 15 keeps the single-row mode of the stream's statement
            // for the first statement of a pipeline. Its rows are taken one
            // result at a time, as the last one ends it.
            while (r && PQresultStatus(r.get()) == PGRES_SINGLE_TUPLE) {
                if (e.prepared.isEmpty() && onResult)
                    onResult(e.step, r.get());
                r.reset(next(&gone));
            }
            if (!r)
                return lost(commits);
            const ExecStatusType status = PQresultStatus(r.get());
            if (status == PGRES_FATAL_ERROR) {
                if (!first.isSet())
                    first = errorOf(r.get());
            } else if (status != PGRES_PIPELINE_ABORTED) {
                if (!e.prepared.isEmpty())
                    names.insert(steps[e.step].key(), e.prepared);
                else if (onResult)
                    onResult(e.step, r.get());
            }
            if (Result end{next(&gone)}; end || gone) // each step's results end with nothing
                return lost(commits);
        }
        Result sync(next(&gone));
        if (!sync || PQresultStatus(sync.get()) != PGRES_PIPELINE_SYNC || !PQexitPipelineMode(conn))
            return lost(commits);
        // The transaction as the server has it now.
        const PGTransactionStatusType server = PQtransactionStatus(conn);
        if (server == PQTRANS_INTRANS || server == PQTRANS_INERROR)
            tx = Tx::Open;
        else if (tx == Tx::Open)
            tx = Tx::None;
        if (first.isSet()) {
            error = first;
            if (sqlStateOf(first.code) == state::Unreachable || sqlStateOf(first.code) == state::Client)
                return lost(commits && sqlStateOf(first.code) == state::Unreachable);
            return false;
        }
        return true;
    }

    Step step(const Sql &sql, const QVariantList &params = {}) const { return Step{serverText(sql), params}; }

    // BEGIN and the journal's lock, put before a transaction's first statement.
    void opening(std::vector<Step> &steps) const
    {
        if (tx != Tx::Pending)
            return;
        steps.insert(steps.begin(), {step("BEGIN"), step("SELECT pg_advisory_xact_lock(?1)", {journalKey(address.journal)})});
    }

    // One statement (inside a transaction begun, with what opens it), its
    // rows in *out and its count of rows changed in changes. A statement
    // whose prepared form the server no longer knows (26000) is sent once
    // more, prepared again, when nothing of a transaction was lost with it.
    bool statement(const Sql &sql, const QVariantList &params, QVector<QVariantList> *out, bool thenCommit)
    {
        for (int attempt = 0;; ++attempt) {
            std::vector<Step> steps{step(sql, params)};
            const bool opens = tx == Tx::Pending, wasOpen = tx == Tx::Open;
            opening(steps);
            const size_t at = steps.size() - 1;
            if (thenCommit && tx != Tx::None)
                steps.push_back(step("COMMIT"));
            changes = 0;
            if (out)
                out->clear();
            const bool ok = exchange(
                steps,
                [&](size_t i, const PGresult *r) {
                    if (i != at)
                        return;
                    changes = QByteArray(PQcmdTuples(const_cast<PGresult *>(r))).toInt();
                    if (out) {
                        for (int row = 0; row < PQntuples(r); ++row) {
                            QVariantList values;
                            for (int c = 0; c < PQnfields(r); ++c)
                                values << valueOf(r, row, c);
                            *out << values;
                        }
                    }
                },
                thenCommit);
            if (ok && thenCommit)
                tx = Tx::None;
            if (ok)
                return true;
            if (sqlStateOf(error.code) != QLatin1String("26000") || attempt > 0 || wasOpen)
                return false;
            names.clear();
            if (opens) {
                rollback();
                tx = Tx::Pending;
            }
        }
    }

    // -------------------------------------------------------- Backend

    bool exec(const Sql &sql, const QVariantList &params) override { return statement(sql, params, nullptr, false); }

    QVector<QVariantList> rows(const Sql &sql, const QVariantList &params, bool *ok) override
    {
        QVector<QVariantList> out;
        const bool good = statement(sql, params, &out, false);
        if (ok)
            *ok = good;
        return out;
    }

    bool execAndCommit(const Sql &sql, const QVariantList &params, QVector<QVariantList> *out) override
    {
        return statement(sql, params, out, true);
    }

    bool begin() override
    {
        tx = Tx::Pending;
        return true;
    }

    // The snapshot is taken by the first statement: what the statements read
    // stays as it was then.
    bool beginRead() override
    {
        if (exchange({step("BEGIN ISOLATION LEVEL REPEATABLE READ"), step("SELECT 1")}, {}, false))
            return true;
        rollback();
        return false;
    }

    bool end(const Sql &sql)
    {
        const Tx was = std::exchange(tx, Tx::None);
        if (was == Tx::Pending || was == Tx::None)
            return true;
        if (was == Tx::Lost)
            return failed(QStringLiteral("the transaction was lost with its connection"), state::Unreachable);
        tx = Tx::Open;
        const bool ok = exchange({step(sql)}, {}, sql.text() == QLatin1String("COMMIT"));
        tx = Tx::None; // (lost with its connection: over either way)
        return ok;
    }

    bool commit() override { return end("COMMIT"); }

    void rollback() override
    {
        const EngineError keep = error;
        end("ROLLBACK");
        error = keep;
    }

    bool forEachRow(const Sql &sql, const std::function<bool(const RowText &)> &onRow) override;
    std::unique_ptr<RowStream> stream(const Sql &sql, const QVariantList &params) override;
    void finishStreaming();

    // -------------------------------------------------------- the journal

    bool hasTable(const Identifier &table) override
    {
        bool ok = false;
        const QVariant v = scalar("SELECT count(*) FROM pg_catalog.pg_tables WHERE schemaname = ?1 "
                                  "AND lower(tablename) = lower(?2)",
                                  {address.journal, table.name()}, &ok);
        return ok && v.toInt() > 0;
    }

    QVector<ColumnDef> tableColumns(const Identifier &table, bool *ok) override
    {
        QVector<ColumnDef> out;
        bool good = false;
        const auto rs = rows("SELECT column_name, data_type, character_maximum_length FROM information_schema.columns "
                             "WHERE table_schema = ?1 AND lower(table_name) = lower(?2) AND column_name <> 'rowid' "
                             "AND column_name <> ?3 ORDER BY ordinal_position",
                             {address.journal, table.name(), kStoreKey}, &good);
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

    // The other stations' changes, heard by the link; the connection's own
    // do not count, as on a file, and a connection made again counts as a
    // change (what happened meanwhile was not heard). Inside a transaction
    // the count is not known: a commit of another station just before it
    // may not have been heard yet.
    qint64 changeCount() override
    {
        if (tx != Tx::None)
            return -1;
        const qint64 heard = serverLink->changesHeard(conn ? PQbackendPID(conn) : 0);
        return heard < 0 ? -1 : heard + reconnections;
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
        const QString schema = quoteIdentifier(address.journal) + QLatin1Char('.');
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

    LinkState link() const override
    {
        LinkState s = serverLink->state();
        if (conn) { // what this connection is, whatever the listener's
            const char *host = PQhost(conn);
            s.encrypted = PQsslInUse(conn);
            s.network = host && host[0] != '/';
        }
        return s;
    }

    // -------------------------------------------------------- reservations

    // A session's advisory lock of two keys: the journal's and the number.
    bool reserveNow(qint64 number)
    {
        QVector<QVariantList> out;
        const bool ok = statement("SELECT pg_try_advisory_lock(CAST(?1 AS integer), CAST(?2 AS integer)) "
                                  "FROM (SELECT pg_advisory_unlock_all()) AS released",
                                  {reservationKey(address.journal), number}, &out, false);
        return ok && out.value(0).value(0).toBool();
    }

    std::optional<bool> reserve(qint64 number) override
    {
        if (number <= 0 || number > std::numeric_limits<qint32>::max())
            return true; // no number the column holds
        reserved.reset();
        error = {};
        const bool taken = reserveNow(number);
        if (error.isSet())
            return std::nullopt;
        if (taken)
            reserved = number;
        return taken;
    }

    void releaseReservations() override
    {
        if (std::exchange(reserved, std::nullopt) && conn && !serverLink->isDown())
            statement("SELECT pg_advisory_unlock_all()", {}, nullptr, false);
    }

    Sql reservations() const
    {
        return Sql("FROM pg_catalog.pg_locks WHERE locktype = 'advisory' AND objsubid = 2 AND classid = CAST(%1 AS oid) "
                   "AND pid <> pg_backend_pid() AND database = (SELECT oid FROM pg_catalog.pg_database "
                   "WHERE datname = current_database())")
            .arg(Sql::number(reservationKey(address.journal)));
    }
    Sql largestReservedElsewhere() const override
    {
        return Sql("(SELECT coalesce(max(CAST(objid AS bigint)), 0) %1)").arg(reservations());
    }
    Sql reservedElsewhere(const Sql &number) const override
    {
        return Sql("EXISTS (SELECT 1 %1 AND CAST(objid AS bigint) = %2)").arg(reservations(), number);
    }
};

// -------------------------------------------------------- rows one at a time

// A statement's rows read one at a time as the server sends them (libpq's
// single-row mode), on the backend's connection. When the backend needs its
// connection for another statement meanwhile, the rows not read yet are
// taken in first.
class ServerRows : public RowStream
{
public:
    ServerRows(ServerBackend &b, const Sql &sql, const QVariantList &params) : m_b(&b), m_sql(sql), m_params(params) {}
    ~ServerRows() override
    {
        if (m_b && m_b->streaming == this)
            takeRest();
        if (m_b)
            m_b->streaming = nullptr;
    }

    bool start() override
    {
        m_held.clear();
        m_row.reset();
        if (!m_b)
            return fail(serverFailure(QStringLiteral("the connection is gone"), state::Unreachable));
        if (m_b->streaming == this)
            takeRest();
        m_held.clear();
        m_names.clear();
        error = {};
        if (!m_b->connection())
            return fail(m_b->error);
        m_b->finishStreaming();
        if (m_b->tx == ServerBackend::Tx::Pending) {
            std::vector<ServerBackend::Step> steps;
            m_b->opening(steps);
            if (!m_b->exchange(steps, {}, false))
                return fail(m_b->error);
        }
        const ServerBackend::Step step = m_b->step(m_sql, m_params);
        if (!m_b->names.contains(step.key())) {
            ServerBackend::Step prepare = step;
            prepare.run = false;
            if (!m_b->exchange({prepare}, {}, false))
                return fail(m_b->error);
        }
        const QByteArray name = m_b->names.value(step.key());
        if (!m_b->sendStep(name, step) || !PQsetSingleRowMode(m_b->conn) || !m_b->flush()) {
            m_b->lost(false);
            return fail(m_b->error);
        }
        m_b->streaming = this;
        return next() || !error.isSet();
    }

    bool onRow() const override { return m_row != nullptr; }

    bool next() override
    {
        m_row.reset();
        if (!m_held.empty()) {
            m_row = std::move(m_held.front());
            m_held.pop_front();
            return true;
        }
        if (!m_b || m_b->streaming != this)
            return false;
        Result r = take();
        if (!r)
            return false;
        m_row = std::move(r);
        return true;
    }

    QVariant value(int column) const override { return m_row ? valueOf(m_row.get(), 0, column) : QVariant(); }
    const PGresult *current() const { return m_row.get(); }
    QStringList names() const override { return m_names; }

    // The rows not read yet, kept: the connection is wanted for another statement.
    void takeRest()
    {
        while (m_b && m_b->streaming == this)
            if (Result r = take())
                m_held.push_back(std::move(r));
    }

    void detach() { m_b = nullptr; }

private:
    // The next row from the server; nothing at the end (the stream is
    // then over), or on failure (with error).
    Result take()
    {
        bool gone = false;
        Result r(m_b->next(&gone));
        if (!r) {
            m_b->streaming = nullptr;
            if (gone) {
                m_b->lost(false);
                fail(m_b->error);
            }
            return nullptr;
        }
        if (m_names.isEmpty())
            for (int c = 0; c < PQnfields(r.get()); ++c)
                m_names << QString::fromUtf8(PQfname(r.get(), c));
        const ExecStatusType status = PQresultStatus(r.get());
        if (status == PGRES_SINGLE_TUPLE)
            return r;
        if (status == PGRES_FATAL_ERROR)
            fail(m_b->errorOf(r.get()));
        // (the end: PGRES_TUPLES_OK, then nothing)
        Result end(m_b->next(&gone));
        m_b->streaming = nullptr;
        if (gone) {
            m_b->lost(false);
            fail(m_b->error);
        }
        return nullptr;
    }

    bool fail(const EngineError &e)
    {
        error = e;
        m_row.reset();
        return false;
    }

    ServerBackend *m_b;
    Sql m_sql;
    QVariantList m_params;
    Result m_row;
    std::deque<Result> m_held;
    QStringList m_names;
};

ServerBackend::~ServerBackend()
{
    if (streaming)
        streaming->detach();
    PQfinish(conn);
}

void ServerBackend::finishStreaming()
{
    if (streaming)
        streaming->takeRest();
}

std::unique_ptr<RowStream> ServerBackend::stream(const Sql &sql, const QVariantList &params)
{
    return std::make_unique<ServerRows>(*this, sql, params);
}

bool ServerBackend::forEachRow(const Sql &sql, const std::function<bool(const RowText &)> &onRow)
{
    ServerRows rows(*this, sql, {});
    if (!rows.start()) {
        error = rows.error;
        return false;
    }
    // Rows are read to the end even when onRow wants no more: the
    // connection is free for the next statement only then.
    ResultRow held;
    const RowText row(held);
    bool wanted = true;
    for (; rows.onRow(); rows.next())
        if (wanted) {
            held.result = rows.current();
            wanted = onRow(row);
        }
    if (rows.error.isSet()) {
        error = rows.error;
        return false;
    }
    return true;
}

namespace {

// A connection to the journal of the address; nullptr and *error on failure.
std::unique_ptr<ServerBackend> connectBackend(const QString &address, OpenMode mode, EngineError *error)
{
    QString problem;
    const auto a = parseAddress(address, &problem);
    if (!a) {
        if (error)
            *error = serverFailure(QStringLiteral("not a shared log's address"), problem);
        return nullptr;
    }
    const Purpose purpose = mode == OpenMode::ReadOnly ? Purpose::Reader : Purpose::Station;
    PGconn *conn = connectServer(*a, purpose, error);
    if (!conn)
        return nullptr;
    auto c = std::make_unique<ServerBackend>();
    c->path = a->shown;
    c->mode = mode;
    c->address = *a;
    c->serverLink = ServerLink::of(*a);
    c->slot = c->serverLink->newSlot(purpose);
    c->conn = conn;
    c->pid = PQbackendPID(conn);
    return c;
}

// Statements the server runs one after the other, as one message; false,
// with *error, at the first that fails.
bool runScript(ServerBackend &c, const QString &script, EngineError *error)
{
    bool ok = PQsendQuery(c.conn, script.toUtf8().constData()) && c.flush();
    bool gone = false;
    while (PGresult *r = ok ? c.next(&gone) : nullptr) {
        if (PQresultStatus(r) == PGRES_FATAL_ERROR && error && !error->isSet())
            *error = c.errorOf(r);
        ok = ok && PQresultStatus(r) != PGRES_FATAL_ERROR;
        PQclear(r);
    }
    if ((gone || !ok) && error && !error->isSet())
        *error = serverFailure(QString::fromUtf8(PQerrorMessage(c.conn)).trimmed(), state::Unreachable);
    return ok && !gone;
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

QString logUserName(const QString &name)
{
    QString problem;
    const auto a = isServerAddress(name) ? parseAddress(name, &problem) : std::nullopt;
    return a ? a->user : QString();
}

// The journal opened as the role may use it: a role that may not read it
// is refused, one that may only read it has it read only.
std::unique_ptr<Backend> openServer(const QString &address, OpenMode mode, EngineError *error)
{
    auto c = connectBackend(address, mode, error);
    if (!c)
        return nullptr;
    auto fail = [&](const EngineError &e) -> std::unique_ptr<Backend> {
        if (error)
            *error = e;
        return nullptr;
    };
    bool ok = false;
    const QVector<QVariantList> rights = c->rows(
        "SELECT has_schema_privilege(n.oid, 'USAGE'), coalesce(bool_and(has_table_privilege(c.oid, 'SELECT')), false), "
        "coalesce(bool_and(has_table_privilege(c.oid, 'INSERT') AND has_table_privilege(c.oid, 'UPDATE') "
        "AND (c.relname = 'sequanel_versions' OR has_table_privilege(c.oid, 'DELETE'))), false) "
        "FROM pg_catalog.pg_namespace n LEFT JOIN pg_catalog.pg_class c ON c.relnamespace = n.oid AND c.relkind = 'r' "
        "WHERE n.nspname = ?1 GROUP BY n.oid",
        {c->address.journal}, &ok);
    if (!ok)
        return fail(c->error);
    if (rights.isEmpty())
        return fail(serverFailure(QStringLiteral("no such journal"), QStringLiteral("3F000")));
    if (!rights[0].value(0).toBool() || !rights[0].value(1).toBool())
        return fail(serverFailure(QStringLiteral("the role may not read the journal"), state::NotReadable));
    if (!rights[0].value(2).toBool())
        c->mode = OpenMode::ReadOnly;
    // A station hears the others from its opening on: what it reads next,
    // it will hear change.
    if (mode == OpenMode::ReadWrite)
        c->serverLink->listenNow(10);
    return c;
}

bool waitingForServer() { return t_waiting > 0; }
EventsWhileWaiting::EventsWhileWaiting() : m_level(std::exchange(t_eventsLevel, QThread::currentThread()->loopLevel())) {}
EventsWhileWaiting::~EventsWhileWaiting() { t_eventsLevel = m_level; }

bool createServer(const QString &address, const TableDef &table, EngineError *error)
{
    auto c = connectBackend(address, OpenMode::ReadWrite, error);
    if (!c)
        return false;
    const QString schema = quoteIdentifier(c->address.journal);
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
    return runScript(*c, statements.join(QStringLiteral(";\n")), error);
}

bool removeServer(const QString &address)
{
    auto c = connectBackend(address, OpenMode::ReadWrite, nullptr);
    return c && runScript(*c, QStringLiteral("DROP SCHEMA %1 CASCADE").arg(quoteIdentifier(c->address.journal)), nullptr);
}

} // namespace platform
