#include "LogIndex.h"

#include "Engine.h"
#include "LogFile.h"
#include "Regional.h"

#include <QPromise>
#include <QtConcurrent/QtConcurrentRun>
#include <cmath>
#include <limits>

namespace logfile {

using platform::Identifier;
using platform::Sql;

namespace {

const Identifier kSerial(QStringLiteral("Sequanel"));
const Identifier kDate(QStringLiteral("Date"));

// The five columns of the call sign, for a statement.
Sql callSignList()
{
    QVector<Sql> columns;
    for (const QString &c : callSignColumns())
        columns << Identifier(c);
    return Sql::join(columns, ", ");
}

// Rows read by one statement of the background reading: the file stays
// locked for reading for a few milliseconds at a time only.
constexpr int kRowsPerStatement = 4000;

qint64 dataVersion(platform::Connection *db)
{
    bool ok = false;
    const qint64 v = db->scalar("PRAGMA data_version", {}, &ok).toLongLong();
    return ok ? v : -1;
}

} // namespace

std::optional<qint64> serialValue(const QString &text)
{
    const auto v = platform::parseNumber(text);
    if (!v || !std::isfinite(*v))
        return std::nullopt;
    const double r = std::nearbyint(*v); // the default rounding mode rounds halves to even
    if (r >= 9.2e18 || r <= -9.2e18)
        return std::nullopt;
    return static_cast<qint64>(r);
}

std::optional<qint64> readLargestSerial(platform::Connection *db)
{
    // Plain whole numbers are compared by the engine itself, and the few
    // other texts (blanks, a sign, leading zeros, decimals) come back to be
    // read in the user's number notation.
    bool ok = false;
    const auto rows = db->rows(
        Sql("SELECT max(CASE WHEN CAST(CAST(%1 AS INTEGER) AS TEXT) = %1 THEN CAST(%1 AS INTEGER) END), "
            "group_concat(CASE WHEN NOT (CAST(CAST(%1 AS INTEGER) AS TEXT) = %1) AND %1 <> '' THEN %1 END, "
            "char(31)) FROM %2")
            .arg(kSerial, Identifier(kTable)),
        {}, &ok);
    if (!ok || rows.isEmpty())
        return std::nullopt;
    qint64 best = 0;
    if (!rows[0].value(0).isNull())
        best = std::max(best, rows[0].value(0).toLongLong());
    const QString others = rows[0].value(1).toString();
    if (!others.isEmpty())
        for (const QString &text : others.split(QChar(31)))
            if (auto n = serialValue(text))
                best = std::max(best, *n);
    return best;
}

std::optional<CallSignSet> readCallSigns(platform::Connection *db, const std::atomic<bool> *stop)
{
    CallSignSet out;
    bool ok = false;
    const qint64 rows = db->scalar(Sql("SELECT count(*) FROM %1").arg(Identifier(kTable)), {}, &ok)
                            .toLongLong();
    if (!ok)
        return std::nullopt;
    out.reserve(rows);

    const Sql sql = Sql("SELECT rowid, %1 FROM %2 WHERE rowid > ?1 ORDER BY rowid LIMIT ?2").arg(callSignList(), Identifier(kTable));
    qint64 after = std::numeric_limits<qint64>::min();
    CallSignReader reader;
    for (int read = kRowsPerStatement; read == kRowsPerStatement;) {
        if (stop && stop->load())
            return std::nullopt;
        const auto cursor = db->openQuery(sql, {after, kRowsPerStatement});
        if (!cursor->isValid())
            return std::nullopt;
        for (read = 0; !cursor->eof(); cursor->moveNext(), ++read) {
            after = cursor->value(0).toLongLong();
            if (auto s = reader.read(cursor->value(1), cursor->value(2), cursor->value(3), cursor->value(4),
                                     cursor->value(5)))
                out.append(s->key(), after);
        }
        if (cursor->error().isSet())
            return std::nullopt;
    }
    out.finish();
    return out;
}

// ------------------------------------------------------------------ LogIndex

LogIndex::LogIndex(QObject *parent) : QObject(parent)
{
    m_pool.setMaxThreadCount(1);
    m_pool.setThreadPriority(QThread::LowPriority);
    connect(&m_serialWatcher, &QFutureWatcherBase::finished, this, &LogIndex::serialRead);
    connect(&m_callSignWatcher, &QFutureWatcherBase::finished, this, &LogIndex::callSignsRead);
}

LogIndex::~LogIndex()
{
    if (m_stop)
        *m_stop = true;
    m_pool.waitForDone();
}

void LogIndex::open(platform::Connection *db) { restart(db); }

// Everything known of the log is dropped and read again.
void LogIndex::restart(platform::Connection *db)
{
    m_db = db;
    m_dataVersion = db ? dataVersion(db) : -1;
    m_largest.reset();
    m_storedWhilePending.reset();
    m_callSigns.reset();
    m_changesWhilePending.clear();
    m_serialPending = m_callSignsPending = db != nullptr;
    if (db)
        startReading();
}

// True when what is known still describes the file of db; otherwise starts
// reading it again.
bool LogIndex::upToDate(platform::Connection *db)
{
    const qint64 version = dataVersion(db);
    if (db == m_db && version >= 0 && version == m_dataVersion)
        return true;
    restart(db);
    return false;
}

void LogIndex::startReading()
{
    if (m_stop)
        *m_stop = true; // the reading under way is for contents no longer wanted
    m_stop = std::make_shared<std::atomic<bool>>(false);
    QPromise<std::optional<qint64>> serial;
    m_serialReading = serial.future();
    m_callSignReading =
        QtConcurrent::run(&m_pool, [path = m_db->path(), stop = m_stop, serial = std::move(serial)]() mutable {
            serial.start();
            platform::EngineError e;
            auto own = platform::Connection::open(path, platform::OpenMode::ReadOnly, &e);
            if (own && !stop->load())
                serial.addResult(readLargestSerial(own.get()));
            serial.finish();
            return own ? readCallSigns(own.get(), stop.get()) : std::nullopt;
        });
    m_serialWatcher.setFuture(m_serialReading);
    m_callSignWatcher.setFuture(m_callSignReading);
}

void LogIndex::serialRead()
{
    if (!m_serialPending || !m_serialReading.isFinished())
        return; // already taken, or no longer wanted
    m_serialPending = false;
    if (m_serialReading.resultCount() > 0)
        if (const std::optional<qint64> v = m_serialReading.result())
            m_largest = std::max(*v, m_storedWhilePending.value_or(0));
}

void LogIndex::callSignsRead()
{
    if (!m_callSignsPending || !m_callSignReading.isFinished())
        return;
    m_callSignsPending = false;
    m_callSigns = m_callSignReading.takeResult(); // nothing when the table could not be read
    if (m_callSigns)
        for (const Change &c : m_changesWhilePending)
            c.added ? m_callSigns->add(c.key, c.rowid) : m_callSigns->remove(c.key, c.rowid);
    m_changesWhilePending.clear();
    emit ready();
}

qint64 LogIndex::largestSerial(platform::Connection *db)
{
    if (!db)
        return 0;
    upToDate(db);
    if (!m_largest && m_serialPending) {
        m_serialReading.waitForFinished(); // the reading of this file gives it first: wait for it
        serialRead();
    }
    if (m_largest)
        return *m_largest;

    // Not known (the reading failed, or the largest number was removed): read it now.
    m_serialPending = false;
    const std::optional<qint64> v = readLargestSerial(db);
    if (!v)
        return 0;
    m_largest = v;
    return *v;
}

void LogIndex::storedSerial(const QString &serial)
{
    const auto n = serialValue(serial);
    if (!n)
        return;
    if (m_serialPending)
        m_storedWhilePending = std::max(m_storedWhilePending.value_or(*n), *n);
    if (m_largest)
        m_largest = std::max(*m_largest, *n);
}

// When the removed number was the largest, the largest must be read again.
// A reading not taken yet may have been made before the change and hold the
// removed number: it is dropped too.
void LogIndex::removedSerial(const QString &serial)
{
    const auto n = serialValue(serial);
    if (n && (m_serialPending || (m_largest && *n >= *m_largest))) {
        m_largest.reset();
        m_storedWhilePending.reset();
        m_serialPending = false;
    }
}

void LogIndex::changeCallSign(const QVariantList &callSign, qint64 rowid, bool added)
{
    const auto sign = readCallSign(callSign);
    if (!sign)
        return;
    if (m_callSignsPending)
        m_changesWhilePending.push_back({sign->key(), rowid, added});
    else if (m_callSigns && added)
        m_callSigns->add(sign->key(), rowid);
    else if (m_callSigns)
        m_callSigns->remove(sign->key(), rowid);
}

void LogIndex::noteStored(platform::Connection *db, const IndexedContact &contact)
{
    storedSerial(contact.serial);
    bool ok = false;
    const qint64 rowid = db ? db->scalar("SELECT last_insert_rowid()", {}, &ok).toLongLong() : 0;
    if (ok && rowid != 0)
        changeCallSign(contact.callSign, rowid, true);
    else if (m_db)
        restart(m_db); // the new row cannot be told: read everything again
}

void LogIndex::noteChanged(qint64 rowid, const IndexedContact &before, const IndexedContact &after)
{
    const auto b = serialValue(before.serial), a = serialValue(after.serial);
    if (b && (!a || *a < *b))
        removedSerial(before.serial); // the number went down or away
    storedSerial(after.serial);
    changeCallSign(before.callSign, rowid, false);
    changeCallSign(after.callSign, rowid, true);
}

void LogIndex::noteRemoved(qint64 rowid, const IndexedContact &contact)
{
    removedSerial(contact.serial);
    changeCallSign(contact.callSign, rowid, false);
}

// ------------------------------------------------------------------ lookups

namespace {

// Reads the row rowid; true when it holds the call sign sign.
bool readWorked(platform::Connection *db, qint64 rowid, const CallSign &sign, Worked *out)
{
    bool ok = false;
    const auto rows = db->rows(Sql("SELECT %1, %2, %3 FROM %4 WHERE rowid = ?1").arg(kSerial, kDate, callSignList(), Identifier(kTable)),
                               {rowid}, &ok);
    if (!ok || rows.size() != 1 || readCallSign(rows[0].mid(2)) != sign)
        return false;
    out->serial = rows[0].value(0).toString();
    out->date = platform::fromStorage(rows[0].value(1).toString()).value_or(QDateTime());
    return true;
}

} // namespace

std::optional<Worked> LogIndex::worked(platform::Connection *db, const QVariantList &callSign,
                                       std::optional<qint64> except)
{
    const auto sign = readCallSign(callSign);
    if (!sign || !db)
        return Worked{};
    if (!upToDate(db) || m_callSignsPending)
        return std::nullopt;
    if (!m_callSigns)
        return Worked{}; // the file could not be read
    const CallSignSet::Found found = m_callSigns->find(sign->key(), except);
    if (found.count == 0)
        return Worked{};
    // The last of them is read from the file, and checked: two call signs
    // may share a key.
    Worked w;
    w.count = found.count;
    if (readWorked(db, found.latest, *sign, &w))
        return w;
    return exactWalk(db, *sign, except);
}

// The rows of the key read one by one, keeping those that hold the call sign.
Worked LogIndex::exactWalk(platform::Connection *db, const CallSign &sign, std::optional<qint64> except)
{
    Worked w;
    for (qint64 rowid : m_callSigns->rowids(sign.key()))
        if (rowid != except && readWorked(db, rowid, sign, &w))
            ++w.count;
    return w;
}

} // namespace logfile
