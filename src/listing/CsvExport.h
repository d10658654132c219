#pragma once
// The menu commands that write the contacts of the open log to a file for
// another program: CSV for a spreadsheet, ADIF (ADI or ADX) for another
// logging program. The files themselves: exchange/Export.h.
#include "Export.h"

class QWidget;

namespace listing {

using ExportOutcome = exchange::ExportOutcome;
// The CSV file of exportCommand, without the dialog.
ExportOutcome exportContacts(const QString &logPath, const QString &csvPath);

// Asks for the file (in the log's folder, proposing the log's name with
// ".csv"), exports and tells the user how it went.
void exportCommand(QWidget *parent, const QString &logPath);

// The same for ADIF: ".adi" proposed; a name ending in ".adx" gives ADX.
void exportAdifCommand(QWidget *parent, const QString &logPath);

} // namespace listing
