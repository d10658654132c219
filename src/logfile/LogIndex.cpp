#include "LogIndex.h"

#include "Engine.h"
#include "LogFile.h"
#include "Regional.h"

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

// A failed reading is tried again after this long.
constexpr int kRetryMs = 1000;
// The log is read again no sooner than this after the last reading ended: on
// a log that several stations fill at once a reading would otherwise follow
// the last all the time, and slow every store; the window's own stores made
// meanwhile are read together.
constexpr int kReadingGapMs = 250;

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

std::optional<qint64> readLargestSerial(platform::Connection *db, std::optional<platform::RowidRange> range)
{
    // Plain whole numbers are compared by the engine itself, and the few
    // other texts (blanks, a sign, leading zeros, decimals) come back, when
    // there are any, to be read in the user's number notation.
    // (A server answers each part from an index of its own, for the whole
    // table at once: indexSerials.)
    const Sql isPlain = db->isPlainNumber(kSerial);
    const bool indexed = db->indexesSerials();
    const Sql within = range && !indexed ? Sql("rowid BETWEEN ?1 AND ?2") : Sql("1 = 1");
    const QVariantList bounds = range && !indexed ? QVariantList{range->first, range->last} : QVariantList{};
    bool ok = false;
    const Sql largest = Sql("max(%1)").arg(plainSerial(db));
    const auto rows = indexed
                          ? db->rows(Sql("SELECT (SELECT %1 FROM %2), (SELECT count(*) FROM %2 WHERE %3 <> '' AND NOT (%4))")
                                         .arg(largest, Identifier(kTable), kSerial, isPlain),
                                     {}, &ok)
                          : db->rows(Sql("SELECT %1, count(CASE WHEN %2 <> '' AND NOT (%3) THEN 1 END) FROM %4 WHERE %5")
                                         .arg(largest, kSerial, isPlain, Identifier(kTable), within),
                                     bounds, &ok);
    if (!ok || rows.isEmpty())
        return std::nullopt;
    qint64 best = 0;
    if (!rows[0].value(0).isNull())
        best = std::max(best, rows[0].value(0).toLongLong());
    if (rows[0].value(1).toLongLong() > 0) {
        const auto others = db->rows(Sql("SELECT %1 FROM %2 WHERE %1 <> '' AND NOT (%3) AND %4")
                                         .arg(kSerial, Identifier(kTable), isPlain, within),
                                     bounds, &ok);
        if (!ok)
            return std::nullopt;
        for (const QVariantList &other : others)
            if (auto n = serialValue(other.value(0).toString()))
                best = std::max(best, *n);
    }
    return best;
}

// ------------------------------------------------------------------ LogIndex

LogIndex::LogIndex(QObject *parent) : QObject(parent)
{
    m_pool.setMaxThreadCount(2);
    m_pool.setThreadPriority(QThread::LowPriority);
    m_retry.setSingleShot(true);
    m_retry.setInterval(kRetryMs);
    connect(&m_retry, &QTimer::timeout, this, [this] { startReading(); });
    m_later.setSingleShot(true);
    connect(&m_later, &QTimer::timeout, this, [this] { poll(m_db); });
    m_soon.setSingleShot(true);
    connect(&m_soon, &QTimer::timeout, this, [this] { startReading(); });
    connect(&m_readerWatcher, &QFutureWatcherBase::finished, this, &LogIndex::readingDone);
    connect(&m_sumWatcher, &QFutureWatcherBase::finished, this, &LogIndex::summed);
    m_heldTimer.setSingleShot(true);
    m_heldTimer.setInterval(10);
    connect(&m_heldTimer, &QTimer::timeout, this, [this] {
        const int held = std::exchange(m_held, 0);
        if (held & HeldDone)
            readingDone();
        if (held & HeldSummed)
            summed();
        if (held & HeldStart)
            startReading();
    });
}

