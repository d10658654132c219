#pragma once
// The log file: one contest's database holding the single table Transmission.
#include "Engine.h"
#include "RecordSource.h"
#include "SaveFile.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace logfile {

inline const QString kTable = QStringLiteral("Transmission");

// The sixteen columns of Transmission, in order, with their types and sizes.
const platform::TableDef &transmission();
QStringList columnNames();

// Creates an empty log file at path; the path must not name an existing file.
// On failure nothing is left at path and *message says why, in French,
// naming the file shownAs (path when empty: a file made under a temporary
// name is named after the one the user chose).
bool createEmpty(const QString &path, QString *message, const QString &shownAs = QString());

// Puts the file at from in the place of the file at to, in one step: the old
// file, if any, stays whole until the new one replaces it. With a placement,
// the old file can still be put back through it.
bool replaceFile(const QString &from, const QString &to, QString *message,
                 platform::FilePlacement *placement = nullptr);

// The engine writes a journal beside the file, named after it with
// "-journal" added: a name that leaves no room for it cannot be written.
// Returns the message to show for such a path, or an empty text.
QString nameProblem(const QString &path);
// Why no log file can be made at path (a folder, a name too long), in
// French; empty when one can.
QString newFileProblem(const QString &path);
// A short hidden name beside path, where a new log file is made before it
// takes path's place (the chosen name may already be as long as allowed).
QString temporaryBeside(const QString &path);

// Copies every contact of the log at from (a file or a shared log) into a new
// log at to (the same), which must not exist, in the old one's order and
// with every column as it is; the old one is only read. Done in one
// transaction, and said done once the new log is proven to hold as many
// contacts as were read. The number copied, or nothing with *message (French,
// naming the logs shownFrom and shownTo) and nothing left at to. carryOn,
// asked between contacts, stops the copy when it returns false.
std::optional<qint64> copyLog(const QString &from, const QString &to, QString *message, const QString &shownFrom,
                              const QString &shownTo, const std::function<bool()> &carryOn = {});

// Where a file made from a log (a listing, an export, an image) is proposed:
// beside a log file, under its name followed by suffix; for a shared log, in
// the user's own folder under the journal's name.
QString besideLog(const QString &log, const QString &suffix);

// Sets a record source up for the table Transmission of a log file.
void configure(platform::RecordSource &source, const QString &path);

// French text telling the user why a log file could not be opened or a
// contact could not be stored in the log file at path.
QString openFailureMessage(const platform::SourceError &error, const QString &path);
QString storeFailureMessage(const platform::SourceError &error, const QString &path = QString());
// The reason alone, in one sentence: the rule of the field the file refuses,
// or what is wrong with the file.
QString storeFailureReason(const platform::SourceError &error, const QString &path = QString());

// The kilohertz after the point of a frequency (column Hertz) as the form and
// the listing show them: three digits for a whole number from 0 to 999
// ("005" for 27.005 MHz), any other stored value as it is.
QString hertzText(const QVariant &stored);
// True for the columns shown with three digits: the kilohertz, and the number
// of a call sign (N°), which CB operators write "001".
bool shownWithThreeDigits(const QString &column);
// A stored value of a column as the form, the grid and the listing show it:
// a whole number from 0 to 999 of those columns with three digits, anything
// else as it is (a null as nothing).
QString shownText(const QString &column, const QVariant &stored);

// The label the user sees for a column in the entry form.
QString fieldLabel(const QString &column);

} // namespace logfile
