#pragma once
// The contacts of a log (a file or a shared log) written to a file another
// program reads: CSV for a spreadsheet, ADI or ADX (ADIF 3.1.4) for other
// logging programs.
//
// CSV: a heading line with the sixteen column names, then one line per
// contact in the log's order; ";" between fields, fields holding ";", a quote
// or a line break between quotes; UTF-8 with a byte-order mark, CRLF line
// ends; dates as dd/mm/yyyy hh:mm:ss, numbers as stored, an empty cell for a
// null. A text a spreadsheet would read as a number or a date ("01000",
// "5/9") is written as the formula ="01000"; one it would run as a formula
// ("=...", "@...") or that begins with an apostrophe, behind an apostrophe.
//
// ADI: a header (ADIF_VER, PROGRAMID, PROGRAMVERSION, CREATED_TIMESTAMP),
// then one record per contact in the log's order: QSO_DATE and TIME_ON in
// UTC, CALL, FREQ, BAND, MODE and SUBMODE, RST_SENT, STX, OPERATOR, QTH,
// ADDRESS and COUNTRY in ASCII, and every column that is not null in its
// application field APP_SEQUANEL_<column> as stored (UTF-8), so that the
// file comes back exactly. ADX: the same in XML, UTF-8, with QTH_INTL,
// ADDRESS_INTL and COUNTRY_INTL where ASCII loses something.
#include <QString>
#include <optional>

namespace exchange {

enum class Format { Csv, Adi, Adx };

// The format named on a command line ("csv", "adi", "adx").
std::optional<Format> formatNamed(const QString &name);
// The format a file's name says (.adx, .adi, .csv, any case); nothing for another.
std::optional<Format> formatOfFile(const QString &path);

struct ExportOutcome {
    bool ok = false;
    qint64 contacts = 0; // contacts written
    QString message;     // in French: the count when ok, otherwise what went wrong
};

// Writes every contact of the log at logPath to outPath, under a temporary
// name renamed at the end once the contacts written are as many as the log
// holds: on failure nothing is left at outPath but what was there before.
// Refuses to write over the log file itself.
ExportOutcome exportLog(const QString &logPath, const QString &outPath, Format format);

} // namespace exchange
