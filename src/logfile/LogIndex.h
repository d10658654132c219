#pragma once
// What the main window knows of the whole open log without reading it again:
// the largest serial number (the next contact gets one more) and the call
// signs already worked.
//
// The table has no index, so both need a reading of every row. That reading
// starts in the background as soon as a log file is opened, on a thread of its
// own, one reading at a time: first one aggregate statement for the largest
// serial number, which "Nouveau" may have to wait for, then the call signs of
// every row, a few thousand rows per statement so that the window's own stores
// never wait long for the file.
//
// The rows are kept in chunks of consecutive rowids, each with a digest of
// its rows (rowid, serial number and call sign) and its largest serial
// number, beside a survey of the table's pages as the file held them when
// those rows were read. When another program changes the file (the window's
// connection's change count moves), the pages are surveyed again while
// the file is locked for reading, and only the chunks holding rows of the
// pages that differ are read again: the set of call signs and the largest
// serial number follow the file without a whole new reading. When the pages
// cannot tell (no survey yet, the schema changed), the digests of every chunk
// are worked out again from the rows' stored bytes instead, and the chunks
// whose digest differs are read again. While that runs, or when it failed (it
// is tried again shortly after), the answers are not known: worked() says so
// rather than "never worked".
#include "CallSigns.h"
#include "RecordSource.h"

#include <QDateTime>
#include <QFuture>
#include <QFutureWatcher>
#include <QObject>
#include <QThreadPool>
#include <QElapsedTimer>
#include <QTimer>
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <optional>

namespace platform {
class Connection;
struct EngineError;
struct PageSurvey;
}

namespace logfile {

// A contact as the index sees it: its serial number and the five parts of
// its call sign (stored values or typed texts, in column order).
struct IndexedContact {
    QString serial;
    QVariantList callSign;
};

// The contacts already made with a call sign.
struct Worked {
    qint64 count = 0; // 0: never worked
    QString serial;   // of the latest of them: by date, then by order of storing
    QDateTime date;   // invalid when that contact has no date
};

// The largest serial number by one aggregate statement over the table (on
// an engine that indexes them, two lookups of those indexes).
std::optional<qint64> readLargestSerial(platform::Connection *db);
// The largest serial number + 1 as text, worked out by the engine inside a
// statement, and the condition under which it is what readLargestSerial
// gives + 1: every serial number stored is a plain number or blank, and the
// next one has at most `digits` digits. A number another station holds
// reserved counts as stored.
platform::SettledColumn::InStatement nextSerialInStatement(platform::Connection *db, int digits);
// The number typed (the statement's parameter typed, a plain number), kept
// on the condition that it is neither stored nor reserved by another
// station, as the engine sees it inside the statement.
platform::SettledColumn::InStatement typedSerialInStatement(platform::Connection *db, const platform::Sql &typed);
// The largest number another station holds reserved (0 when none, or on a file).
std::optional<qint64> largestReserved(platform::Connection &db);
// True when no contact is stored under the number n (whatever its
// writing: "0099" is 99) and no other station holds it.
std::optional<bool> serialFree(platform::Connection &db, qint64 n);
// On a shared log, the next free serial number (beyond those stored and
// those other stations hold) reserved for this station until its contact
// is stored or given up; nothing when the server could not be asked.
std::optional<qint64> reserveNextSerial(platform::Connection *db);
// Makes the indexes readLargestSerial looks up, on an engine that keeps them.
bool indexSerials(platform::Connection *db);

// Numeric value of a stored serial number text; nothing when it is empty or
// not a number. Fractions are rounded to the nearest whole number, halves to even.
std::optional<qint64> serialValue(const QString &text);

// What is known of one chunk of rowids.
struct ChunkState {
    std::optional<quint64> digest; // nothing: to be read again
    std::optional<qint64> largest; // largest serial number, 0 when none is above; nothing: not known
};

// One bringing up to date of what is known, read on its own connection:
// the chunks whose rows differ from what known says (or all of them when
// known is empty), with the call signs of their rows. When pages, the survey
// of the table's pages that known describes, is given, the rows that differ
// are told from the pages that differ, and only those are read; otherwise
// every row's digest is worked out again.
struct Survey {
    std::vector<qint64> replaced;          // sorted: the chunks read again or gone
    std::map<qint64, ChunkState> chunks;   // the chunks read again that still hold rows
    std::vector<CallSignSet::Entry> rows;  // the call signs of their rows
    // The pages as they were when every row now known was read; nothing when
    // the file changed during the reading.
    std::shared_ptr<const platform::PageSurvey> pages;
};
std::optional<Survey> surveyLog(platform::Connection *db, const std::map<qint64, ChunkState> &known,
                                const platform::PageSurvey *pages = nullptr, const std::atomic<bool> *stop = nullptr);

// The number that moves whenever another connection commits a change to the
// log db has open (Connection::changeCount); -1 when it cannot be read.
qint64 dataVersion(platform::Connection *db);

// Rowid bounds for the statements of a reading, kept in a temporary table of
// the reading's connection (the fast row reader takes no parameters), found
// before the log's tables by its name alone: a statement reads them as
// (SELECT lo FROM sequanel_bounds) and (SELECT hi FROM sequanel_bounds).
struct RowidBounds {
    platform::Connection *db;
    bool create();
    bool set(qint64 lo, qint64 hi);
};

// A read transaction of a reading's connection, over when it goes: what it
// reads stays as it was at its start (a file: no other program commits
// meanwhile; a server: one snapshot).
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

// The survey of the log's pages taken in a read transaction of its own
// (nothing when the engine has none): taken before a reading of the rows,
// it tells, against a later survey, every row changed since.
std::optional<platform::PageSurvey> surveyAlone(platform::Connection *db);

// For tests: when set, every reading of the call signs calls it on its own
// thread once it has read the file and before it hands its result over, so
// that a test can make the window go on meanwhile.
void setReadingGate(std::function<void()> gate);

class LogIndex : public QObject
{
    Q_OBJECT
public:
    explicit LogIndex(QObject *parent = nullptr);
    ~LogIndex() override;

