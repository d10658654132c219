#include "Tally.h"
#include "Messages.h"

#include "CallSigns.h"
#include "Engine.h"
#include "LogFile.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <map>
#include <mutex>
#include <string>
#include <string_view>

namespace statistics {

using platform::Identifier;
using platform::Sql;

namespace {

bool digits(QByteArrayView t, qsizetype from, qsizetype n, int *value)
{
    int v = 0;
    for (qsizetype i = from; i < from + n; ++i) {
        const char c = t[i];
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + (c - '0');
    }
    *value = v;
    return true;
}

QByteArrayView trimmed(QByteArrayView t)
{
    while (!t.isEmpty() && (t.front() == ' ' || t.front() == '\t'))
        t = t.sliced(1);
    while (!t.isEmpty() && (t.back() == ' ' || t.back() == '\t'))
        t.chop(1);
    return t;
}

QString textLabel(const QByteArray &stored)
{
    return stored.isEmpty() ? msg::statsEmptyValue() : QString::fromUtf8(stored);
}

} // namespace

std::optional<QString> departmentOf(QByteArrayView postalCode)
{
    const QByteArrayView code = trimmed(postalCode);
    int value = 0;
    if (code.size() != 5 || !digits(code, 0, 5, &value))
        return std::nullopt;
    const int two = value / 1000;
    if (two == 20)
        return value < 20200 ? QStringLiteral("2A") : QStringLiteral("2B");
    if (two == 97)
        return QString::number(value / 100);
    if (two < 1 || two > 95)
        return std::nullopt;
    return QStringLiteral("%1").arg(two, 2, 10, QLatin1Char('0'));
}

std::optional<qint64> DateReader::read(QByteArrayView t)
{
    t = trimmed(t);
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    if (t.size() < 10 || !digits(t, 0, 4, &y) || t[4] != '-' || !digits(t, 5, 2, &mo) || t[7] != '-'
        || !digits(t, 8, 2, &d))
        return std::nullopt;
    if (t.size() != 10) {
        if ((t.size() != 16 && t.size() != 19) || (t[10] != ' ' && t[10] != 'T') || !digits(t, 11, 2, &h)
            || t[13] != ':' || !digits(t, 14, 2, &mi) || h > 23 || mi > 59)
            return std::nullopt;
        if (t.size() == 19 && (t[16] != ':' || !digits(t, 17, 2, &s) || s > 59))
            return std::nullopt;
    }
    if (y <= 1899)
        return std::nullopt;
    // Rows come in order: most fall in the day of the row before.
    const qint64 dayKey = (qint64(y) * 100 + mo) * 100 + d;
    if (dayKey != m_dayKey) {
        const QDate day(y, mo, d);
        if (!day.isValid())
            return std::nullopt;
        const QDateTime start(day, QTime(0, 0)), next(day.addDays(1), QTime(0, 0));
        m_evenDay = start.isValid() && next.isValid() && next.toSecsSinceEpoch() - start.toSecsSinceEpoch() == 86400;
        m_dayStart = start.toSecsSinceEpoch();
        m_dayKey = dayKey;
    }
    if (m_evenDay)
        return m_dayStart + h * 3600 + mi * 60 + s;
    // A day the time changes: each hour of it converted.
    const qint64 key = dayKey * 100 + h;
    if (key != m_hourKey) {
        const QDateTime start(QDate(y, mo, d), QTime(h, 0));
        if (!start.isValid()) // an hour the change to summer time skips
            return std::nullopt;
        m_hourStart = start.toSecsSinceEpoch();
        m_hourKey = key;
    }
    return m_hourStart + mi * 60 + s;
}

namespace {

// The values of sorted runs in order, one at a time, without copying them.
// Runs that follow one another (a log kept in the order of its contacts) are
// read one after the other; others are merged.
template <typename T> class Merged
{
public:
    explicit Merged(const std::vector<const std::vector<T> *> &runs)
    {
        for (const std::vector<T> *run : runs)
            if (!run->empty())
                m_heads.push_back({run->data(), run->data() + run->size()});
        std::sort(m_heads.begin(), m_heads.end(), [](const Head &a, const Head &b) { return *a.at < *b.at; });
        m_inTurn = std::adjacent_find(m_heads.begin(), m_heads.end(),
                                      [](const Head &a, const Head &b) { return *(a.end - 1) > *b.at; })
                   == m_heads.end();
        if (!m_inTurn)
            std::make_heap(m_heads.begin(), m_heads.end(), later);
    }
    bool atEnd() const { return m_inTurn ? m_turn == m_heads.size() : m_heads.empty(); }
    T value() const { return m_inTurn ? *m_heads[m_turn].at : *m_heads.front().at; }
    void next()
    {
        if (m_inTurn) {
            if (++m_heads[m_turn].at == m_heads[m_turn].end)
                ++m_turn;
            return;
        }
        std::pop_heap(m_heads.begin(), m_heads.end(), later);
        if (++m_heads.back().at == m_heads.back().end)
            m_heads.pop_back();
        else
            std::push_heap(m_heads.begin(), m_heads.end(), later);
    }

private:
    struct Head {
        const T *at, *end;
    };
    static bool later(const Head &a, const Head &b) { return *a.at > *b.at; }
    std::vector<Head> m_heads;
    bool m_inTurn = false;
    size_t m_turn = 0;
};

Merged<qint64> mergedTimes(const Times &times)
{
    std::vector<const std::vector<qint64> *> runs;
    for (const Times::Run &run : times.runs())
        runs.push_back(run.get());
    return Merged<qint64>(runs);
}

// A 64-bit hash of a short text, eight bytes at a time.
quint64 bytesHash(std::string_view v)
{
    quint64 h = 0x9E3779B97F4A7C15ull ^ quint64(v.size());
    size_t i = 0;
    for (; i + 8 <= v.size(); i += 8) {
        quint64 w;
        std::memcpy(&w, v.data() + i, 8);
        h = (h ^ w) * 0xFF51AFD7ED558CCDull;
        h ^= h >> 32;
    }
    quint64 w = 0;
    if (i < v.size()) // (an empty text may have no bytes at all)
        std::memcpy(&w, v.data() + i, v.size() - i);
    h = (h ^ w) * 0xC4CEB9FE1A85EC53ull;
    return h ^ (h >> 29);
}

// The values met in a column, each given a number once, by their stored
// bytes: a log's values come from short lists, and are counted by number.
class Values
{
public:
    quint32 number(std::string_view v)
    {
        if ((m_values.size() + 1) * 2 > m_slots.size())
            grow();
        const size_t mask = m_slots.size() - 1;
        for (size_t i = bytesHash(v) & mask;; i = (i + 1) & mask) {
            const quint32 slot = m_slots[i];
            if (slot == 0) {
                m_values.emplace_back(v);
                m_slots[i] = quint32(m_values.size());
                return quint32(m_values.size()) - 1;
            }
            if (m_values[slot - 1] == v)
                return slot - 1;
        }
    }
    const std::string &value(quint32 n) const { return m_values[n]; }
    size_t size() const { return m_values.size(); }

private:
    void grow()
    {
        std::vector<quint32> table(std::max<size_t>(64, m_slots.size() * 2));
        const size_t mask = table.size() - 1;
        for (quint32 n = 0; n < m_values.size(); ++n) {
            size_t i = bytesHash(m_values[n]) & mask;
            while (table[i])
                i = (i + 1) & mask;
            table[i] = n + 1;
        }
        m_slots.swap(table);
    }
    std::vector<std::string> m_values;
    std::vector<quint32> m_slots; // a value's number + 1; 0: free
};

// The columns counted by value.
enum Counted { Countries, PostalCodes, Modes, Frequencies, Operators, kCounted };

std::string_view view(QByteArrayView bytes) { return {bytes.data(), size_t(bytes.size())}; }

// What the rows of one chunk add to the figures, its counts by value (the
// figures' numbering of values, and how many rows hold each).
struct Chunk {
    qint64 contacts = 0, unknownDates = 0, unknownTowns = 0;
    Times::Run times; // sorted, and shared with the figures
    std::array<qint64, 36> sectors{};
    std::array<std::vector<std::pair<quint32, quint32>>, kCounted> counts;
};

// The rows one thread of a reading read, each chunk's counts by the lane's
// own numbering of values.
class FiguresLane : public logfile::RowConsumer::Lane
{
public:
    explicit FiguresLane(std::shared_ptr<const Bearings> bearings) : m_bearings(std::move(bearings)) {}