// While a statement of the window's thread waits for a server, the window's
// events run: a reading that ends or starts meanwhile would change the
// index under the statement's caller (a store settling its number with
// it). It waits for the statement's end instead.
bool LogIndex::holdBack(Held what)
{
    if (!platform::waitingForServer())
        return false;
    m_held |= what;
    if (!m_heldTimer.isActive())
        m_heldTimer.start();
    return true;
}

LogIndex::~LogIndex()
{
    if (m_stop)
        *m_stop = true;
    m_pool.waitForDone();
}

void LogIndex::setConsumer(std::function<std::shared_ptr<RowConsumer>()> make) { m_makeConsumer = std::move(make); }

// Everything known of the previous log is dropped and the new one read.
void LogIndex::open(platform::Connection *db)
{
    m_retry.stop();
    m_later.stop();
    m_soon.stop();
    m_held = 0;
    m_heldTimer.stop();
    if (m_stop)
        *m_stop = true; // the reading under way is for a log no longer wanted
    m_reading = false;
    m_summing = false;
    m_again = false;
    m_db = db;
    m_version = -1;
    m_stale = true;
    ++m_generation;
    m_callSigns.reset();
    m_chunks.clear();
    m_survey.reset();
    m_notesWhileReading.clear();
    m_largest.reset();
    m_largestAt = -1;
    m_firstVersion = -1;
    m_consumer = db && m_makeConsumer ? m_makeConsumer() : nullptr;
    m_rowsRead = 0;
    if (db)
        startReading();
    setReading(reading());
}

bool LogIndex::current(platform::Connection *db) const { return db && db == m_db && !m_stale; }

bool LogIndex::reading() const { return m_reading || m_soon.isActive() || m_later.isActive(); }

void LogIndex::setReading(bool reading)
{
    if (reading != m_shownReading) {
        m_shownReading = reading;
        emit readingChanged(reading);
    }
}

int LogIndex::gapLeft() const
{
    return m_lastReading.isValid() ? int(std::max<qint64>(0, kReadingGapMs - m_lastReading.elapsed())) : 0;
}

void LogIndex::soon()
{
    if (!m_db)
        return;
    if (m_reading) {
        m_again = true;
        return;
    }
    if (!m_soon.isActive())
        m_soon.start(gapLeft());
    setReading(true);
}

void LogIndex::refresh() { soon(); }

bool LogIndex::poll(platform::Connection *db)
{
    // While a reading runs or waits to be tried again, the log is not asked:
    // a file that another program holds would keep the window waiting.
    if (!db || db != m_db || m_reading || m_retry.isActive() || m_later.isActive() || platform::waitingForServer())
        return true;
    const qint64 v = db->changeCount();
    if (v >= 0 && m_version >= 0 && v != m_version)
        emit written();
    if (v < 0 || v != m_version || m_stale) {
        // What is known answers meanwhile.
        const qint64 since = m_lastReading.isValid() ? m_lastReading.elapsed() : kReadingGapMs;
        if (!m_stale && v >= 0 && m_version >= 0 && since < kReadingGapMs) {
            m_later.start(int(kReadingGapMs - since));
            setReading(true);
        } else {
            startReading(v);
        }
    }
    return v >= 0;
}

