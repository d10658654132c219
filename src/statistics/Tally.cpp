#include "Tally.h"
#include "Messages.h"

#include "CallSigns.h"
#include "Engine.h"
#include "LogFile.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <unordered_map>
#include <cmath>
#include <functional>

namespace statistics {

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
    void add(QByteArrayView value)
    {
        auto it = m_counts.find(view(value));
        if (it == m_counts.end())
            it = m_counts.emplace(std::string(view(value)), 0).first;
        ++it->second;
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

std::optional<Tally> readTally(platform::Connection *db, const Bearings &bearings, const std::atomic<bool> *stop)
{
    if (!db)
        return std::nullopt;
    Tally t;
    DateReader dates;
    logfile::CallSignReader callSigns;
    Counter countries, departments, modes, frequencies, operators;
    std::vector<quint64> keys;
    BytesMap<int> sectorOfTown; // -1: not in the orientation database
    QByteArray frequency;
    // Room for every row at once (the largest rowid is read from the end of
    // the table's tree), rather than growing through copies.
    const qint64 rows = std::clamp<qint64>(db->scalar("SELECT max(rowid) FROM \"Transmission\"").toLongLong(), 0, 1 << 24);
    t.times.reserve(size_t(rows));
    keys.reserve(size_t(rows));
    // Columns: 0 Date, 1 Pays, 2 CP, 3 Bande, 4 Mhertz, 5 Hertz, 6 Opérateur,
    // 7 Ville, 8..12 the call sign.
    const bool ok = db->forEachRow(
        "SELECT \"Date\", \"Pays\", \"CP\", \"Bande\", \"Mhertz\", \"Hertz\", \"Opérateur\", \"Ville\", "
        "\"Préfixe\", \"Qrz1\", \"Qrz2\", \"Qrz3\", \"N°\" FROM \"Transmission\"",
        [&](const platform::RowText &row) {
            if (stop && (t.contacts & 0xFFF) == 0 && *stop)
                return false;
            ++t.contacts;
            if (const auto when = dates.read(row.text(0)))
                t.times.push_back(*when);
            else
                ++t.unknownDates;
            countries.add(trimmed(row.text(1)));
            departments.add(trimmed(row.text(2)));
            modes.add(trimmed(row.text(3)));
            frequency.clear();
            frequency.append(row.text(4)).append('.').append(row.text(5));
            frequencies.add(frequency);
            operators.add(trimmed(row.text(6)));

            const QByteArrayView town = trimmed(row.text(7));
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
            if (it->second < 0)
                ++t.unknownTowns;
            else
                ++t.sectors[size_t(it->second)];

            if (const auto c = callSigns.read(row, 8))
                keys.push_back(c->key());
            return true;
        });
    if (!ok || (stop && *stop))
        return std::nullopt;

    std::sort(t.times.begin(), t.times.end());
    t.periods = bars(t.times);
    t.bestTen = bestSpell(t.times, 600);
    std::sort(keys.begin(), keys.end());
    for (size_t i = 0; i < keys.size();) {
        size_t j = i + 1;
        while (j < keys.size() && keys[j] == keys[i])
            ++j;
        ++t.distinctCallSigns;
        if (j - i > 1)
            ++t.repeatedCallSigns;
        i = j;
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

qint64 madeWithin(const std::vector<qint64> &times, qint64 now, qint64 seconds)
{
    const auto from = std::upper_bound(times.begin(), times.end(), now - seconds);
    const auto to = std::upper_bound(times.begin(), times.end(), now);
    return to > from ? to - from : 0;
}

Spell bestSpell(const std::vector<qint64> &times, qint64 seconds)
{
    Spell best;
    size_t end = 0;
    for (size_t i = 0; i < times.size(); ++i) {
        if (i > 0 && times[i] == times[i - 1])
            continue;
        end = std::max(end, i);
        while (end < times.size() && times[end] < times[i] + seconds)
            ++end;
        if (qint64(end - i) > best.count)
            best = {times[i], qint64(end - i)};
    }
    return best;
}

Bars bars(const std::vector<qint64> &times, int maxBars)
{
    Bars out;
    if (times.empty())
        return out;
    const qint64 firstHour = times.front() / 3600, lastHour = times.back() / 3600;
    if (lastHour - firstHour < maxBars) {
        out.counts.assign(size_t(lastHour - firstHour + 1), 0);
        for (qint64 h = firstHour; h <= lastHour; ++h)
            out.starts.push_back(h * 3600);
        for (qint64 t : times)
            ++out.counts[size_t(t / 3600 - firstHour)];
        return out;
    }
    // Local days, weeks from Monday or months: the period of each hour is
    // worked out once.
    auto dayOf = [](qint64 t) { return QDateTime::fromSecsSinceEpoch(t).date().toJulianDay(); };
    auto monthOf = [](qint64 day) {
        const QDate d = QDate::fromJulianDay(day);
        return qint64(d.year()) * 12 + d.month() - 1;
    };
    const qint64 lastDay = dayOf(times.back());
    qint64 firstDay = dayOf(times.front());
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
            out.starts.push_back(QDateTime(QDate::fromJulianDay(day), QTime(0, 0)).toSecsSinceEpoch());
        }
    out.counts.assign(out.starts.size(), 0);
    qint64 hour = -1, index = 0;
    for (qint64 t : times) {
        if (t / 3600 != hour) {
            hour = t / 3600;
            index = periodOf(dayOf(t));
        }
        ++out.counts[size_t(index)];
    }
    return out;
}

} // namespace statistics
