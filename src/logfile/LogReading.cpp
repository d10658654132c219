#include "LogReading.h"

#include "LogFile.h"
#include "LogIndex.h"

#include <QFuture>
#include <QThreadStorage>
#include <QtConcurrent/QtConcurrentRun>
#include <algorithm>
#include <limits>

namespace logfile {

using platform::Identifier;
using platform::Sql;

namespace {

// The columns of readColumn, for a statement.
Sql readList()
{
    QVector<Sql> columns{Sql("rowid"), Identifier(QStringLiteral("Sequanel"))};
    for (const QString &c : callSignColumns())
        columns << Identifier(c);
    for (const char *c : {"Date", "Pays", "CP", "Bande", "Mhertz", "Hertz", "Opérateur", "Ville"})
        columns << Identifier(QString::fromUtf8(c));
    return Sql::join(columns, ", ");
}

Sql rowsSelect(const Sql &where) { return Sql("SELECT %1 FROM %2 %3").arg(readList(), Identifier(kTable), where); }

// Plain digits are read without the regional rules.
std::optional<qint64> storedSerial(QByteArrayView text)
{
    if (!text.isEmpty() && text.size() <= 15) {
        qint64 v = 0;
        bool digits = true;
        for (char c : text) {
            digits = digits && c >= '0' && c <= '9';
            v = v * 10 + (c - '0');
        }
        if (digits)
            return v;
    }
    return serialValue(QString::fromUtf8(text));
}

// A reading of every row is cut into this many spans of whole chunks, which
// its threads take in turn: a thread that was late to start takes fewer.
constexpr int kSpans = 16;
// Rows one statement of a reading of every row reads: the log is held for a
// few milliseconds at a time.
constexpr int kRowsPerStatement = 4096;

// One thread's share of a reading: its connection, what it read.
struct Lane {
    Lane(platform::Connection *db, RowConsumer *consumer, const std::atomic<bool> *stop)
        : db(db), stop(stop), bounds{db}, consumed(consumer ? consumer->lane() : nullptr)
    {
    }
    platform::Connection *db;
    const std::atomic<bool> *stop;
    RowidBounds bounds;
    Reading out;
    std::unique_ptr<RowConsumer::Lane> consumed;
    CallSignReader callSigns;
    qint64 chunk = 0;
    ChunkState *state = nullptr; // chunk's

    bool stopped() const { return stop && stop->load(); }

    // A row read: its chunk's largest number, its call sign, whatever else is made of it.
    qint64 add(const platform::RowText &row)
    {
        const qint64 rowid = row.text(readColumn::Rowid).toLongLong();
        if (!state || chunkOf(rowid) != chunk) {
            chunk = chunkOf(rowid);
            state = &out.chunks.try_emplace(chunk, ChunkState{true, qint64(0)}).first->second;
        }
        if (!row.isNull(readColumn::Serial))
            if (const auto n = storedSerial(row.text(readColumn::Serial)))
                state->largest = std::max(*state->largest, *n);
        std::optional<quint64> key;
        if (const auto sign = callSigns.read(row, readColumn::CallSign)) {
            key = sign->key();
            out.rows.push_back({*key, rowid});
        }
        if (consumed)
            consumed->add(chunk, row, key);
        ++out.rowsRead;
        return rowid;
    }

    // The chunks from first to last read again in one statement.
    bool readChunks(qint64 first, qint64 last)
    {
        static const Sql between = rowsSelect(
            Sql("WHERE rowid BETWEEN (SELECT lo FROM sequanel_bounds) AND (SELECT hi FROM sequanel_bounds)"));
        state = nullptr;
        return !stopped() && bounds.set(chunkStart(first), chunkEnd(last))
               && db->forEachRow(between, [this](const platform::RowText &row) {
                      add(row);
                      return true;
                  });
    }