    struct Read {
        qint64 contacts = 0, unknownDates = 0, unknownTowns = 0;
        std::vector<qint64> times;
        std::array<qint64, 36> sectors{};
        std::array<std::vector<quint32>, kCounted> counts; // by value number
    };
    std::map<qint64, Read> chunks;
    std::array<Values, kCounted> values;

    void add(qint64 chunk, const platform::RowText &row, std::optional<quint64>) override
    {
        namespace col = logfile::readColumn;
        if (!m_chunk || chunk != m_chunkIndex) {
            m_chunkIndex = chunk;
            m_chunk = &chunks[chunk];
        }
        Read &c = *m_chunk;
        ++c.contacts;
        if (const auto when = m_dates.read(row.text(col::Date)))
            c.times.push_back(*when);
        else
            ++c.unknownDates;
        count(Countries, view(trimmed(row.text(col::Country))));
        count(PostalCodes, view(trimmed(row.text(col::PostalCode))));
        count(Modes, view(trimmed(row.text(col::Mode))));
        m_frequency.assign(view(row.text(col::MHz))).append(1, '.').append(view(row.text(col::kHz)));
        count(Frequencies, m_frequency);
        count(Operators, view(trimmed(row.text(col::Operator))));
        if (const int sector = sectorOf(trimmed(row.text(col::Town))); sector < 0)
            ++c.unknownTowns;
        else
            ++c.sectors[size_t(sector)];
    }

private:
    void count(Counted column, std::string_view v)
    {
        // Rows in a row often hold the same value.
        if (m_last[column].number < 0 || m_last[column].bytes != v)
            m_last[column] = {std::string(v), qint64(values[column].number(v))};
        const quint32 n = quint32(m_last[column].number);
        std::vector<quint32> &counts = m_chunk->counts[column];
        if (counts.size() <= n)
            counts.resize(n + 1);
        ++counts[n];
    }
    // The 10° sector of a town's bearing, -1 when the towns do not know it.
    int sectorOf(QByteArrayView town)
    {
        const quint32 n = m_towns.number(view(town));
        if (n >= m_sectors.size()) {
            int sector = -1;
            const auto b = m_bearings->constFind(townKey(QString::fromUtf8(town)));
            if (b != m_bearings->cend() && std::isfinite(*b)) {
                const double degrees = std::fmod(std::fmod(*b, 360.0) + 360.0, 360.0);
                sector = std::min(35, int(degrees / 10.0));
            }
            m_sectors.push_back(qint8(sector));
        }
        return m_sectors[n];
    }

