#include "LogIndex.h"

#include "Engine.h"
#include "LogFile.h"
#include "Regional.h"

#include <QPromise>
#include <QThreadStorage>
#include <QtConcurrent/QtConcurrentRun>
#include <cmath>
#include <cstring>
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

// Chunks of 4096 rowids: an outside change costs the reading of one or two
// of them; a log of 1,000,000 contacts has about 250.
constexpr int kChunkBits = 12;
// Rows whose digests one statement works out: the file stays locked for
// reading for a few milliseconds at a time only.
constexpr int kScanRows = 32768;
// Rows one statement of a first reading reads.
constexpr int kRowsPerStatement = 4096;
// A failed reading is tried again after this long.
constexpr int kRetryMs = 1000;
// Other programs' changes are read again no sooner than this after the last
// reading ended: on a log that several stations fill at once a reading would
// otherwise follow the last all the time, and slow every store.
constexpr int kReadingGapMs = 250;

qint64 chunkOf(qint64 rowid) { return rowid >> kChunkBits; }

// rowid, serial number, then the five parts of the call sign.
Sql rowsSelect(const Sql &where)
{
    return Sql("SELECT rowid, %1, %2 FROM %3 %4").arg(kSerial, callSignList(), Identifier(kTable), where);
}

// A 64-bit digest of one row's values as the engine stores them.
quint64 rowDigest(const platform::RowText &row)
{
    auto mix = [](quint64 h) {
        h ^= h >> 31;
        h *= 0x9E3779B97F4A7C15ull;
        return h ^ (h >> 29);
    };
    quint64 h = 0x243F6A8885A308D3ull;
    for (int c = 0; c < 7; ++c) {
        if (row.isNull(c)) {
            h = mix(h ^ 0xA5A5A5A5ull);
            continue;
        }
        const QByteArrayView t = row.text(c);
        h = mix(h ^ (quint64(t.size()) << 8 | quint64(c)));
        qsizetype i = 0;
        for (; i + 8 <= t.size(); i += 8) {
            quint64 w;
            std::memcpy(&w, t.data() + i, 8);
            h = mix(h ^ w);
        }
        quint64 w = 0;
        std::memcpy(&w, t.data() + i, size_t(t.size() - i));
        h = mix(h ^ w);
    }
    return h;
}

// Plain digits are read without the regional rules.
std::optional<qint64> storedSerial(QByteArrayView text)
{
    if (!text.isEmpty() && text.size() <= 15) {
        bool digits = true;
        for (char c : text)
            digits = digits && c >= '0' && c <= '9';
        if (digits)
            return QByteArray(text.data(), text.size()).toLongLong();
    }
    return serialValue(QString::fromUtf8(text));
}