    // Every row of the chunks from first to last, kRowsPerStatement at a time.
    bool readSpan(qint64 first, qint64 last)
    {
        static const Sql next = rowsSelect(Sql("WHERE rowid > (SELECT lo FROM sequanel_bounds) AND rowid <= "
                                               "(SELECT hi FROM sequanel_bounds) ORDER BY rowid LIMIT 4096"));
        static_assert(kRowsPerStatement == 4096);
        qint64 after = chunkStart(first) - 1;
        for (int read = kRowsPerStatement; read == kRowsPerStatement;) {
            read = 0;
            state = nullptr;
            if (stopped() || !bounds.set(after, chunkEnd(last)) || !db->forEachRow(next, [&](const platform::RowText &row) {
                    after = add(row);
                    ++read;
                    return true;
                }))
                return false;
        }
        return true;
    }
};

void finish(Reading &out, const std::map<qint64, ChunkState> &known, bool all)
{
    for (const auto &c : out.chunks)
        out.replaced.push_back(c.first);
    if (all)
        for (const auto &c : known)
            out.replaced.push_back(c.first);
    std::sort(out.replaced.begin(), out.replaced.end());
    out.replaced.erase(std::unique(out.replaced.begin(), out.replaced.end()), out.replaced.end());
}

// Every row, the spans of chunks shared with a second thread of pool. A file
// is surveyed while the second thread reads, and the survey kept only when
// no other program committed anything since the reading began: then it
// describes every row read (a row read after it that differs shows as a
// difference at the next survey). A server is surveyed first, in a snapshot
// of its own, before any row is read.
std::optional<Reading> readEvery(platform::Connection *db, const Known &known, RowConsumer *consumer,
                                 const std::atomic<bool> *stop, QThreadPool *pool, const ReadingGate &gate)
{
    // The survey (or the file's change count) is taken before the first and
    // last rowids are: a row another program adds past the last one meanwhile
    // is read by no span, and must show at the next survey.
    const bool server = platform::isServerAddress(db->path());
    std::optional<platform::TableSurvey> survey = server ? surveyAlone(db) : std::nullopt;
    const qint64 before = server ? -1 : db->changeCount();
    bool ok = false;
    const QVariantList ends =
        db->rows(Sql("SELECT (SELECT min(rowid) FROM %1), (SELECT max(rowid) FROM %1)").arg(Identifier(kTable)), {}, &ok)
            .value(0);
    if (!ok)
        return std::nullopt;
    if (gate)
        gate(ReadingPoint::BoundsRead);
    Lane first(db, consumer, stop);
    if (!first.bounds.create())
        return std::nullopt;

    // The spans, of whole chunks; none in an empty table.
    const bool empty = ends.value(0).isNull();
    const qint64 low = empty ? 0 : chunkOf(ends.value(0).toLongLong()), high = empty ? -1 : chunkOf(ends.value(1).toLongLong());
    const qint64 width = std::max<qint64>(1, (high - low + kSpans) / kSpans);
    // Room for every row's call sign in each thread's list, so that neither
    // list is copied as it grows nor when the second is put after the first:
    // a table holds no more rows than its range of rowids, and the room not
    // written to takes address space only, no memory.
    const size_t room = empty ? 0 : size_t(std::min<qint64>(ends.value(1).toLongLong() - ends.value(0).toLongLong() + 1,
                                                            qint64(1) << 22));
    first.out.rows.reserve(room);
    std::atomic<qint64> nextSpan{0};
    std::atomic<bool> failed{false};
    auto take = [&](Lane &lane) {
        for (qint64 s; !failed && (s = nextSpan.fetch_add(1)) * width + low <= high;) {
            const qint64 from = low + s * width;
            if (!lane.readSpan(from, std::min(high, from + width - 1)))
                failed = true;
        }
    };
    std::optional<Lane> second;
    QFuture<void> helper;
    if (pool && !empty && high > low)
        helper = QtConcurrent::run(pool, [&] {
            if (failed || nextSpan * width + low > high)
                return; // started too late: the first thread read every span
            platform::EngineError e;
            const auto own = readingConnection(db->path(), &e);
            if (!own) {
                failed = true;
                return;
            }
            second.emplace(own.get(), consumer, stop);
            second->out.rows.reserve(room);
            if (!second->bounds.create())
                failed = true;
            else
                take(*second);
        });
    if (!server) {
        ReadLock lock(db);
        if (lock.held()) {
            auto now = db->surveyTable(Identifier(kTable));
            if (before >= 0 && db->changeCount() == before)
                survey = std::move(now);
        }
    }
    take(first);
    helper.waitForFinished();
    if (failed || first.stopped())
        return std::nullopt;

    Reading out = std::move(first.out);
    std::vector<std::unique_ptr<RowConsumer::Lane>> consumed;
    consumed.push_back(std::move(first.consumed));
    if (second) {
        out.chunks.merge(second->out.chunks);
        out.rows.insert(out.rows.end(), second->out.rows.begin(), second->out.rows.end());
        second->out.rows = {};
        out.rowsRead += second->out.rowsRead;
        consumed.push_back(std::move(second->consumed));
    }
    finish(out, known.chunks, true);
    out.whole = true;
    if (survey)
        out.survey = std::make_shared<const platform::TableSurvey>(std::move(*survey));
    if (consumer)
        consumer->commit(std::move(consumed), out.replaced, true);
    return out;
}

} // namespace

std::optional<Reading> readLog(platform::Connection *db, const Known &known, RowConsumer *consumer,
                               const std::atomic<bool> *stop, QThreadPool *pool, const ReadingGate &gate)
{
    if (known.chunks.empty())
        return readEvery(db, known, consumer, stop, pool, gate);

    // The chunks to read again: those the window changed, and, when another
    // program wrote, those of the parts of the table that differ from the
    // survey kept, read in the same read transaction as the survey.
    std::vector<platform::RowidRange> spans;
    for (const auto &[chunk, state] : known.chunks)
        if (!state.current)
            spans.push_back({chunkStart(chunk), chunkEnd(chunk)});
    std::optional<ReadLock> lock;
    std::shared_ptr<const platform::TableSurvey> survey = known.survey;
    if (known.othersWrote) {
        lock.emplace(db);
        if (!lock->held())
            return std::nullopt;
        auto now = known.survey ? db->surveyTable(Identifier(kTable)) : std::nullopt;
        const auto changed = now ? platform::changedRowids(*known.survey, *now) : std::nullopt;
        if (!changed) {
            lock.reset();
            return readEvery(db, known, consumer, stop, pool, gate);
        }
        spans.insert(spans.end(), changed->begin(), changed->end());
        survey = std::make_shared<const platform::TableSurvey>(std::move(*now));
    }
    std::sort(spans.begin(), spans.end(), [](const auto &a, const auto &b) { return a.first < b.first; });

    Lane lane(db, consumer, stop);
    if (!spans.empty() && !lane.bounds.create())
        return std::nullopt;
    std::vector<qint64> replaced;
    std::optional<qint64> next; // the chunks before this one are read
    for (const platform::RowidRange &span : spans) {
        const qint64 from = next ? std::max(*next, chunkOf(span.first)) : chunkOf(span.first);
        if (from > chunkOf(span.last))
            continue;
        // Those known there are replaced, gone or not.
        for (auto k = known.chunks.lower_bound(from); k != known.chunks.end() && k->first <= chunkOf(span.last); ++k)
            replaced.push_back(k->first);
        if (!lane.readChunks(from, chunkOf(span.last)))
            return std::nullopt;
        next = chunkOf(span.last) + 1;
    }
    lock.reset();
    Reading out = std::move(lane.out);
    out.replaced = std::move(replaced);
    finish(out, known.chunks, false);
    out.survey = std::move(survey);
    if (consumer) {
        std::vector<std::unique_ptr<RowConsumer::Lane>> consumed;
        consumed.push_back(std::move(lane.consumed));
        consumer->commit(std::move(consumed), out.replaced, false);
    }
    return out;
}

bool RowidBounds::create() { return db->exec("CREATE TEMP TABLE IF NOT EXISTS sequanel_bounds (lo BIGINT, hi BIGINT)"); }

bool RowidBounds::set(qint64 lo, qint64 hi)
{
    return db->exec("DELETE FROM sequanel_bounds") && db->exec("INSERT INTO sequanel_bounds VALUES (?1, ?2)", {lo, hi});
}

ReadLock::ReadLock(platform::Connection *db) : m_db(db), m_held(db->beginRead()) {}

ReadLock::~ReadLock()
{
    if (m_held)
        m_db->rollback();
}

std::shared_ptr<platform::Connection> readingConnection(const QString &path, platform::EngineError *error)
{
    if (!platform::isServerAddress(path))
        return platform::Connection::open(path, platform::OpenMode::ReadOnly, error);
    // Closed with the thread, on that thread, as the engine wants. (Qt's
    // storage ends it while the thread finishes, before anyone waiting for
    // the thread goes on; a C++ thread_local would end after, possibly while
    // the program exits.)
    struct Kept {
        QString path;
        std::shared_ptr<platform::Connection> db;
    };
    static QThreadStorage<Kept *> perThread;
    if (!perThread.hasLocalData())
        perThread.setLocalData(new Kept);
    Kept &kept = *perThread.localData();
    if (kept.path != path || !kept.db) {
        kept.db.reset();
        kept = {path, platform::Connection::open(path, platform::OpenMode::ReadOnly, error)};
    }
    return kept.db;
}

std::optional<platform::TableSurvey> surveyAlone(platform::Connection *db)
{
    ReadLock lock(db);
    return lock.held() ? db->surveyTable(Identifier(kTable)) : std::nullopt;
}

namespace {
ReadingGate &gate()
{
    static ReadingGate g;
    return g;
}
} // namespace

void setReadingGate(ReadingGate g) { gate() = std::move(g); }
const ReadingGate &readingGate() { return gate(); }

} // namespace logfile
