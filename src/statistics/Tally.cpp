#include "Tally.h"
#include "Messages.h"

#include "CallSigns.h"
#include "Engine.h"
#include "LogFile.h"
#include "LogIndex.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <unordered_map>
#include <cmath>
#include <functional>
#include <limits>
#include <map>

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

// A map by stored bytes, looked up without copying them.
struct BytesHash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
};
template <typename Value> using BytesMap = std::unordered_map<std::string, Value, BytesHash, std::equal_to<>>;

std::string_view view(QByteArrayView bytes) { return {bytes.data(), size_t(bytes.size())}; }

// Counts by the stored bytes of a value, turned into labels at the end.
class Counter
{
public:
    void add(QByteArrayView value, qint64 n = 1)
    {
        auto it = m_counts.find(view(value));
        if (it == m_counts.end())
            it = m_counts.emplace(std::string(view(value)), 0).first;
        it->second += n;
    }
    void add(const Counter &other)
    {
        for (const auto &[stored, count] : other.m_counts)
            add(QByteArrayView(stored.data(), qsizetype(stored.size())), count);
    }
    template <typename Label> QVector<Count> sorted(Label label) const
    {
        QHash<QString, qint64> merged; // two stored forms may give one label
        for (const auto &[stored, count] : m_counts)
            merged[label(QByteArray(stored.data(), qsizetype(stored.size())))] += count;
        QVector<Count> out;
        out.reserve(merged.size());
        for (auto it = merged.cbegin(); it != merged.cend(); ++it)
            out.push_back({it.key(), it.value()});
        std::sort(out.begin(), out.end(), [](const Count &a, const Count &b) {
            return a.count != b.count ? a.count > b.count : a.label < b.label;
        });
        return out;
    }

private:
    BytesMap<qint64> m_counts;
};

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
    // Rows come in order: most fall in the hour of the row before.
    const qint64 key = ((qint64(y) * 100 + mo) * 100 + d) * 100 + h;
    if (key != m_hourKey) {
        const QDate day(y, mo, d);
        if (!day.isValid())
            return std::nullopt;
        const QDateTime start(day, QTime(h, 0));
        if (!start.isValid()) // an hour the change to summer time skips
            return std::nullopt;
        m_hourStart = start.toSecsSinceEpoch();
        m_hourKey = key;
    }
    return m_hourStart + mi * 60 + s;
}

QString townKey(const QString &town) { return logfile::comparableText(town); }

namespace {

// What the rows of one chunk add to the figures.
struct Chunk {
    qint64 contacts = 0, unknownDates = 0, unknownTowns = 0;
    std::vector<qint64> reading; // the times while its rows are read
    Times::Run times;            // then sorted, and shared with the figures
    std::vector<quint64> keys;   // of the complete call signs; sorted once read
    std::array<qint64, 36> sectors{};
    Counter countries, departments, modes, frequencies, operators;
};

constexpr int kChunkBits = 12;
qint64 chunkOf(qint64 rowid) { return rowid >> kChunkBits; }
qint64 chunkStart(qint64 chunk) { return chunk << kChunkBits; }
qint64 chunkEnd(qint64 chunk) { return chunkStart(chunk) + ((qint64(1) << kChunkBits) - 1); }

// The values of sorted runs in order, one at a time, without copying them.
template <typename T> class Merged
{
public:
    explicit Merged(const std::vector<const std::vector<T> *> &runs)
    {
        for (const std::vector<T> *run : runs)
            if (!run->empty())
                m_heads.push_back({run->data(), run->data() + run->size()});
        std::make_heap(m_heads.begin(), m_heads.end(), later);
    }
    bool atEnd() const { return m_heads.empty(); }
    T value() const { return *m_heads.front().at; }
    void next()
    {
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
};

Merged<qint64> mergedTimes(const Times &times)
{
    std::vector<const std::vector<qint64> *> runs;
    for (const Times::Run &run : times.runs())
        runs.push_back(run.get());
    return Merged<qint64>(runs);
}

} // namespace

struct TallyReader::State {
    std::map<qint64, Chunk> chunks;
    std::optional<platform::PageSurvey> pages; // the table's pages when the chunks were read
    Bearings bearings;                         // the towns the chunks' sectors come from
    BytesMap<int> sectorOfTown;                // -1: not among them
    qint64 rowsRead = 0;