    // A log file was opened; db is the window's own connection to it.
    void open(platform::Connection *db);

    // Looks whether another program changed the file (cheap: one PRAGMA),
    // and if so starts bringing what is known up to date. False when the
    // file could not be asked (another program holds it).
    bool poll(platform::Connection *db);

    // The largest serial number stored in the log of db, or 0 in an empty
    // log; nothing when it cannot be read (the file is busy, damaged...).
    // Right after opening, waits for the first statement of the reading.
    std::optional<qint64> largestSerial(platform::Connection *db);

    // The largest serial number as the table stands inside a write
    // transaction that db holds: what is known when nobody else has written
    // since, or else read again.
    std::optional<qint64> largestSerialLocked(platform::Connection &db);

    // The contacts made with a call sign (five parts), leaving out the row
    // except (the contact being changed). Nothing while the answer is not
    // known: changed() says when to ask again.
    std::optional<Worked> worked(platform::Connection *db, const QVariantList &callSign,
                                 std::optional<qint64> except = {});

    // The window stored a new contact, in the row rowid when it is known.
    void noteStored(std::optional<qint64> rowid, const IndexedContact &contact);
    // The window stored a change of the row rowid.
    void noteChanged(qint64 rowid, const IndexedContact &before, const IndexedContact &after);
    // The window deleted the row rowid.
    void noteRemoved(qint64 rowid, const IndexedContact &contact);

    // Bytes held by the set of call signs (for the benchmarks).
    size_t bytes() const { return m_callSigns ? m_callSigns->bytes() : 0; }

signals:
    // What worked() answers may have changed: it became known, or unknown.
    void changed();
    // The log's contacts changed: the window stored, changed or deleted one
    // (once for each call sign noted), or poll() found the file changed by
    // another program.
    void written();

private:
    // A change the window made, kept while a reading runs to be made again
    // on its result.
    struct Note {
        qint64 rowid;
        std::optional<quint64> key; // the call sign added or removed
        bool added;
        std::optional<qint64> serial;
    };
    void startSurvey(std::optional<qint64> version = {});
    void surveyDone();
    void serialRead();
    void apply(const Note &note);
    void note(const Note &note);
    void recomputeLargest();
    bool current(platform::Connection *db) const;

    platform::Connection *m_db = nullptr;
    qint64 m_version = -1;       // change count of m_db that what is known describes
    qint64 m_surveyVersion = -1; // the one the reading under way started from
    qint64 m_firstVersion = -1;  // the one the first reading of the file started from
    bool m_stale = true;         // the file changed since: answers not known
    // Counts what may change worked()'s answers: the window's changes and
    // each reading; the last answer is given again while it stays.
    qint64 m_generation = 0;
    struct LastWorked {
        qint64 generation;
        CallSign sign;
        std::optional<qint64> except;
        Worked answer;
    };
    std::optional<LastWorked> m_lastWorked;

    std::optional<CallSignSet> m_callSigns;
    std::map<qint64, ChunkState> m_chunks;
    std::shared_ptr<const platform::PageSurvey> m_pages; // the file's pages as m_chunks knows them
    std::vector<Note> m_notesWhileReading;

    // The largest serial number, when known; the first aggregate statement's
    // answer and the numbers stored while it was pending.
    std::optional<qint64> m_largest;
    std::optional<qint64> m_storedWhilePending;
    bool m_serialPending = false;

    QThreadPool m_pool;
    bool m_reading = false;
    QFuture<std::optional<qint64>> m_serialReading;
    QFuture<std::optional<Survey>> m_survey;
    QFutureWatcher<std::optional<qint64>> m_serialWatcher;
    QFutureWatcher<std::optional<Survey>> m_surveyWatcher;
    std::shared_ptr<std::atomic<bool>> m_stop;
    QTimer m_retry; // a failed reading is tried again
    QTimer m_later; // another program's change read once the gap after the last reading is over
    QElapsedTimer m_lastReading; // since the last reading ended
};

} // namespace logfile
