#pragma once
// The one reading of a whole log: everything the program keeps of the log's
// rows (the largest serial number and the call signs for the duplicate
// warning, the figures for the rate and the statistics) comes from it, in one
// pass at opening and one bringing up to date after each change.
//
// The rows are read in chunks of 4,096 consecutive rowids, one statement a
// chunk (or a few thousand rows), so that the log is never held for long.
// What is known of each chunk is kept; after a change only the chunks that
// may hold changed rows are read again:
//   - the window's own changes: the chunks of the rows it stored, changed or
//     deleted, nothing else (the number of outside changes the log counts,
//     Connection::changeCount, has not moved);
//   - another program's or another station's: the table is surveyed
//     (Connection::surveyTable: the pages of a file, the versions of a
//     journal's chunks) in a read transaction and compared with the survey
//     taken when the rows now known were read; the chunks holding rows of the
//     parts that differ are read again, in the same transaction;
//   - when the surveys cannot tell (none taken, the layout changed), or
//     nothing is known: every row, the work shared between two threads.
#include "CallSigns.h"
#include "Engine.h"

#include <QString>
#include <QThreadPool>
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace logfile {

// Chunks of 4,096 rowids: a change costs the reading of a chunk or two; a log
// of 1,000,000 contacts has about 250.
constexpr int kChunkBits = 12;
inline qint64 chunkOf(qint64 rowid) { return rowid >> kChunkBits; }
inline qint64 chunkStart(qint64 chunk) { return chunk * (qint64(1) << kChunkBits); }
inline qint64 chunkEnd(qint64 chunk) { return chunkStart(chunk) + ((qint64(1) << kChunkBits) - 1); }

// The columns every reading reads, in this order (RowText's column numbers):
// the rowid, the serial number, the five parts of the call sign, then what
// the figures count.
namespace readColumn {
constexpr int Rowid = 0, Serial = 1, CallSign = 2, Date = 7, Country = 8, PostalCode = 9, Mode = 10, MHz = 11,
              kHz = 12, Operator = 13, Town = 14, Count = 15;
}

// What is known of one chunk of rowids.
struct ChunkState {
    bool current = false;          // false: read it again (the window changed a row of it)
    std::optional<qint64> largest; // largest serial number, 0 when none is above; nothing: not known
};

// Whatever else is made of the rows (the figures of the statistics). A
// reading hands each row read to a lane of its own thread; the rows of a
// chunk all go to one lane, in rowid order. What the lanes hold counts only
// once the reading has read to its end: commit() then gets them all, on the
// reading's last thread, one reading at a time.
class RowConsumer
{
public:
    class Lane
    {
    public:
        virtual ~Lane() = default;
        // A row of chunk; callSign: the key of its call sign, when complete.
        virtual void add(qint64 chunk, const platform::RowText &row, std::optional<quint64> callSign) = 0;
    };
    virtual ~RowConsumer() = default;
    virtual std::unique_ptr<Lane> lane() = 0;
    // The chunks of replaced (sorted) were read again or are gone: what the
    // lanes hold stands for them. whole: every row was read.
    virtual void commit(std::vector<std::unique_ptr<Lane>> lanes, const std::vector<qint64> &replaced, bool whole) = 0;
    // Once the reading is over (and what it read of the call signs handed
    // over), what the rows add up to is worked out, on a thread of the reading.
    virtual void sum() {}
};

// What one reading found.
struct Reading {
    std::vector<qint64> replaced;         // sorted: the chunks read again or gone
    std::map<qint64, ChunkState> chunks;  // the chunks read again that still hold rows
    std::vector<CallSignSet::Entry> rows; // the call signs of their rows
    // The survey of the table the rows now known describe; nothing when it
    // could not be taken (the next change of another program is then a
    // reading of every row).
    std::shared_ptr<const platform::TableSurvey> survey;
    bool whole = false; // every row was read
    qint64 rowsRead = 0;
};

// What is known before a reading, and how the log changed since.
struct Known {
    std::map<qint64, ChunkState> chunks; // empty: nothing, every row is read
    std::shared_ptr<const platform::TableSurvey> survey;
    bool othersWrote = true; // false: only the window's own changes, in the chunks not current
};

// For tests: when set, every reading calls it on its own thread at each of
// these points, so that a test can make the window, or another program, go on
// meanwhile.
enum class ReadingPoint {
    BoundsRead, // a reading of every row knows the first and last rowids, and has read no row
    Done,       // the log is read; the result is not handed over yet
};
using ReadingGate = std::function<void(ReadingPoint)>;

// One reading, on db (a read-only connection of the reading's own). A
// reading of every row shares the work with a second thread of pool, when
// given, on a connection of that thread's own. Nothing when the log could not
// be read to its end, or stop was set: then the consumer keeps what it had.
// gate, when given, is called at each ReadingPoint.
std::optional<Reading> readLog(platform::Connection *db, const Known &known, RowConsumer *consumer = nullptr,
                               const std::atomic<bool> *stop = nullptr, QThreadPool *pool = nullptr,
                               const ReadingGate &gate = {});

// Rowid bounds for the statements of a reading, kept in a temporary table of
// the reading's connection (the fast row reader takes no parameters), found
// before the log's tables by its name alone: a statement reads them as
// (SELECT lo FROM sequanel_bounds) and (SELECT hi FROM sequanel_bounds).
struct RowidBounds {
    platform::Connection *db;
    bool create();
    bool set(qint64 lo, qint64 hi);
};

// A read transaction, over when it goes: what it reads stays as it was at its
// start (a file: no other program commits meanwhile; a server: one snapshot).
class ReadLock
{
public:
    explicit ReadLock(platform::Connection *db);
    ~ReadLock();
    ReadLock(const ReadLock &) = delete;
    ReadLock &operator=(const ReadLock &) = delete;
    bool held() const { return m_held; }

private:
    platform::Connection *m_db;
    bool m_held;
};

// A read-only connection for a background reading of the log at path. A
// shared log's is kept by the calling thread from one reading to the next
// (a server makes each new connection a process of its own); a file's is
// opened anew each time.
std::shared_ptr<platform::Connection> readingConnection(const QString &path, platform::EngineError *error);

// The survey of the table taken in a read transaction of its own (nothing
// when the engine has none): taken before a reading of the rows, it tells,
// against a later survey, every row changed since.
std::optional<platform::TableSurvey> surveyAlone(platform::Connection *db);

// For tests (see ReadingPoint).
void setReadingGate(ReadingGate gate);
const ReadingGate &readingGate();

} // namespace logfile