void LogIndex::startReading(std::optional<qint64> version)
{
    if (!m_db || m_reading || holdBack(HeldStart))
        return;
    m_retry.stop();
    m_later.stop();
    m_soon.stop();
    // Read before the reading starts: later changes move it again.
    const qint64 v = version ? *version : m_db->changeCount();
    // Nobody else wrote since what is known was read: only the chunks the
    // window changed are read again, and the answers stay known meanwhile.
    const bool own = !m_stale && v >= 0 && v == m_version;
    m_readingVersion = v;
    const bool wasStale = m_stale;
    m_stale = m_stale || !own;
    m_reading = true;
    m_again = false;
    m_notesWhileReading.clear();
    m_stop = std::make_shared<std::atomic<bool>>(false);
    const QString path = m_db->path();

    Known known{m_chunks, m_survey, !own};
    m_reader = QtConcurrent::run(&m_pool, [path, stop = m_stop, known = std::move(known), consumer = m_consumer,
                                           pool = &m_pool, gate = readingGate()]() -> std::optional<Reading> {
        platform::EngineError e;
        const auto db = readingConnection(path, &e);
        std::optional<Reading> reading = db ? readLog(db.get(), known, consumer.get(), stop.get(), pool, gate) : std::nullopt;
        if (gate)
            gate(ReadingPoint::Done);
        return reading;
    });
    m_readerWatcher.setFuture(m_reader);
    setReading(true);
    if (!wasStale && m_stale)
        emit changed(); // the answers are not known until the reading is over
}

void LogIndex::readingDone()
{
    if (!m_reading || !m_reader.isFinished())
        return; // a reading of a log no longer open
    if (holdBack(HeldDone))
        return;
    std::optional<Reading> result = m_reader.takeResult();
    if (!result) {
        // Not known yet: what was known stays, and the reading is tried again.
        m_reading = false;
        m_lastReading.start();
        m_retry.start();
        setReading(reading());
        return;
    }
    m_rowsRead = result->rowsRead;
    if (!m_callSigns)
        m_callSigns.emplace(kChunkBits);
    m_callSigns->replaceChunks(result->replaced, kChunkBits, std::move(result->rows));
    for (qint64 chunk : result->replaced)
        m_chunks.erase(chunk);
    m_chunks.merge(result->chunks);
    m_survey = std::move(result->survey);
    m_version = m_readingVersion;
    // The window's changes made meanwhile may be missing from what was read:
    // made again, and their chunks read again.
    const std::vector<Note> notes = std::move(m_notesWhileReading);
    m_notesWhileReading.clear();
    for (const Note &n : notes)
        apply(n);
    recomputeLargest();
    // Known, unless another program wrote during the reading (the reading
    // after this one brings it up to date).
    m_stale = m_db->changeCount() != m_version;
    ++m_generation;
    emit changed();
    // Then what the consumer makes of the rows, on the reading's thread: the
    // reading is over once it is done.
    if (m_consumer) {
        m_summing = true;
        m_sumWatcher.setFuture(QtConcurrent::run(&m_pool, [consumer = m_consumer] { consumer->sum(); }));
    } else {
        summed();
    }
}

void LogIndex::summed()
{
    if (!m_reading || holdBack(HeldSummed))
        return;
    if (m_consumer && !std::exchange(m_summing, false))
        return; // a sum for a log no longer open
    m_reading = false;
    m_lastReading.start();
    emit read();
    poll(m_db); // changed again meanwhile: read again
    if (!m_reading && std::exchange(m_again, false))
        soon();
    setReading(reading());
}

void LogIndex::recomputeLargest()
{
    std::optional<qint64> largest = qint64(0);
    for (const auto &c : m_chunks)
        largest = c.second.largest && largest ? std::optional(std::max(*largest, *c.second.largest)) : std::nullopt;
    m_largest = largest;
    m_largestAt = m_version;
}

std::optional<qint64> LogIndex::largestSerial(platform::Connection *db)
{
    if (!db)
        return qint64(0);
    if (!poll(db))
        return std::nullopt; // the file is busy: asked once only
    if (db != m_db)
        return readLargestSerial(db); // another log: nothing of it is known here
    // What is known, when nobody has written since it was. (Another
    // program's change not read yet, m_later, is counted by the statement.)
    // (A reading under way has not asked the log: its count is asked here.)
    const bool behind = m_later.isActive();
    const qint64 version = m_largest ? db->changeCount() : -1;
    if (m_largest && version >= 0
        && ((!m_stale && !behind && version == m_version) || (!m_callSigns && version == m_firstVersion)
            || version == m_largestAt))
        return m_largest;
    if (!m_callSigns) {
        // The first reading is not over: one statement, kept until another
        // program writes.
        const qint64 before = db->changeCount();
        const std::optional<qint64> v = readLargestSerial(db);
        if (v) {
            m_largest = v;
            m_firstVersion = before;
        }
        return v;
    }
    // (Worked out from the changes since the survey kept, another program's
    // among them: kept until the log changes again.)
    const qint64 at = db->changeCount();
    const std::optional<qint64> v = knownLargest(*db, false);
    if (v && at >= 0) {
        m_largest = v;
        m_largestAt = at;
    }
    return v;
}

