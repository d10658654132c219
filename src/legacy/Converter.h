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
    enum Status { Done, Canceled, Refused, Damaged } status = Damaged;
    qint64 rows = 0;
    QString message; // French: the end message (Done) or the reason (Refused)
};

// Told how far the child has come; returns false to cancel the conversion.
using ProgressCheck = std::function<bool(qint64 done, qint64 total)>;

// Runs the child on the Jet file source, writing the new file target (which
// must not exist): the table Transmission as a log file, or, with a table
// name, that table alone. A child that crashes, exits without a verdict or
// stays silent longer than the stall limit is stopped and its file reported
// as damaged. On any outcome but Done, target does not exist afterwards.
ChildResult runConverter(const QString &source, const QString &target, const ProgressCheck &progress = {},
                         const QString &table = QString());

// French message for a file the child could not read.
QString damagedMessage(const QString &source);

// Test seams: the child program (sequanel-convert beside the program by
// default) and how long it may stay silent (10 s by default).
void setConverterProgram(const QString &path);
void setStallLimit(int milliseconds);

} // namespace legacy
