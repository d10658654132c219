#pragma once
// The work of the converter's child process: reading a Jet file through
// JetDatabase and writing what it holds into a new SQLite file.
#include "Engine.h"

#include <QString>
#include <QVariant>
#include <functional>

namespace legacy {

// Jet's day count (days since 30 December 1899, the fraction the time of
// day, counted forward from midnight also for days before 1899) as the stored
// form of a date, "YYYY-MM-DD HH:MM:SS", to the nearest second. Empty when it
// is not a date of the years 100 to 9999.
QString jetDateText(double days);

// Whether the rules of a log file's column accept a value read from a Jet
// file (its type, size, code page and range).
bool fitsColumn(const platform::ColumnDef &column, const QVariant &value);

struct Outcome {
    // Partial: the file is damaged; the rows that could be read are in the
    // new file, and message is the end message that says so.
    enum Status { Done, Refused, Damaged, Partial } status = Damaged;
    qint64 rows = 0;
    QString message; // French: the end message, or why the file was refused
    qint64 stated = -1; // the row count the table states; -1 when not known
};

using Progress = std::function<void(qint64 done, qint64 total)>;

// Converts the table Transmission of the Jet file at source into a new log
// file at target, which must not exist. Every row comes across in the file's
// order; a value the log file's rules would refuse comes across as it is and
// is counted in the end message. A damaged file whose table can be read in
// part gives Partial; on any other failure target is removed. Messages name
// the new file shownTarget (target when empty): the file the user chose,
// which target takes the place of afterwards.
Outcome convertLog(const QString &source, const QString &target, const Progress &progress,
                   const QString &shownTarget = QString());

// Copies one table of a Jet file into a new SQLite file holding that table
// alone, for reading (an operator's own Orientation.mdb). Dates are stored as
// log files store them, whole numbers as integers, other numbers as text in
// the user's notation, as a bound label shows them.
Outcome copyTable(const QString &source, const QString &target, const QString &table, const Progress &progress);

} // namespace legacy
