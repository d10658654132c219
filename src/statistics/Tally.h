#pragma once
// The figures of a whole log: when its contacts were made, whom and where
// with, read in one pass over the table.
//
// Dates are the wall-clock times the log holds, taken in the computer's time
// zone: contacts are placed on the real time line, so that a contest across
// a change of summer time has no hour too many or too few. A date that is
// missing, cannot be read or stands for a time alone (on 30/12/1899) is
// counted apart and placed nowhere.
#include "LogReading.h"
#include "Towns.h"

#include <QByteArrayView>
#include <QDateTime>
#include <QHash>
#include <QString>
#include <QVector>
#include <array>
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace platform {
class Connection;
}

namespace statistics {

// The French département of a postal code: its first two digits ("75"),
// "2A" or "2B" for Corsica (20000-20199, 20200-20999), three digits for the
// overseas ones ("974"). Nothing for anything else (not five digits, 00,
// 96, 98, 99).
std::optional<QString> departmentOf(QByteArrayView postalCode);

// Seconds since 1970 (UTC) of a stored date "YYYY-MM-DD HH:MM:SS" (or with a
// T, or without the seconds, or the day alone), read as local time; nothing
// when it cannot be read or lies in 1899.
class DateReader
{
public:
    std::optional<qint64> read(QByteArrayView stored);

private:
    // The last day converted: its start, and whether its hours are all an
    // hour long (no change of time that day), so that a time of it is its
    // start plus the time of day, without the C library's time zone code.
    qint64 m_dayKey = -1, m_dayStart = 0;
    bool m_evenDay = false;
    qint64 m_hourKey = -1; // the last hour converted on an uneven day, and its start
    qint64 m_hourStart = 0;
};

// The towns of the orientation database by comparable name, with their
// bearing from Paris in degrees.
using Bearings = towns::Bearings;
using towns::townKey;

struct Count {
    QString label;
    qint64 count = 0;
};

// The spell of a given length (from a contact's time on) holding the most
// contacts; the earliest of equals. Count 0 when there is none.
struct Spell {
    qint64 start = 0;
    qint64 count = 0;
};

// Contacts per period over the whole log, empty periods included: hours, or
// days, weeks or months when the log spans so long that there would be too
// many to show.
struct Bars {
    enum class Period { Hour, Day, Week, Month } period = Period::Hour;
    std::vector<qint64> starts; // each period's start (seconds since 1970)
    std::vector<qint64> counts;
};

// Every known contact time (seconds since 1970), as sorted runs shared with
// the reader that read them: a new reading makes new runs for the rows it
// reads again and shares the others, so that the times are held once.
class Times
{
public:
    using Run = std::shared_ptr<const std::vector<qint64>>;
    explicit Times(std::vector<Run> runs = {});
    const std::vector<Run> &runs() const { return m_runs; }
    size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }
    // The earliest and the latest; only when not empty.
    qint64 first() const { return m_first; }
    qint64 last() const { return m_last; }

private:
    std::vector<Run> m_runs;
    size_t m_size = 0;
    qint64 m_first = 0, m_last = 0;
};

struct Tally {
    // False when only the contacts and their times were worked out (what the
    // main window's rate needs): the rest is then empty.
    bool detailed = true;
    qint64 contacts = 0;
    qint64 unknownDates = 0;
    Times times;               // every contact with a known date
    Bars periods;              // the contacts per hour (or day, or week)
    Spell bestTen;             // the busiest ten minutes

    // Sorted by count (largest first), then by label.
    QVector<Count> countries, departments, modes, frequencies, operators;

    std::array<qint64, 36> sectors{}; // contacts by 10° of bearing from Paris
    qint64 unknownTowns = 0;

    qint64 distinctCallSigns = 0; // among complete call signs
    qint64 repeatedCallSigns = 0; // worked in more than one contact
};

// The figures of one log, kept a chunk at a time: what the one reading of
// the log (logfile::readLog) hands over is added up here. What each chunk of
// rowids adds to the figures is kept (counts by value, sectors, the chunk's
// sorted times), so that a change costs the reading of a chunk or two; the
// figures are then summed over the chunks.
class Figures : public logfile::RowConsumer
{
public:
    // bearings: the towns of the reference file; nothing: asked of
    // towns::bearings() at the first reading.
    explicit Figures(std::shared_ptr<const Bearings> bearings = nullptr);
    ~Figures() override;

    std::unique_ptr<Lane> lane() override;
    void commit(std::vector<std::unique_ptr<Lane>> lanes, const std::vector<qint64> &replaced, bool whole) override;
    void sum() override;

    // Whether the sum of the next readings works out the whole figures, or
    // only the contacts and their times (Tally::detailed). Safe from any thread.
    void setDetailed(bool detailed) { m_detailed = detailed; }
    // The figures summed after the last reading, taken once it is over.
    std::optional<Tally> take();

private:
    struct State;
    std::unique_ptr<State> d;
    std::atomic<bool> m_detailed{true};
};

// Reads every contact of the log through db; nothing when the table could not
// be read to its end (or stop was set).
std::optional<Tally> readTally(platform::Connection *db, const Bearings &bearings,
                               const std::atomic<bool> *stop = nullptr);

// Contacts made during the last seconds up to now.
qint64 madeWithin(const Times &times, qint64 now, qint64 seconds);

Spell bestSpell(const Times &times, qint64 seconds);

// The local days of times: each day's bounds are worked out once (a local
// date costs a call into the C library's time zone code).
class LocalDays
{
public:
    // The Julian day of the local date of t (seconds since 1970).
    qint64 dayOf(qint64 t);
    // The first second of a local day.
    qint64 startOf(qint64 day);

private:
    struct Span {
        qint64 start, end, day;
    };
    std::vector<Span> m_spans; // the days met, by start
    std::map<qint64, qint64> m_starts;
};

Bars bars(const Times &times, int maxBars = 400, LocalDays *days = nullptr);

// Each time of times in order (an equal time as often as it was made).
void forEachTime(const Times &times, const std::function<void(qint64)> &f);

} // namespace statistics