    struct Last {
        std::string bytes;
        qint64 number = -1;
    };
    std::array<Last, kCounted> m_last;
    std::shared_ptr<const Bearings> m_bearings;
    Values m_towns;
    std::vector<qint8> m_sectors; // by town number
    DateReader m_dates;
    std::string m_frequency;
    Read *m_chunk = nullptr;
    qint64 m_chunkIndex = 0;
};

} // namespace

struct Figures::State {
    std::mutex mutex; // for the lanes of a reading, made on its threads
    std::shared_ptr<const Bearings> bearings;
    std::array<Values, kCounted> values; // every value met, numbered
    std::map<qint64, Chunk> chunks;
    std::optional<Tally> sum;
    LocalDays days; // what is learnt of days is kept

    Tally add(bool detailed);
};

Figures::Figures(std::shared_ptr<const Bearings> bearings) : d(std::make_unique<State>())
{
    d->bearings = std::move(bearings);
}

Figures::~Figures() = default;

std::unique_ptr<logfile::RowConsumer::Lane> Figures::lane()
{
    const std::lock_guard lock(d->mutex);
    if (!d->bearings)
        d->bearings = towns::bearings();
    return std::make_unique<FiguresLane>(d->bearings);
}

void Figures::commit(std::vector<std::unique_ptr<Lane>> lanes, const std::vector<qint64> &replaced, bool whole)
{
    if (whole)
        d->chunks.clear();
    for (qint64 chunk : replaced)
        d->chunks.erase(chunk);
    for (const std::unique_ptr<Lane> &l : lanes) {
        auto &lane = static_cast<FiguresLane &>(*l);
        // The lane's numbers of values as the figures number them.
        std::array<std::vector<quint32>, kCounted> numbers;
        for (int column = 0; column < kCounted; ++column)
            for (quint32 n = 0; n < lane.values[column].size(); ++n)
                numbers[column].push_back(d->values[column].number(lane.values[column].value(n)));
        for (auto &[index, read] : lane.chunks) {
            Chunk &c = d->chunks[index];
            c.contacts = read.contacts;
            c.unknownDates = read.unknownDates;
            c.unknownTowns = read.unknownTowns;
            c.sectors = read.sectors;
            std::sort(read.times.begin(), read.times.end());
            read.times.shrink_to_fit();
            c.times = std::make_shared<const std::vector<qint64>>(std::move(read.times));
            for (int column = 0; column < kCounted; ++column) {
                for (quint32 n = 0; n < read.counts[column].size(); ++n)
                    if (read.counts[column][n])
                        c.counts[column].push_back({numbers[column][n], read.counts[column][n]});
                c.counts[column].shrink_to_fit();
            }
        }
    }
}

void Figures::sum() { d->sum = d->add(m_detailed); }

std::optional<Tally> Figures::take() { return std::exchange(d->sum, std::nullopt); }

Tally Figures::State::add(bool detailed)
{
    Tally t;
    std::vector<Times::Run> runs;
    std::array<std::vector<qint64>, kCounted> totals;
    for (int column = 0; column < kCounted; ++column)
        totals[column].assign(values[column].size(), 0);
    for (const auto &[index, c] : chunks) {
        runs.push_back(c.times);
        t.contacts += c.contacts;
        t.unknownDates += c.unknownDates;
        if (!detailed)
            continue;
        t.unknownTowns += c.unknownTowns;
        for (size_t i = 0; i < t.sectors.size(); ++i)
            t.sectors[i] += c.sectors[i];
        for (int column = 0; column < kCounted; ++column)
            for (const auto &[n, count] : c.counts[column])
                totals[column][n] += count;
    }

    t.times = Times(std::move(runs));
    t.detailed = detailed;
    if (!detailed)
        return t;
    t.periods = bars(t.times, 400, &days);
    t.bestTen = bestSpell(t.times, 600);

    // Sorted by count, two stored forms that give one label counted together.
    auto sorted = [&](Counted column, const std::function<QString(const QByteArray &)> &label) {
        QHash<QString, qint64> merged;
        for (quint32 n = 0; n < values[column].size(); ++n)
            if (totals[column][n])
                merged[label(QByteArray::fromStdString(values[column].value(n)))] += totals[column][n];
        QVector<Count> out;
        out.reserve(merged.size());
        for (auto it = merged.cbegin(); it != merged.cend(); ++it)
            out.push_back({it.key(), it.value()});
        std::sort(out.begin(), out.end(), [](const Count &a, const Count &b) {
            return a.count != b.count ? a.count > b.count : a.label < b.label;
        });
        return out;
    };
    t.countries = sorted(Countries, textLabel);
    t.modes = sorted(Modes, textLabel);
    t.operators = sorted(Operators, textLabel);
    t.departments = sorted(PostalCodes, [](const QByteArray &code) {
        return departmentOf(code).value_or(msg::statsOtherDepartment());
    });
    t.frequencies = sorted(Frequencies, [](const QByteArray &stored) {
        const qsizetype dot = stored.indexOf('.');
        const QByteArray mhz = stored.left(dot), khz = stored.mid(dot + 1);
        if (mhz.isEmpty() && khz.isEmpty())
            return msg::statsEmptyValue();
        return QString::fromUtf8(mhz) + QLatin1Char('.') + logfile::hertzText(QString::fromUtf8(khz));
    });
    return t;
}

std::optional<Tally> readTally(platform::Connection *db, const Bearings &bearings, const std::atomic<bool> *stop)
{
    if (!db)
        return std::nullopt;
    Figures figures(std::make_shared<const Bearings>(bearings));
    auto reading = logfile::readLog(db, {}, &figures, stop);
    if (reading)
        figures.sum();
    std::optional<Tally> t = reading ? figures.take() : std::nullopt;
    if (t) {
        logfile::CallSignSet set;
        set.reserve(qsizetype(reading->rows.size()));
        for (const auto &e : reading->rows)
            set.append(e.key, e.rowid);
        set.finish();
        const auto counts = set.keyCounts();
        t->distinctCallSigns = counts.distinct;
        t->repeatedCallSigns = counts.repeated;
    }
    return t;
}

Times::Times(std::vector<Run> runs) : m_runs(std::move(runs))
{
    std::erase_if(m_runs, [](const Run &run) { return !run || run->empty(); });
    for (const Run &run : m_runs) {
        m_first = m_size ? std::min(m_first, run->front()) : run->front();
        m_last = m_size ? std::max(m_last, run->back()) : run->back();
        m_size += run->size();
    }
}

void forEachTime(const Times &times, const std::function<void(qint64)> &f)
{
    for (Merged<qint64> t = mergedTimes(times); !t.atEnd(); t.next())
        f(t.value());
}

qint64 madeWithin(const Times &times, qint64 now, qint64 seconds)
{
    qint64 made = 0;
    for (const Times::Run &run : times.runs()) {
        const auto from = std::upper_bound(run->begin(), run->end(), now - seconds);
        const auto to = std::upper_bound(run->begin(), run->end(), now);
        made += to > from ? to - from : 0;
    }
    return made;
}

Spell bestSpell(const Times &times, qint64 seconds)
{
    // From each distinct time on, the contacts before it plus the spell's
    // length: the end cursor only moves forward.
    Spell best;
    Merged<qint64> start = mergedTimes(times), end = mergedTimes(times);
    qint64 started = 0, ended = 0;
    std::optional<qint64> previous;
    for (; !start.atEnd(); start.next(), ++started) {
        const qint64 t = start.value();
        if (previous == t)
            continue;
        previous = t;
        for (; !end.atEnd() && end.value() < t + seconds; end.next())
            ++ended;
        if (ended - started > best.count)
            best = {t, ended - started};
    }
    return best;
}

Bars bars(const Times &times, int maxBars, LocalDays *days)
{
    Bars out;
    if (times.empty())
        return out;
    const qint64 firstHour = times.first() / 3600, lastHour = times.last() / 3600;
    if (lastHour - firstHour < maxBars) {
        out.counts.assign(size_t(lastHour - firstHour + 1), 0);
        for (qint64 h = firstHour; h <= lastHour; ++h)
            out.starts.push_back(h * 3600);
        for (const Times::Run &run : times.runs()) // (counted in any order: no merge)
            for (qint64 t : *run)
                ++out.counts[size_t(t / 3600 - firstHour)];
        return out;
    }
    // Local days, weeks from Monday or months: the period of each day is
    // worked out once.
    LocalDays own;
    LocalDays &local = days ? *days : own;
    auto monthOf = [](qint64 day) {
        const QDate d = QDate::fromJulianDay(day);
        return qint64(d.year()) * 12 + d.month() - 1;
    };
    const qint64 lastDay = local.dayOf(times.last());
    qint64 firstDay = local.dayOf(times.first());
    std::function<qint64(qint64)> periodOf = [&](qint64 day) { return day - firstDay; };
    out.period = Bars::Period::Day;
    if (lastDay - firstDay >= maxBars) {
        out.period = Bars::Period::Week;
        firstDay -= firstDay % 7; // a Julian day that divides by 7 is a Monday
        periodOf = [&](qint64 day) { return (day - firstDay) / 7; };
    }
    if ((lastDay - firstDay) / 7 >= maxBars) {
        out.period = Bars::Period::Month;
        periodOf = [&, first = monthOf(firstDay)](qint64 day) { return monthOf(day) - first; };
    }
    for (qint64 day = firstDay, shown = -1; day <= lastDay; ++day)
        if (periodOf(day) != shown) {
            shown = periodOf(day);
            out.starts.push_back(local.startOf(day));
        }
    out.counts.assign(out.starts.size(), 0);
    qint64 dayStart = 0, dayEnd = 0, index = 0;
    for (const Times::Run &run : times.runs())
        for (qint64 t : *run) {
            if (t < dayStart || t >= dayEnd) {
                const qint64 day = local.dayOf(t);
                dayStart = local.startOf(day);
                dayEnd = local.startOf(day + 1);
                index = periodOf(day);
            }
            ++out.counts[size_t(index)];
        }
    return out;
}

qint64 LocalDays::dayOf(qint64 t)
{
    auto after = std::upper_bound(m_spans.begin(), m_spans.end(), t, [](qint64 v, const Span &s) { return v < s.start; });
    if (after != m_spans.begin() && t < std::prev(after)->end)
        return std::prev(after)->day;
    const qint64 day = QDateTime::fromSecsSinceEpoch(t).date().toJulianDay();
    const qint64 start = startOf(day), end = startOf(day + 1);
    if (start <= t && t < end)
        m_spans.insert(after, Span{start, end, day});
    return day;
}

qint64 LocalDays::startOf(qint64 day)
{
    auto it = m_starts.find(day);
    if (it == m_starts.end()) {
        const QDate d = QDate::fromJulianDay(day);
        QDateTime midnight(d, QTime(0, 0));
        if (!midnight.isValid()) // a change of time that skips midnight
            midnight = QDateTime(d, QTime(1, 0));
        it = m_starts.emplace(day, midnight.toSecsSinceEpoch()).first;
    }
    return it->second;
}

} // namespace statistics