    // Columns: 0 rowid, 1 Date, 2 Pays, 3 CP, 4 Bande, 5 Mhertz, 6 Hertz,
    // 7 Opérateur, 8 Ville, 9..13 the call sign.
    void add(Chunk &c, const platform::RowText &row);
    int sectorOf(QByteArrayView town);
    // The chunks read by this reading made ready to share: times and call
    // signs sorted.
    void seal();
    Tally sum(bool detailed) const;

    DateReader dates;
    mutable LocalDays days; // (sum() is const: what it learns of days is kept)
    logfile::CallSignReader callSigns;
    QByteArray frequency;
};

int TallyReader::State::sectorOf(QByteArrayView town)
{
    auto it = sectorOfTown.find(view(town));
    if (it == sectorOfTown.end()) {
        int sector = -1;
        const auto b = bearings.constFind(townKey(QString::fromUtf8(town)));
        if (b != bearings.cend() && std::isfinite(*b)) {
            const double degrees = std::fmod(std::fmod(*b, 360.0) + 360.0, 360.0);
            sector = std::min(35, int(degrees / 10.0));
        }
        it = sectorOfTown.emplace(std::string(view(town)), sector).first;
    }
    return it->second;
}

void TallyReader::State::add(Chunk &c, const platform::RowText &row)
{
    ++rowsRead;
    ++c.contacts;
    if (const auto when = dates.read(row.text(1)))
        c.reading.push_back(*when);
    else
        ++c.unknownDates;
    c.countries.add(trimmed(row.text(2)));
    c.departments.add(trimmed(row.text(3)));
    c.modes.add(trimmed(row.text(4)));
    frequency.clear();
    frequency.append(row.text(5)).append('.').append(row.text(6));
    c.frequencies.add(frequency);
    c.operators.add(trimmed(row.text(7)));
    if (const int sector = sectorOf(trimmed(row.text(8))); sector < 0)
        ++c.unknownTowns;
    else
        ++c.sectors[size_t(sector)];
    if (const auto s = callSigns.read(row, 9))
        c.keys.push_back(s->key());
}

void TallyReader::State::seal()
{
    for (auto &[index, c] : chunks)
        if (!c.times) {
            std::sort(c.reading.begin(), c.reading.end());
            c.times = std::make_shared<const std::vector<qint64>>(std::move(c.reading));
            c.reading = {};
            std::sort(c.keys.begin(), c.keys.end());
            c.keys.shrink_to_fit();
        }
}

Tally TallyReader::State::sum(bool detailed) const
{
    Tally t;
    Counter countries, departments, modes, frequencies, operators;
    std::vector<Times::Run> runs;
    std::vector<const std::vector<quint64> *> keys;
    for (const auto &[index, c] : chunks) {
        runs.push_back(c.times);
        t.contacts += c.contacts;
        t.unknownDates += c.unknownDates;
        if (!detailed)
            continue;
        keys.push_back(&c.keys);
        t.unknownTowns += c.unknownTowns;
        for (size_t i = 0; i < t.sectors.size(); ++i)
            t.sectors[i] += c.sectors[i];
        countries.add(c.countries);
        departments.add(c.departments);
        modes.add(c.modes);
        frequencies.add(c.frequencies);
        operators.add(c.operators);
    }

    t.times = Times(std::move(runs));
    t.detailed = detailed;
    if (!detailed)
        return t;
    t.periods = bars(t.times, 400, &days);
    t.bestTen = bestSpell(t.times, 600);
    for (Merged<quint64> key(keys); !key.atEnd();) {
        const quint64 k = key.value();
        qint64 made = 0;
        for (; !key.atEnd() && key.value() == k; key.next())
            ++made;
        ++t.distinctCallSigns;
        if (made > 1)
            ++t.repeatedCallSigns;
    }

    t.countries = countries.sorted(textLabel);
    t.modes = modes.sorted(textLabel);
    t.operators = operators.sorted(textLabel);
    t.departments = departments.sorted([](const QByteArray &code) {
        return departmentOf(code).value_or(msg::statsOtherDepartment());
    });
    t.frequencies = frequencies.sorted([](const QByteArray &stored) {
        const qsizetype dot = stored.indexOf('.');
        const QByteArray mhz = stored.left(dot), khz = stored.mid(dot + 1);
        if (mhz.isEmpty() && khz.isEmpty())
            return msg::statsEmptyValue();
        return QString::fromUtf8(mhz) + QLatin1Char('.') + logfile::hertzText(QString::fromUtf8(khz));
    });
    return t;
}

TallyReader::TallyReader() : d(std::make_unique<State>()) {}
TallyReader::~TallyReader() = default;

qint64 TallyReader::rowsRead() const { return d->rowsRead; }

std::optional<Tally> TallyReader::read(platform::Connection *db, const Bearings &bearings, const std::atomic<bool> *stop,
                                       bool detailed)
{
    d->rowsRead = 0;
    if (!db)
        return std::nullopt;
    if (bearings != d->bearings) { // other towns: every chunk's sectors change
        d->bearings = bearings;
        d->sectorOfTown.clear();
        d->chunks.clear();
        d->pages.reset();
    }
    auto failed = [&] {
        d->chunks.clear();
        d->pages.reset();
        return std::optional<Tally>();
    };
    logfile::RowidBounds bounds{db};
    if (!bounds.create())
        return failed();
    auto select = [](const Sql &where) {
        return Sql("SELECT rowid, \"Date\", \"Pays\", \"CP\", \"Bande\", \"Mhertz\", \"Hertz\", \"Opérateur\", \"Ville\", "
                   "\"Préfixe\", \"Qrz1\", \"Qrz2\", \"Qrz3\", \"N°\" FROM \"Transmission\" %1")
            .arg(where);
    };
    // Hands each row read to its chunk; the rows of a statement come by rowid.
    Chunk *chunk = nullptr;
    qint64 chunkIndex = 0, last = std::numeric_limits<qint64>::min();
    auto onRow = [&](const platform::RowText &row) {
        if (stop && (d->rowsRead & 0xFFF) == 0 && *stop)
            return false;
        last = row.text(0).toLongLong();
        if (!chunk || chunkOf(last) != chunkIndex) {
            chunkIndex = chunkOf(last);
            chunk = &d->chunks[chunkIndex];
        }
        d->add(*chunk, row);
        return true;
    };

    if (!d->chunks.empty() && d->pages) {
        // The chunks of the pages that differ read again while no other
        // program can commit: the pages kept are those of the rows read.
        logfile::ReadLock lock(db);
        if (!lock.held())
            return failed();
        auto now = db->surveyPages(Identifier(QStringLiteral("Transmission")));
        if (const auto changed = now ? platform::changedRowids(*d->pages, *now) : std::nullopt) {
            const Sql between = select(Sql("WHERE rowid BETWEEN (SELECT lo FROM sequanel_bounds) "
                                           "AND (SELECT hi FROM sequanel_bounds)"));
            // Each chunk once, however many of its pages differ (the spans
            // come sorted and apart).
            std::optional<qint64> readTo; // the last chunk read again
            for (const platform::RowidRange &span : *changed) {
                const qint64 from = readTo ? std::max(*readTo + 1, chunkOf(span.first)) : chunkOf(span.first);
                const qint64 to = chunkOf(span.last);
                if (from > to)
                    continue;
                d->chunks.erase(d->chunks.lower_bound(from), d->chunks.upper_bound(to));
                chunk = nullptr;
                if (!bounds.set(chunkStart(from), chunkEnd(to)) || !db->forEachRow(between, onRow) || (stop && *stop))
                    return failed();
                readTo = to;
            }
            d->pages = std::move(now);
            d->seal();
            return d->sum(detailed);
        }
    }

    // Every row, a chunk's worth per statement. The pages are surveyed
    // first: a change committed meanwhile shows in the next survey.
    d->chunks.clear();
    d->pages = logfile::surveyAlone(db);
    const Sql next = select(Sql("WHERE rowid > (SELECT lo FROM sequanel_bounds) ORDER BY rowid LIMIT 4096"));
    for (qint64 before = -1; before != d->rowsRead;) {
        before = d->rowsRead;
        if (!bounds.set(last, 0) || !db->forEachRow(next, onRow) || (stop && *stop))
            return failed();
    }
    d->seal();
    return d->sum(detailed);
}

std::optional<Tally> readTally(platform::Connection *db, const Bearings &bearings, const std::atomic<bool> *stop)
{
    return TallyReader().read(db, bearings, stop);
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
        forEachTime(times, [&](qint64 t) { ++out.counts[size_t(t / 3600 - firstHour)]; });
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
    forEachTime(times, [&](qint64 t) {
        if (t < dayStart || t >= dayEnd) {
            const qint64 day = local.dayOf(t);
            dayStart = local.startOf(day);
            dayEnd = local.startOf(day + 1);
            index = periodOf(day);
        }
        ++out.counts[size_t(index)];
    });
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
