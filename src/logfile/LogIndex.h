#pragma once
// What the main window knows of the whole open log without reading it again:
// the largest serial number (the next contact gets one more) and the call
// signs already worked; and the one reading of the log (LogReading.h) that
// keeps it, and whatever else is made of the rows (the figures), up to date.
//
// The table has no index, so both need a reading of every row. That reading
// starts in the background as soon as a log is opened, one reading at a
// time, every row a chunk at a time ("Nouveau" pressed before it is over
// reads the largest serial number with one statement of its own).
// Then each of the window's own stores, changes and deletions is noted at
// once, and the chunk of its row read again shortly after (for the figures);
// another program's change (the log's count of outside changes moved) is
// found by a survey of the table and absorbed by reading again the chunks
// that differ. While that runs, or when it failed (it is tried again shortly
// after), the answers are not known: worked() says so rather than "never
// worked".
#include "CallSigns.h"
#include "LogReading.h"
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

// The largest serial number by one aggregate statement over the table, or
// over the rows whose rowids lie in range (on an engine that indexes them,
// two lookups of those indexes); nothing when it cannot be read.
std::optional<qint64> readLargestSerial(platform::Connection *db, std::optional<platform::RowidRange> range = {});
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

class LogIndex : public QObject
{
    Q_OBJECT
public:
    explicit LogIndex(QObject *parent = nullptr);
    ~LogIndex() override;

    // Whatever else is made of the log's rows (the figures): a new consumer
    // is made for each log opened, and fed by every reading.
    void setConsumer(std::function<std::shared_ptr<RowConsumer>()> make);

    // A log was opened; db is the window's own connection to it.
    void open(platform::Connection *db);

    // Looks whether another program changed the log (cheap: one question),
    // and if so starts bringing what is known up to date. False when the
    // log could not be asked (another program holds it).
    bool poll(platform::Connection *db);

    // A reading even when nothing changed (the consumer wants more of what
    // it was fed).
    void refresh();
    // A reading runs, or is due.
    bool reading() const;
    // Rows the last reading read (for tests and benchmarks).
    qint64 rowsRead() const { return m_rowsRead; }

    // The largest serial number stored in the log of db, or 0 in an empty
    // log; nothing when it cannot be read (the file is busy, damaged...).
    // Before the first reading is over, one statement reads it.
    std::optional<qint64> largestSerial(platform::Connection *db);

    // The largest serial number as the table stands inside a write
    // transaction that db holds: what is known when nobody else has written
    // since; else what is known, with the chunks another program changed
    // read again; the whole table only when nothing is known.
    std::optional<qint64> largestSerialLocked(platform::Connection &db);

    // The contacts made with a call sign (five parts), leaving out the row
    // except (the contact being changed). Nothing while the answer is not
    // known: changed() says when to ask again.
    std::optional<Worked> worked(platform::Connection *db, const QVariantList &callSign,
                                 std::optional<qint64> except = {});

    // The different complete call signs of the log, and those of them worked
    // more than once; nothing while not known.
    std::optional<CallSignSet::KeyCounts> callSignCounts() const;

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
    // A reading ended and the consumer was fed: what it makes of the rows
    // is new.
    void read();
    // A reading started, or the last one due ended.
    void readingChanged(bool reading);

private:
    // A change the window made, kept while a reading runs to be made again
    // on its result.
    struct Note {
        qint64 rowid;
        std::optional<quint64> key; // the call sign added or removed
        bool added;
        std::optional<qint64> serial;
    };
    void startReading(std::optional<qint64> version = {});
    void readingDone();
    void summed();
    void apply(const Note &note);
    void note(const Note &note);
    void recomputeLargest();
    bool current(platform::Connection *db) const;
    // The largest number from what is known, the chunks that may differ read
    // again (locked: inside a write transaction of db).
    std::optional<qint64> knownLargest(platform::Connection &db, bool locked);
    void soon(); // a reading of the window's own changes, after the gap
    int gapLeft() const;
    void setReading(bool reading);

    platform::Connection *m_db = nullptr;
    qint64 m_version = -1;       // outside changes counted when what is known was read
    qint64 m_readingVersion = -1; // the count the reading under way started from
    qint64 m_firstVersion = -1;  // the count when the largest number was read alone, the first reading not over
    bool m_stale = true;         // another program changed the log since: answers not known
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
    std::shared_ptr<const platform::TableSurvey> m_survey; // the table as m_chunks knows it
    std::vector<Note> m_notesWhileReading;
    std::function<std::shared_ptr<RowConsumer>()> m_makeConsumer;
    std::shared_ptr<RowConsumer> m_consumer;

    // The largest serial number, when known; and the log's change count
    // (other programs' commits) it was worked out at, by the readings or by
    // a lookup of its own. The window's own changes keep it up to date
    // (note()), so that it answers until another program writes.
    std::optional<qint64> m_largest;
    qint64 m_largestAt = -1;

    QThreadPool m_pool; // two threads: one reading and its second thread
    bool m_reading = false;
    bool m_shownReading = false; // what readingChanged() said last
    bool m_again = false;        // the window changed the log while a reading ran
    qint64 m_rowsRead = 0;
    QFuture<std::optional<Reading>> m_reader;
    QFutureWatcher<std::optional<Reading>> m_readerWatcher;
    QFutureWatcher<void> m_sumWatcher;
    bool m_summing = false; // the consumer sums what the reading gave it
    std::shared_ptr<std::atomic<bool>> m_stop;
    QTimer m_retry; // a failed reading is tried again
    QTimer m_later; // another program's change read once the gap after the last reading is over
    QTimer m_soon;  // the window's own changes read once the gap is over
    // What waits for a statement of the window's thread to end (see holdBack).
    enum Held { HeldDone = 1, HeldSummed = 2, HeldStart = 4 };
    int m_held = 0;
    QTimer m_heldTimer;
    bool holdBack(Held what);
    QElapsedTimer m_lastReading; // since the last reading ended
};

} // namespace logfile
