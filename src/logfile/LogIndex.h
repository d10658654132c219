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
// never wait long for the file. What it finds is kept, brought up to date by
// the window's own stores, changes and deletions, and read again when another
// program has changed the file meanwhile (the connection's PRAGMA data_version
// moved).
#include "CallSigns.h"

#include <QDateTime>
#include <QFuture>
#include <QFutureWatcher>
#include <QObject>
#include <QThreadPool>
#include <atomic>
#include <memory>
#include <optional>

namespace platform {
class Connection;
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
    QString serial;   // of the last of them in the log's order
    QDateTime date;   // invalid when that contact has no date
};

// The call signs of every row of the log's table, read once in rowid order.
// Nothing when the table cannot be read, or when *stop turns true meanwhile.
std::optional<CallSignSet> readCallSigns(platform::Connection *db, const std::atomic<bool> *stop = nullptr);

// The largest serial number by one aggregate statement over the table.
std::optional<qint64> readLargestSerial(platform::Connection *db);

// Numeric value of a stored serial number text; nothing when it is empty or
// not a number. Fractions are rounded to the nearest whole number, halves to even.
std::optional<qint64> serialValue(const QString &text);

class LogIndex : public QObject
{
    Q_OBJECT
public:
    explicit LogIndex(QObject *parent = nullptr);
    ~LogIndex() override;

    // A log file was opened; db is the window's own connection to it.
    void open(platform::Connection *db);

    // The largest serial number stored in the log of db, or 0. While the
    // background reading has not given it yet, waits for it.
    qint64 largestSerial(platform::Connection *db);

    // The contacts made with a call sign (five parts), leaving out the row
    // except (the contact being changed). Nothing while the answer is not
    // known yet: ready() says when to ask again.
    std::optional<Worked> worked(platform::Connection *db, const QVariantList &callSign,
                                 std::optional<qint64> except = {});

    // The window stored a new contact through db (the last row it inserted).
    void noteStored(platform::Connection *db, const IndexedContact &contact);
    // The window stored a change of the row rowid.
    void noteChanged(qint64 rowid, const IndexedContact &before, const IndexedContact &after);
    // The window deleted the row rowid.
    void noteRemoved(qint64 rowid, const IndexedContact &contact);

    // Bytes held by the set of call signs (for the benchmarks).
    size_t bytes() const { return m_callSigns ? m_callSigns->bytes() : 0; }

signals:
    // The call signs of the log are known again.
    void ready();

private:
    struct Change {
        quint64 key;
        qint64 rowid;
        bool added;
    };
    void restart(platform::Connection *db);
    bool upToDate(platform::Connection *db);
    void startReading();
    void serialRead();
    void callSignsRead();
    void storedSerial(const QString &serial);
    void removedSerial(const QString &serial);
    void changeCallSign(const QVariantList &callSign, qint64 rowid, bool added);
    Worked exactWalk(platform::Connection *db, const CallSign &sign, std::optional<qint64> except);

    platform::Connection *m_db = nullptr;
    qint64 m_dataVersion = -1;

    // The largest serial number; while the reading has not given it
    // (m_serialPending), the largest one stored meanwhile.
    std::optional<qint64> m_largest;
    std::optional<qint64> m_storedWhilePending;
    bool m_serialPending = false;

    // The call signs; while the reading runs, the window's changes meanwhile.
    std::optional<CallSignSet> m_callSigns;
    std::vector<Change> m_changesWhilePending;
    bool m_callSignsPending = false;

    // The reading of the current file: its two results. A file opened while
    // one runs stops it and is read after it.
    QThreadPool m_pool;
    QFuture<std::optional<qint64>> m_serialReading;
    QFuture<std::optional<CallSignSet>> m_callSignReading;
    QFutureWatcher<std::optional<qint64>> m_serialWatcher;
    QFutureWatcher<std::optional<CallSignSet>> m_callSignWatcher;
    std::shared_ptr<std::atomic<bool>> m_stop;
};

} // namespace logfile
