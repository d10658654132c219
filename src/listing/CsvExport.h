#pragma once
// The contacts of a log file as a CSV file that a spreadsheet in French
// settings opens by a double-click (the layout: exchange/Export.h), for the
// main window's menu; without windows.
#include "Export.h"

namespace listing {

using ExportOutcome = exchange::ExportOutcome;

// Writes every contact of the log file at logPath to csvPath, under a
// temporary name renamed at the end: on failure nothing is left at csvPath
// but what was there before. Refuses to write over the log file itself.
ExportOutcome exportContacts(const QString &logPath, const QString &csvPath);

} // namespace listing