// The digests of every chunk, read kScanRows rows at a time.
std::optional<std::map<qint64, quint64>> chunkDigests(platform::Connection *db, RowidBounds &bounds,
                                                      const std::atomic<bool> *stop)
{
    std::map<qint64, quint64> out;
    const Sql sql = rowsSelect(
        Sql("WHERE rowid > (SELECT lo FROM sequanel_bounds) ORDER BY rowid LIMIT 32768"));
    static_assert(kScanRows == 32768);
    qint64 after = std::numeric_limits<qint64>::min();
    quint64 *sum = nullptr;
    qint64 chunk = 0;
    for (int read = kScanRows; read == kScanRows;) {
        if ((stop && stop->load()) || !bounds.set(after, 0))
            return std::nullopt;
        read = 0;
        const bool ok = db->forEachRow(sql, [&](const platform::RowText &row) {
            after = row.text(0).toLongLong();
            if (!sum || chunkOf(after) != chunk)
                sum = &out[chunk = chunkOf(after)];
            *sum += rowDigest(row);
            ++read;
            return true;
        });
        if (!ok)
            return std::nullopt;
    }
    return out;
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

namespace {
// A serial number that is a plain number, as a number; NULL for any other.
Sql plainSerial(platform::Connection *db)
{
    return Sql("CASE WHEN %1 THEN CAST(%2 AS BIGINT) END").arg(db->isPlainNumber(kSerial), kSerial);
}
} // namespace

bool indexSerials(platform::Connection *db)
{
    const Sql table = Identifier(kTable);
    return db->exec(Sql("CREATE INDEX sequanel_serials ON %1 ((%2))").arg(table, plainSerial(db)))
           && db->exec(Sql("CREATE INDEX sequanel_other_serials ON %1 (%2) WHERE %2 <> '' AND NOT (%3)")
                           .arg(table, kSerial, db->isPlainNumber(kSerial)));
}

namespace {
// Every serial number stored is a plain number or blank: the engine's
// comparisons are then the program's.
Sql onlyPlainSerials(platform::Connection *db)
{
    return Sql("NOT EXISTS (SELECT 1 FROM %1 WHERE %2 <> '' AND NOT (%3))")
        .arg(Identifier(kTable), kSerial, db->isPlainNumber(kSerial));
}
} // namespace

platform::SettledColumn::InStatement nextSerialInStatement(platform::Connection *db, int digits)
{
    qint64 limit = 1;
    for (int i = 0; i < std::clamp(digits, 1, 18); ++i)
        limit *= 10;
    const Sql largest = Sql("(SELECT coalesce(max(%1), 0) FROM %2)").arg(plainSerial(db), Identifier(kTable));
    const Sql taken = Sql("greatest(%1, %2)").arg(largest, db->largestReservedElsewhere());
    return {Sql("CAST(%1 + 1 AS VARCHAR(20))").arg(taken),
            Sql("%1 AND %2 < %3").arg(onlyPlainSerials(db), taken, Sql::number(limit - 1))};
}

platform::SettledColumn::InStatement typedSerialInStatement(platform::Connection *db, const Sql &typed)
{
    const Sql text = Sql("CAST(%1 AS VARCHAR(20))").arg(typed), number = Sql("CAST(%1 AS BIGINT)").arg(text);
    return {text, Sql("%1 AND NOT EXISTS (SELECT 1 FROM %2 WHERE %3 = %4) AND NOT %5")
                      .arg(onlyPlainSerials(db), Identifier(kTable), plainSerial(db), number, db->reservedElsewhere(number))};
}

std::optional<qint64> largestReserved(platform::Connection &db)
{
    bool ok = false;
    const QVariant v = db.scalar(Sql("SELECT %1").arg(db.largestReservedElsewhere()), {}, &ok);
    return ok ? std::optional(v.toLongLong()) : std::nullopt;
}

std::optional<bool> serialFree(platform::Connection &db, qint64 n)
{
    bool ok = false;
    const Sql number = Sql::parameter(1);
    const QVariant taken = db.scalar(Sql("SELECT EXISTS (SELECT 1 FROM %1 WHERE %2 = %3) OR %4")
                                         .arg(Identifier(kTable), plainSerial(&db), Sql("CAST(%1 AS BIGINT)").arg(number),
                                              db.reservedElsewhere(Sql("CAST(%1 AS BIGINT)").arg(number))),
                                     {n}, &ok);
    if (!ok)
        return std::nullopt;
    if (taken.toBool())
        return false;
    const auto others = db.rows(Sql("SELECT %1 FROM %2 WHERE %1 <> '' AND NOT (%3)")
                                    .arg(kSerial, Identifier(kTable), db.isPlainNumber(kSerial)),
                                {}, &ok);
    if (!ok)
        return std::nullopt;
    return std::none_of(others.begin(), others.end(), [&](const QVariantList &row) {
        return serialValue(row.value(0).toString()) == n;
    });
}

std::optional<qint64> reserveNextSerial(platform::Connection *db)
{
    const std::optional<qint64> stored = readLargestSerial(db);
    const std::optional<qint64> held = stored ? largestReserved(*db) : std::nullopt;
    if (!held)
        return std::nullopt;
    // Another station may take the same number at the same moment: the next then.
    for (qint64 n = std::max(*stored, *held) + 1;; ++n) {
        const std::optional<bool> taken = db->reserve(n);
        if (!taken)
            return std::nullopt;
        if (*taken)
            return n;
    }
}

std::optional<qint64> readLargestSerial(platform::Connection *db)
{
    // Plain whole numbers are compared by the engine itself, and the few
    // other texts (blanks, a sign, leading zeros, decimals) come back, when
    // there are any, to be read in the user's number notation.
    // (A server answers each part from an index of its own: indexSerials.)
    const Sql isPlain = db->isPlainNumber(kSerial);
    bool ok = false;
    const Sql largest = Sql("max(%1)").arg(plainSerial(db));
    const auto rows = db->indexesSerials()
                          ? db->rows(Sql("SELECT (SELECT %1 FROM %2), (SELECT count(*) FROM %2 WHERE %3 <> '' AND NOT (%4))")
                                         .arg(largest, Identifier(kTable), kSerial, isPlain),
                                     {}, &ok)
                          : db->rows(Sql("SELECT %1, count(CASE WHEN %2 <> '' AND NOT (%3) THEN 1 END) FROM %4")
                                         .arg(largest, kSerial, isPlain, Identifier(kTable)),
                                     {}, &ok);
    if (!ok || rows.isEmpty())
        return std::nullopt;
    qint64 best = 0;
    if (!rows[0].value(0).isNull())
        best = std::max(best, rows[0].value(0).toLongLong());
    if (rows[0].value(1).toLongLong() > 0) {
        const auto others =
            db->rows(Sql("SELECT %1 FROM %2 WHERE %1 <> '' AND NOT (%3)").arg(kSerial, Identifier(kTable), isPlain), {}, &ok);
        if (!ok)
            return std::nullopt;
        for (const QVariantList &other : others)
            if (auto n = serialValue(other.value(0).toString()))
                best = std::max(best, *n);
    }
    return best;
}

namespace {

qint64 chunkStart(qint64 chunk) { return chunk * (qint64(1) << kChunkBits); }
qint64 chunkEnd(qint64 chunk) { return chunkStart(chunk) + ((qint64(1) << kChunkBits) - 1); }

} // namespace

qint64 dataVersion(platform::Connection *db) { return db->changeCount(); }

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

std::optional<platform::PageSurvey> surveyAlone(platform::Connection *db)
{
    ReadLock lock(db);
    return lock.held() ? db->surveyPages(Identifier(kTable)) : std::nullopt;
}

std::optional<Survey> surveyLog(platform::Connection *db, const std::map<qint64, ChunkState> &known,
                                const platform::PageSurvey *pages, const std::atomic<bool> *stop)
{
    RowidBounds bounds{db};
    if (!bounds.create())
        return std::nullopt;
    Survey out;
    CallSignReader reader;
    // A row read again: its chunk's digest and largest number, its call sign.
    auto readRow = [&](const platform::RowText &row) {
        const qint64 rowid = row.text(0).toLongLong();
        ChunkState &state = out.chunks.try_emplace(chunkOf(rowid), ChunkState{quint64(0), qint64(0)}).first->second;
        *state.digest += rowDigest(row);
        if (!row.isNull(1))
            if (const auto n = storedSerial(row.text(1)))
                state.largest = std::max(*state.largest, *n);
        if (auto s = reader.read(row, 2))
            out.rows.push_back({s->key(), rowid});
        return rowid;
    };
    // The whole chunks from the one of lo to the one of hi read again: those
    // known there are replaced, gone or not, and so are those rows land in.
    const Sql between = rowsSelect(Sql("WHERE rowid BETWEEN (SELECT lo FROM sequanel_bounds) "
                                       "AND (SELECT hi FROM sequanel_bounds)"));
    auto readAgain = [&](qint64 lo, qint64 hi) {
        if ((stop && stop->load()) || !bounds.set(chunkStart(chunkOf(lo)), chunkEnd(chunkOf(hi))))
            return false;
        for (auto k = known.lower_bound(chunkOf(lo)); k != known.end() && k->first <= chunkOf(hi); ++k)
            out.replaced.push_back(k->first);
        return db->forEachRow(between, [&](const platform::RowText &row) {
            const qint64 chunk = chunkOf(readRow(row));
            if (out.replaced.empty() || out.replaced.back() != chunk)
                out.replaced.push_back(chunk);
            return true;
        });
    };
    auto finish = [&] {
        std::sort(out.replaced.begin(), out.replaced.end());
        out.replaced.erase(std::unique(out.replaced.begin(), out.replaced.end()), out.replaced.end());
        return std::optional<Survey>(std::move(out));
    };

    if (!known.empty() && pages) {
        // The rows of the pages that differ, and of the chunks the window
        // changed, read again while no other program can commit: the pages
        // surveyed are those of the rows read.
        ReadLock lock(db);
        if (!lock.held())
            return std::nullopt;
        auto now = db->surveyPages(Identifier(kTable));
        const auto changed = now ? platform::changedRowids(*pages, *now) : std::nullopt;
        if (changed) {
            std::vector<platform::RowidRange> spans = *changed;
            for (const auto &[chunk, state] : known)
                if (!state.digest)
                    spans.push_back({chunkStart(chunk), chunkEnd(chunk)});
            std::sort(spans.begin(), spans.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
            std::optional<qint64> next; // the chunks before this one are read
            for (const platform::RowidRange &span : spans) {
                const qint64 from = next ? std::max(*next, chunkOf(span.first)) : chunkOf(span.first);
                if (from > chunkOf(span.last))
                    continue;
                if (!readAgain(chunkStart(from), span.last))
                    return std::nullopt;
                next = chunkOf(span.last) + 1;
            }
            out.pages = std::make_shared<const platform::PageSurvey>(std::move(*now));
            return finish();
        }
    }

    // The pages are surveyed before the rows are read: a change committed
    // meanwhile shows in the next survey, whose pages then differ from these.
    const std::optional<platform::PageSurvey> before = surveyAlone(db);
    if (known.empty()) {
        // Nothing known: every row is read, kRowsPerStatement at a time.
        const Sql sql = rowsSelect(Sql("WHERE rowid > (SELECT lo FROM sequanel_bounds) ORDER BY rowid LIMIT 4096"));
        static_assert(kRowsPerStatement == 4096);
        qint64 after = std::numeric_limits<qint64>::min();
        for (int read = kRowsPerStatement; read == kRowsPerStatement;) {
            if ((stop && stop->load()) || !bounds.set(after, 0))
                return std::nullopt;
            read = 0;
            if (!db->forEachRow(sql, [&](const platform::RowText &row) {
                    after = readRow(row);
                    ++read;
                    return true;
                }))
                return std::nullopt;
        }
        for (const auto &c : out.chunks)
            out.replaced.push_back(c.first);
    } else {
        // Which chunks differ from what is known, and which are gone.
        const auto digests = chunkDigests(db, bounds, stop);
        if (!digests)
            return std::nullopt;
        for (const auto &k : known)
            if (!digests->contains(k.first))
                out.replaced.push_back(k.first); // every row of it is gone
        // The differing chunks read again, one statement each: their digests
        // are worked out from the very rows read.
        for (const auto &[chunk, digest] : *digests) {
            const auto k = known.find(chunk);
            if ((k == known.end() || k->second.digest != digest) && !readAgain(chunkStart(chunk), chunkStart(chunk)))
                return std::nullopt;
        }
    }
    if (before)
        out.pages = std::make_shared<const platform::PageSurvey>(std::move(*before));
    return finish();
}

// ------------------------------------------------------------------ LogIndex

namespace {
std::function<void()> &readingGate()
{
    static std::function<void()> gate;
    return gate;
}
} // namespace

void setReadingGate(std::function<void()> gate) { readingGate() = std::move(gate); }

LogIndex::LogIndex(QObject *parent) : QObject(parent)
{
    m_pool.setMaxThreadCount(1);
    m_pool.setThreadPriority(QThread::LowPriority);
    m_retry.setSingleShot(true);
    m_retry.setInterval(kRetryMs);
    connect(&m_retry, &QTimer::timeout, this, [this] { startSurvey(); });
    m_later.setSingleShot(true);
    connect(&m_later, &QTimer::timeout, this, [this] { poll(m_db); });
    connect(&m_serialWatcher, &QFutureWatcherBase::finished, this, &LogIndex::serialRead);
    connect(&m_surveyWatcher, &QFutureWatcherBase::finished, this, &LogIndex::surveyDone);
}

LogIndex::~LogIndex()
{
    if (m_stop)
        *m_stop = true;
    m_pool.waitForDone();
}

// Everything known of the previous log is dropped and the new one read.
void LogIndex::open(platform::Connection *db)
{
    m_retry.stop();
    m_later.stop();
    if (m_stop)
        *m_stop = true; // the reading under way is for a file no longer wanted
    m_reading = false;
    m_db = db;
    m_version = -1;
    m_stale = true;
    ++m_generation;
    m_callSigns.reset();
    m_chunks.clear();
    m_pages.reset();
    m_notesWhileReading.clear();
    m_largest.reset();
    m_storedWhilePending.reset();
    m_serialPending = db != nullptr;
    if (db)
        startSurvey();
}

bool LogIndex::current(platform::Connection *db) const { return db && db == m_db && !m_stale; }

bool LogIndex::poll(platform::Connection *db)
{
    // While a reading runs or waits to be tried again, the file is not asked:
    // a file that another program holds would keep the window waiting.
    if (!db || db != m_db || m_reading || m_retry.isActive() || m_later.isActive())
        return true;
    const qint64 v = dataVersion(db);
    if (v >= 0 && m_version >= 0 && v != m_version)
        emit written();
    if (v < 0 || v != m_version || m_stale) {
        // What is known answers meanwhile.
        const qint64 since = m_lastReading.isValid() ? m_lastReading.elapsed() : kReadingGapMs;
        if (!m_stale && v >= 0 && m_version >= 0 && since < kReadingGapMs)
            m_later.start(int(kReadingGapMs - since));
        else
            startSurvey(v);
    }
    return v >= 0;
}

void LogIndex::startSurvey(std::optional<qint64> version)
{
    if (!m_db || m_reading)
        return;
    m_retry.stop();
    m_later.stop();
    // Read before the reading starts: later changes move it again.
    m_surveyVersion = version ? *version : dataVersion(m_db);
    const bool wasStale = m_stale;
    m_stale = true;
    m_reading = true;
    m_notesWhileReading.clear();
    m_stop = std::make_shared<std::atomic<bool>>(false);

    const bool first = m_serialPending;
    if (first)
        m_firstVersion = m_surveyVersion;
    QPromise<std::optional<qint64>> serial;
    if (first)
        m_serialReading = serial.future();
    m_survey = QtConcurrent::run(&m_pool, [path = m_db->path(), stop = m_stop, known = m_chunks, pages = m_pages,
                                           first, serial = std::move(serial), gate = readingGate()]() mutable
                                          -> std::optional<Survey> {
        platform::EngineError e;
        auto own = readingConnection(path, &e);
        if (first) {
            serial.start();
            if (own && !stop->load())
                serial.addResult(readLargestSerial(own.get()));
            serial.finish();
        }
        std::optional<Survey> survey = own ? surveyLog(own.get(), known, pages.get(), stop.get()) : std::nullopt;
        if (gate)
            gate();
        return survey;
    });
    if (first)
        m_serialWatcher.setFuture(m_serialReading);
    m_surveyWatcher.setFuture(m_survey);
    if (!wasStale)
        emit changed(); // the answers are not known until the reading is over
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

void LogIndex::surveyDone()
{
    if (!m_reading || !m_survey.isFinished())
        return; // a reading of a file no longer open
    m_reading = false;
    m_lastReading.start();
    serialRead();
    std::optional<Survey> survey = m_survey.takeResult();
    if (!survey) {
        // Not known yet: what was known stays, and the reading is tried again.
        m_retry.start();
        return;
    }
    if (!m_callSigns)
        m_callSigns.emplace();
    m_callSigns->replaceChunks(survey->replaced, kChunkBits, std::move(survey->rows));
    for (qint64 chunk : survey->replaced)
        m_chunks.erase(chunk);
    m_chunks.merge(survey->chunks);
    m_pages = std::move(survey->pages);
    m_version = m_surveyVersion;
    // The window's changes made meanwhile may be missing from what was read.
    const std::vector<Note> notes = std::move(m_notesWhileReading);
    m_notesWhileReading.clear();
    for (const Note &n : notes)
        apply(n);
    recomputeLargest();
    m_stale = false;
    ++m_generation;
    poll(m_db); // changed again meanwhile: read again
    emit changed();
}

void LogIndex::recomputeLargest()
{
    std::optional<qint64> largest = qint64(0);
    for (const auto &c : m_chunks)
        largest = c.second.largest && largest ? std::optional(std::max(*largest, *c.second.largest)) : std::nullopt;
    m_largest = largest;
}

std::optional<qint64> LogIndex::largestSerial(platform::Connection *db)
{
    if (!db)
        return qint64(0);
    if (!poll(db))
        return std::nullopt; // the file is busy: asked once only
    if (m_serialPending && db == m_db) {
        m_serialReading.waitForFinished(); // the reading of this file gives it first: wait for it
        serialRead();
    }
    // Right after opening, the first statement's answer, when nobody has
    // written since it was read. (Another program's change not read yet,
    // m_later, is counted by the statement.)
    const bool behind = m_later.isActive();
    if (m_largest && db == m_db && ((!m_stale && !behind) || (!m_callSigns && dataVersion(db) == m_firstVersion)))
        return m_largest;
    const std::optional<qint64> v = readLargestSerial(db);
    if (v && current(db) && !behind)
        m_largest = v;
    return v;
}

std::optional<qint64> LogIndex::largestSerialLocked(platform::Connection &db)
{
    if (&db == m_db && m_largest && m_callSigns && !m_stale && dataVersion(&db) == m_version)
        return m_largest;
    return readLargestSerial(&db);
}

// ------------------------------------------------------------------ the window's changes

void LogIndex::apply(const Note &n)
{
    auto chunk = m_chunks.find(chunkOf(n.rowid));
    if (chunk == m_chunks.end() && n.added)
        chunk = m_chunks.emplace(chunkOf(n.rowid), ChunkState{std::nullopt, qint64(0)}).first;
    if (chunk != m_chunks.end()) {
        chunk->second.digest.reset(); // read again by the next reading
        if (n.serial && n.added && chunk->second.largest)
            chunk->second.largest = std::max(*chunk->second.largest, *n.serial);
        else if (n.serial && !n.added && (!chunk->second.largest || *n.serial >= *chunk->second.largest))
            chunk->second.largest.reset();
    }
    if (n.key && m_callSigns)
        n.added ? m_callSigns->add(*n.key, n.rowid) : m_callSigns->remove(*n.key, n.rowid);
}

void LogIndex::note(const Note &n)
{
    ++m_generation;
    emit written();
    if (m_reading)
        m_notesWhileReading.push_back(n);
    apply(n);
    if (n.serial && n.added) {
        if (m_serialPending)
            m_storedWhilePending = std::max(m_storedWhilePending.value_or(*n.serial), *n.serial);
        if (m_largest)
            m_largest = std::max(*m_largest, *n.serial);
    } else if (n.serial && (m_serialPending || (m_largest && *n.serial >= *m_largest))) {
        // The largest number may be gone: read again when asked. A first
        // answer not taken yet may have been made before the change.
        m_largest.reset();
        m_storedWhilePending.reset();
        m_serialPending = false;
    }
}

namespace {
// A stored date as the seconds of its wall clock, compared without a time
// zone: the local time of each row would cost a call into the C library's
// zone code (and a time in the spring gap would move).
std::optional<qint64> wallClockOf(const QString &stored)
{
    auto seconds = [](QDate day, QTime time) { return day.toJulianDay() * 86400 + time.msecsSinceStartOfDay() / 1000; };
    // "yyyy-MM-dd HH:mm:ss", as the program stores a date, read digit by digit
    auto number = [&](int from, int n) {
        int v = 0;
        for (int i = from; i < from + n; ++i) {
            const char16_t c = stored[i].unicode();
            if (c < u'0' || c > u'9')
                return -1;
            v = v * 10 + (c - u'0');
        }
        return v;
    };
    if (stored.size() == 19 && stored[4] == u'-' && stored[7] == u'-' && stored[10] == u' ' && stored[13] == u':'
        && stored[16] == u':') {
        const QDate day(number(0, 4), number(5, 2), number(8, 2));
        const QTime time(number(11, 2), number(14, 2), number(17, 2));
        if (day.isValid() && time.isValid())
            return seconds(day, time);
    }
    if (const auto v = platform::fromStorage(stored))
        return seconds(v->date(), v->time());
    return std::nullopt;
}

std::optional<quint64> keyOf(const QVariantList &callSign)
{
    const auto sign = readCallSign(callSign);
    return sign ? std::optional(sign->key()) : std::nullopt;
}
} // namespace

void LogIndex::noteStored(std::optional<qint64> rowid, const IndexedContact &contact)
{
    if (rowid) {
        note({*rowid, keyOf(contact.callSign), true, serialValue(contact.serial)});
    } else if (m_db) {
        // The new row cannot be told: it is found as another program's change.
        m_version = -1;
        m_largest.reset();
        poll(m_db);
    }
}

void LogIndex::noteChanged(qint64 rowid, const IndexedContact &before, const IndexedContact &after)
{
    const auto b = serialValue(before.serial), a = serialValue(after.serial);
    note({rowid, keyOf(before.callSign), false, b && (!a || *a < *b) ? b : std::nullopt});
    note({rowid, keyOf(after.callSign), true, a});
}

void LogIndex::noteRemoved(qint64 rowid, const IndexedContact &contact)
{
    note({rowid, keyOf(contact.callSign), false, serialValue(contact.serial)});
}

// ------------------------------------------------------------------ lookups

std::optional<Worked> LogIndex::worked(platform::Connection *db, const QVariantList &callSign,
                                       std::optional<qint64> except)
{
    const auto sign = readCallSign(callSign);
    if (!sign || !db)
        return Worked{};
    poll(db);
    if (!current(db) || !m_callSigns)
        return std::nullopt;
    if (m_lastWorked && m_lastWorked->generation == m_generation && m_lastWorked->sign == *sign
        && m_lastWorked->except == except)
        return m_lastWorked->answer;
    // Every row of the key is read and checked (two call signs may share a
    // key); the latest is the one of the latest date, then the last stored.
    Worked w;
    std::optional<qint64> latest; // the date of w's contact (wallClockOf)
    QString latestText;
    std::vector<qint64> wanted = m_callSigns->rowids(sign->key());
    if (except)
        std::erase(wanted, *except);
    // Read by batches of rowids, not one statement a row: on a server each
    // statement is a round trip, and a call sign worked hundreds of times
    // would cost as many at every keystroke.
    constexpr std::size_t kBatch = 128;
    for (std::size_t from = 0; from < wanted.size(); from += kBatch) {
        // Always kBatch places (the last batch's spare ones NULL, which no
        // rowid equals): one statement text, prepared once.
        QVector<Sql> places;
        QVariantList values;
        for (std::size_t i = 0; i < kBatch; ++i) {
            places.append(Sql::parameter(int(i) + 1));
            values.append(from + i < wanted.size() ? QVariant(wanted[from + i]) : QVariant(QMetaType::fromType<qint64>()));
        }
        const Sql sql = Sql("SELECT %1, %2, %3 FROM %4 WHERE rowid IN (%5) ORDER BY rowid")
                            .arg(kSerial, kDate, callSignList(), Identifier(kTable), Sql::join(places, Sql(", ")));
        bool ok = false;
        const auto rows = db->rows(sql, values, &ok);
        if (!ok) {
            // Not known after all: read again (tried again while it fails).
            m_version = -1;
            poll(db);
            return std::nullopt;
        }
        for (const QVariantList &row : rows) {
            if (readCallSign(row.mid(2)) != *sign)
                continue;
            const auto date = wallClockOf(row.value(1).toString());
            // (rows come in rowid order: a tie goes to the last stored; no date is before any)
            const bool later = w.count == 0 || !latest || (date && *date >= *latest);
            ++w.count;
            if (later) {
                w.serial = row.value(0).toString();
                latest = date;
                latestText = row.value(1).toString();
            }
        }
    }
    if (latest)
        w.date = platform::fromStorage(latestText).value_or(QDateTime());
    m_lastWorked = LastWorked{m_generation, *sign, except, w};
    return w;
}

} // namespace logfile
