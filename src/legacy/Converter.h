#pragma once
// Old Jet files seen from the program: recognising them, and converting them
// in a child process (sequanel-convert --worker), so that a crash or a hang of
// the C reader on a damaged file never takes the operator's session with it.
#include <QString>
#include <QStringList>
#include <functional>

namespace legacy {

// True when the file starts like a Jet database, whatever its name.
bool isJetFile(const QString &path);

struct ChildResult {
    // Partial: the file is damaged; the rows that could be read (rows, of
    // the stated count) are in target, which the caller keeps or removes.
    enum Status { Done, Canceled, Refused, Damaged, Partial } status = Damaged;
    qint64 rows = 0;
    qint64 stated = -1; // the row count the table states; -1 when not known
    QString message; // French: the end message (Done, Partial) or the reason
    QString damage;  // French, Partial: what was read of how many ("fichier endommagé : …")
};

// Told how far the child has come; returns false to cancel the conversion.
using ProgressCheck = std::function<bool(qint64 done, qint64 total)>;

// Runs the child on the Jet file source, writing the new file target (which
// must not exist): the table Transmission as a log file, or, with a table
// name, that table alone. Messages name the new file shownTarget (target
// when empty). A child that crashes, exits without a verdict or stays silent
// longer than the stall limit is stopped and its file reported as damaged;
// the child dies with the process that started it. On any outcome but Done
// and Partial, target does not exist afterwards.
ChildResult runConverter(const QString &source, const QString &target, const ProgressCheck &progress = {},
                         const QString &table = QString(), const QString &shownTarget = QString());

// French message for a file the child could not read.
QString damagedMessage(const QString &source);

// "fichier endommagé : 976 contacts lisibles sur 1 000 annoncés".
QString damageCounts(qint64 readable, qint64 stated);

// Test seams: the child program (sequanel-convert beside the program by
// default) and how long it may stay silent (10 s by default).
void setConverterProgram(const QString &path);
void setStallLimit(int milliseconds);

} // namespace legacy
