#include "SerialAllocator.h"

#include "Engine.h"
#include "Regional.h"

#include <QFileInfo>
#include <cmath>
#include <limits>

namespace {
qint64 dataVersion(platform::Connection *db)
{
    bool ok = false;
    const qint64 v = db->scalar("PRAGMA data_version", {}, &ok).toLongLong();
    return ok ? v : -1;
}
} // namespace

SerialAllocator::~SerialAllocator()
{
    if (m_worker) {
        m_worker->wait();
        delete m_worker.data();
    }
}

std::optional<qint64> SerialAllocator::serialValue(const QString &text)
{
    const auto v = platform::parseNumber(text);
    if (!v || !std::isfinite(*v))
        return std::nullopt;
    const double r = std::nearbyint(*v); // the default rounding mode rounds halves to even
    if (r >= 9.2e18 || r <= -9.2e18)
        return std::nullopt;
    return static_cast<qint64>(r);
}

std::optional<qint64> SerialAllocator::scan(platform::Connection *db, const QString &table)
{
    // One pass over the table: plain whole numbers are compared by the engine
    // itself, and the few other texts (blanks, a sign, leading zeros,
    // decimals) come back to be read in the user's number notation.
    const platform::Sql clean = "CAST(CAST(\"Sequanel\" AS INTEGER) AS TEXT) = \"Sequanel\"";
    bool ok = false;
    const auto rows = db->rows(
        platform::Sql("SELECT max(CASE WHEN %1 THEN CAST(\"Sequanel\" AS INTEGER) END), "
                      "group_concat(CASE WHEN NOT (%1) AND \"Sequanel\" <> '' THEN \"Sequanel\" END, char(31)) "
                      "FROM %2")
            .arg(clean, platform::Identifier(table)),
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

void SerialAllocator::invalidate()
{
    m_largest.reset();
    m_pending = false;
    ++m_generation;
}

void SerialAllocator::prefetch(platform::Connection *db, const QString &table)
{
    invalidate();
    if (!db)
        return;
    m_db = db;
    m_dataVersion = dataVersion(db);
    m_pending = true;
    m_storedWhilePending.reset();
    m_path = db->path();
    m_table = table;
    if (!m_worker)
        startWorker(); // else workerFinished() starts it
}

void SerialAllocator::startWorker()
{
    const quint64 generation = m_generation;
    const QString path = m_path, table = m_table;
    m_workerGeneration = generation;
    m_workerResult.reset();
    QThread *worker = QThread::create([this, path, table] {
        platform::EngineError e;
        if (auto own = platform::Connection::open(path, platform::OpenMode::ReadOnly, &e))
            m_workerResult = scan(own.get(), table);
    });
    const quint64 id = ++m_workerId;
    connect(worker, &QThread::finished, this, [this, id] {
        if (id == m_workerId) // not already waited for
            workerFinished();
    });
    m_worker = worker;
    worker->start(QThread::LowPriority);
}

void SerialAllocator::workerFinished()
{
    if (!m_worker)
        return;
    m_worker->wait();
    delete m_worker.data();
    ++m_workerId;
    accept(m_workerGeneration, m_workerResult);
    if (m_pending) // another file was opened meanwhile
        startWorker();
}

void SerialAllocator::accept(quint64 generation, std::optional<qint64> value)
{
    if (generation != m_generation || !m_pending)
        return; // a later file, or already read meanwhile
    m_pending = false;
    if (!value)
        return;
    m_largest = std::max(*value, m_storedWhilePending.value_or(0));
}

qint64 SerialAllocator::largest(platform::Connection *db, const QString &table)
{
    if (!db)
        return 0;
    const qint64 version = dataVersion(db);
    if (db != m_db || version < 0 || version != m_dataVersion)
        invalidate();
    if (!m_largest && m_pending && m_worker && m_workerGeneration == m_generation)
        workerFinished(); // the reading of this file is under way: wait for it
    if (m_largest)
        return *m_largest;

    // Not known yet (or the file changed): read it now.
    ++m_generation;
    m_pending = false;
    const std::optional<qint64> v = scan(db, table);
    if (!v)
        return 0;
    m_db = db;
    m_dataVersion = version;
    m_largest = v;
    return *v;
}

void SerialAllocator::noteStored(const QString &serialText)
{
    const auto n = serialValue(serialText);
    if (!n)
        return;
    if (m_pending)
        m_storedWhilePending = std::max(m_storedWhilePending.value_or(*n), *n);
    if (m_largest)
        m_largest = std::max(*m_largest, *n);
}

void SerialAllocator::noteChanged(const QString &before, const QString &after)
{
    const auto b = serialValue(before), a = serialValue(after);
    if (b && (!a || *a < *b))
        noteRemoved(before); // the number went down or away
    noteStored(after);
}

void SerialAllocator::noteRemoved(const QString &serialText)
{
    if (!m_largest)
        return;
    if (auto n = serialValue(serialText); n && *n >= *m_largest)
        invalidate();
}
