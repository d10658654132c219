#pragma once
// Proposes the serial number of a new contact: one more than the largest
// stored serial number, read by numeric value.
//
// The table has no index, so finding the largest number reads every row. That
// reading starts in the background as soon as a log file is opened, and its
// result is kept and brought up to date by this window's own stores; it is
// read again when another program has changed the file meanwhile.
#include <QObject>
#include <QPointer>
#include <QString>
#include <QThread>
#include <optional>

namespace platform {
class Connection;
}

class SerialAllocator : public QObject
{
    Q_OBJECT
public:
    ~SerialAllocator() override;

    // Starts reading the largest serial number of the file in the background;
    // db is the window's own connection to it.
    void prefetch(platform::Connection *db, const QString &table);
    // The largest serial number stored in the table of the connection, or 0.
    qint64 largest(platform::Connection *db, const QString &table);
    // A contact with this serial number text was stored by this window.
    void noteStored(const QString &serialText);
    // A contact's serial number changed from before to after (a stored change).
    void noteChanged(const QString &before, const QString &after);
    // A contact with this serial number text was deleted: when it held the
    // largest number, the largest must be read again.
    void noteRemoved(const QString &serialText);
    void invalidate();

    // Numeric value of a stored serial number text; nullopt when it is empty or
    // not a number. Fractions are rounded to the nearest whole number, halves
    // to even.
    static std::optional<qint64> serialValue(const QString &text);
    // Reads every serial number of the table; nullopt when the table cannot be read.
    static std::optional<qint64> scan(platform::Connection *db, const QString &table);

private:
    void startWorker();
    void workerFinished();
    void accept(quint64 generation, std::optional<qint64> value);

    std::optional<qint64> m_largest;
    platform::Connection *m_db = nullptr;
    qint64 m_dataVersion = -1;
    quint64 m_generation = 0;
    // While the background reading runs: the largest number stored meanwhile.
    std::optional<qint64> m_storedWhilePending;
    bool m_pending = false;

    // One reading at a time: a file opened while one runs is read after it.
    QString m_path, m_table;
    QPointer<QThread> m_worker;
    quint64 m_workerGeneration = 0;
    quint64 m_workerId = 0;
    std::optional<qint64> m_workerResult; // written by the worker before it ends
};