std::optional<qint64> LogIndex::largestSerialLocked(platform::Connection &db)
{
    if (&db == m_db && m_largest) {
        const qint64 version = db.changeCount();
        if (version >= 0 && (version == (m_callSigns ? m_version : m_firstVersion) || version == m_largestAt))
            return m_largest;
    }
    return knownLargest(db, true);
}

std::optional<qint64> LogIndex::knownLargest(platform::Connection &db, bool locked)
{
    // Nothing known of this log: every row (a server answers from its indexes).
    if (&db != m_db || !m_callSigns || db.indexesSerials())
        return readLargestSerial(&db);
    std::optional<ReadLock> lock;
    if (!locked && !lock.emplace(&db).held())
        return std::nullopt;
    // The chunks whose largest number is not known, and those of the parts of
    // the table another program changed since the survey kept.
    std::vector<platform::RowidRange> spans;
    if (db.changeCount() != m_version) {
        auto now = m_survey ? db.surveyTable(Identifier(kTable)) : std::nullopt;
        const auto changed = now ? platform::changedRowids(*m_survey, *now) : std::nullopt;
        if (!changed)
            return readLargestSerial(&db);
        spans = *changed;
    }
    for (const auto &[chunk, state] : m_chunks)
        if (!state.largest)
            spans.push_back({chunkStart(chunk), chunkEnd(chunk)});
    for (platform::RowidRange &span : spans)
        span = {chunkStart(chunkOf(span.first)), chunkEnd(chunkOf(span.last))};
    std::sort(spans.begin(), spans.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
    std::vector<platform::RowidRange> whole;
    for (const platform::RowidRange &span : spans)
        if (!whole.empty() && span.first <= whole.back().last + 1)
            whole.back().last = std::max(whole.back().last, span.last);
        else
            whole.push_back(span);
    qint64 best = 0;
    for (const auto &[chunk, state] : m_chunks) {
        const auto after = std::upper_bound(whole.begin(), whole.end(), chunkStart(chunk),
                                            [](qint64 rowid, const platform::RowidRange &s) { return rowid < s.first; });
        if (state.largest && (after == whole.begin() || std::prev(after)->last < chunkStart(chunk)))
            best = std::max(best, *state.largest);
    }
    for (const platform::RowidRange &span : whole) {
        const std::optional<qint64> n = readLargestSerial(&db, span);
        if (!n)
            return std::nullopt;
        best = std::max(best, *n);
    }
    return best;
}

std::optional<CallSignSet::KeyCounts> LogIndex::callSignCounts() const
{
    if (!m_callSigns || m_stale)
        return std::nullopt;
    return m_callSigns->keyCounts();
}

// ------------------------------------------------------------------ the window's changes

void LogIndex::apply(const Note &n)
{
    auto chunk = m_chunks.find(chunkOf(n.rowid));
    if (chunk == m_chunks.end() && n.added)
        chunk = m_chunks.emplace(chunkOf(n.rowid), ChunkState{false, qint64(0)}).first;
    if (chunk != m_chunks.end()) {
        chunk->second.current = false; // read again by the next reading
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
        if (m_largest)
            m_largest = std::max(*m_largest, *n.serial);
    } else if (n.serial && m_largest && *n.serial >= *m_largest) {
        m_largest.reset(); // the largest number may be gone: worked out again when asked
    }
    soon();
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
