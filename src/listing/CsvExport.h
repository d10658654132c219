#pragma once
// The contacts of a log file as a CSV file that a spreadsheet in French
// settings opens by a double-click: a heading line with the sixteen column
// names, then one line per contact in the log's order; ";" between fields,
// fields holding ";", a quote or a line break between quotes; UTF-8 with a
// byte-order mark, CRLF line ends; dates as dd/mm/yyyy hh:mm:ss, numbers as
// stored, an empty cell for a null.
//
// Two kinds of text are written so that the spreadsheet still shows them as
// text: one it would read as a number or a date ("01000", "5/9") as the
// formula ="01000"; one it would run as a formula ("=...", "@...") behind an
// apostrophe.
#include <QString>

namespace listing {

struct ExportOutcome {
    bool ok = false;
    qint64 contacts = 0; // contact lines written
    QString message;     // in French: the count when ok, otherwise what went wrong
};

// Writes every contact of the log file at logPath to csvPath, under a
// temporary name renamed at the end: on failure nothing is left at csvPath
// but what was there before. Refuses to write over the log file itself.
ExportOutcome exportContacts(const QString &logPath, const QString &csvPath);

} // namespace listing
